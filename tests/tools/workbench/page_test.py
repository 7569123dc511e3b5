"""The workbench page in headless Chromium against a real server: opening the demo scenes, picking
a chessboard corner through zoom and pan with epipolar guides and reprojection, snapping picks to
the photo's corner (and refusing a bare wall), undo and redo, saving, and the numbers against the
command line's. Run: page_test.py POLYVIEW_MEASURE SOURCE_DIR
Screenshots go to $WORKBENCH_SCREENSHOTS (or a temp dir, printed)."""
import json
import math
import os
import re
import tempfile
import unittest

import harness

harness.require_browser()
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.actions.action_builder import ActionBuilder  # noqa: E402
from selenium.webdriver.common.actions.mouse_button import MouseButton  # noqa: E402
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

SHOTS = os.environ.get("WORKBENCH_SCREENSHOTS") or tempfile.mkdtemp(prefix="workbench-shots-")
CORNER = "corner_r2_c3"  # truth (0.075, 0.05, 0) m; its picks are the detector's corners


def distance_to_polyline(point, points):
    """Shortest distance from point to the polyline through points (photo pixels)."""
    best = math.inf
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        dx, dy = bx - ax, by - ay
        t = ((point[0] - ax) * dx + (point[1] - ay) * dy) / (dx * dx + dy * dy or 1)
        t = max(0.0, min(1.0, t))
        best = min(best, math.hypot(point[0] - ax - t * dx, point[1] - ay - t * dy))
    return best


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(SHOTS, exist_ok=True)
        print("screenshots in", SHOTS)
        cls.driver = harness.chromium()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()

    def open(self, scene):
        self.server = harness.Server(scene)
        self.addCleanup(self.server.stop)
        self.driver.get(self.server.url)
        self.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#shapes li.shape"))
        self.idle()
        self.scene = self.server.scene
        self.reference = harness.measure(self.scene)

    def until(self, condition, message=""):
        return WebDriverWait(self.driver, harness.WAIT).until(condition, message)

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def idle(self):
        self.until(lambda d: d.find_elements(By.CSS_SELECTOR, "body:not([data-busy])"), "busy")

    def shot(self, name):
        self.driver.save_screenshot(os.path.join(SHOTS, name + ".png"))

    def show(self, camera):
        self.driver.find_element(By.CSS_SELECTOR, ".thumb[data-camera='%s']" % camera).click()
        self.until(lambda d: self.js(
            "const v = document.querySelector('#photo-view[data-camera=\"' + arguments[0] + '\"]');"
            "const p = v && v.querySelector('.photo');"
            "return p && (p.tagName != 'IMG' || (p.complete && p.naturalWidth > 0));", camera))
        self.idle()

    def geometry(self):
        """The photo's screen rectangle, natural size and #photo-view's rectangle."""
        return self.js(
            "const p = document.querySelector('#photo-view .photo'), r = p.getBoundingClientRect();"
            "const v = document.querySelector('#photo-view').getBoundingClientRect();"
            "const w = p.naturalWidth || +p.getAttribute('width');"
            "const h = p.naturalHeight || +p.getAttribute('height');"
            "return {left: r.left, top: r.top, right: r.right, bottom: r.bottom, w: w, h: h,"
            " sx: r.width / w, sy: r.height / h,"
            " view: [v.left, v.top, v.right, v.bottom]};")

    def assertFitted(self):
        """The whole photo in view, undistorted, touching two opposite sides."""
        g = self.geometry()
        left, top, right, bottom = g["view"]
        self.assertAlmostEqual(g["sx"], g["sy"], delta=1e-3)
        self.assertTrue(left - 1 <= g["left"] and g["right"] <= right + 1 and top - 1 <= g["top"]
                        and g["bottom"] <= bottom + 1, g)
        self.assertLess(min(g["left"] - left + right - g["right"],
                            g["top"] - top + bottom - g["bottom"]), 2, g)

    def to_screen(self, x, y):
        g = self.geometry()
        return g["left"] + x * g["sx"], g["top"] + y * g["sy"]

    def to_photo(self, sx, sy):
        g = self.geometry()
        return (sx - g["left"]) / g["sx"], (sy - g["top"]) / g["sy"]

    def pointer(self, steps):
        """Runs pointer steps: ('move', x, y), ('down'|'up', button)."""
        actions = ActionBuilder(self.driver)
        for step in steps:
            if step[0] == "move":
                actions.pointer_action.move_to_location(round(step[1]), round(step[2]))
            elif step[0] == "down":
                actions.pointer_action.pointer_down(step[1])
            else:
                actions.pointer_action.pointer_up(step[1])
        actions.perform()

    def click_photo(self, x, y):
        """Left click at photo pixel (x, y) as shown; returns the photo pixel actually clicked."""
        sx, sy = (round(v) for v in self.to_screen(x, y))
        self.pointer([("move", sx, sy), ("down", MouseButton.LEFT), ("up", MouseButton.LEFT)])
        return self.to_photo(sx, sy)

    def ctrl(self, key):
        ActionChains(self.driver).key_down(Keys.CONTROL).send_keys(key).key_up(Keys.CONTROL).perform()
        self.idle()

    def attrs(self, selector, *names):
        """Per element matching selector, its attributes (read at once: the page redraws)."""
        return self.js("return [...document.querySelectorAll(arguments[0])].map("
                       "e => arguments[1].map(n => e.getAttribute(n)))",
                       selector, names)

    def picks(self, shape):
        return self.attrs("#photo-view .pick[data-shape='%s']" % shape, "data-x", "data-y")

    def value(self, shape, key):
        item = "li.shape[data-name='%s'] .value[data-key='%s']" % (shape, key)
        return json.loads(self.attrs(item, "data-value")[0][0])

    def new_shape(self, button):
        """Clicks a creation button; the name of the shape it adds to the list."""
        names = lambda: {a[0] for a in self.attrs("li.shape", "data-name")}  # noqa: E731
        before = names()
        self.driver.find_element(By.CSS_SELECTOR, button).click()
        return self.until(lambda d: names() - before).pop()

    def measured(self, name):
        self.until(lambda d: self.attrs("li.shape[data-name='%s'][data-ok=true]" % name))
        self.idle()

    def saved(self, name):
        """Waits for the scene file to hold the shape; the command line's report of it."""
        def holds(_):
            with open(self.scene) as f:
                return name in f.read()
        self.until(holds)
        self.idle()
        return harness.measure(self.scene)[name]["result"]

    def assertClose(self, a, b, tolerance):
        self.assertLessEqual(max(abs(u - v) for u, v in zip(a, b)), tolerance, (a, b))

    def zoom_and_pan_to(self, x, y):
        """Wheel-zooms to >= 8x the fit about photo pixel (x, y), then pans by a middle drag."""
        g = self.geometry()
        fit = min((g["view"][2] - g["view"][0]) / g["w"], (g["view"][3] - g["view"][1]) / g["h"])
        sx, sy = (round(v) for v in self.to_screen(x, y))
        under = self.to_photo(sx, sy)
        for _ in range(60):
            wheel = ScrollOrigin.from_viewport(sx, sy)
            ActionChains(self.driver).scroll_from_origin(wheel, 0, -120).perform()
            if self.geometry()["sx"] >= 8 * fit:
                break
        self.assertGreaterEqual(self.geometry()["sx"], 8 * fit)
        self.assertClose(self.to_photo(sx, sy), under, 0.05)  # zoomed about the cursor
        before = self.geometry()
        self.pointer([("move", sx, sy), ("down", MouseButton.MIDDLE),
                      ("move", sx - 40, sy - 25), ("up", MouseButton.MIDDLE)])
        after = self.geometry()
        moved = (after["left"] - before["left"], after["top"] - before["top"])
        self.assertClose(moved, (-40, -25), 1)
        px, py = self.to_screen(x, y)
        view = after["view"]
        self.assertTrue(view[0] < px < view[2] and view[1] < py < view[3], (px, py, view))

    def test_opens_the_chessboard_with_its_photos_and_shapes(self):
        self.open("chessboard")
        self.shot("1-chessboard")
        self.assertEqual(len(self.attrs("#strip .thumb")), 13)
        shapes = self.attrs("#shapes li.shape", "data-ok")
        self.assertEqual((len(shapes), {s[0] for s in shapes}), (70, {"true"}))
        self.assertEqual(self.attrs("#photo-view img.photo", "src"), [["/photo/0"]])
        self.assertFitted()
        self.assertClose(self.value(CORNER, "point"), self.reference[CORNER]["result"]["point"], 1e-12)

    def test_picks_a_corner_through_zoom_and_pan_in_three_photos(self):
        self.open("chessboard")
        with open(self.scene) as f:
            corner = next(s for s in json.load(f)["shapes"] if s["name"] == CORNER)["picks"]
        name = self.new_shape("#new-point")
        picked = []
        for number, camera in enumerate(("view_1", "view_4", "view_9")):
            self.show(camera)
            for earlier in picked:  # the epipolar lines of the earlier picks pass the corner here
                line = "#photo-view polyline.epipolar[data-from='%s']" % earlier
                numbers = [float(v) for v in re.split(r"[\s,]+", self.until(
                    lambda d: self.attrs(line, "points"))[0][0].strip())]
                points = list(zip(numbers[0::2], numbers[1::2]))
                self.assertLess(distance_to_polyline(corner[camera], points), 1, (earlier, camera))
            self.zoom_and_pan_to(*corner[camera])
            clicked = self.click_photo(*corner[camera])
            self.assertClose(clicked, corner[camera], 0.1)
            pick = self.until(lambda d: self.picks(name))[0]
            self.assertClose([float(v) for v in pick], clicked, 0.01)
            self.idle()
            self.shot("2-corner-%d-%s" % (number, camera))
            picked.append(camera)
        self.driver.find_element(By.CSS_SELECTOR, "#finish").click()
        self.measured(name)
        mark = self.until(lambda d: self.js(
            "const m = document.querySelector(arguments[0]); return m && (m.tagName == 'circle' ?"
            " [+m.getAttribute('cx'), +m.getAttribute('cy')] :"
            " m.getAttribute('points').trim().split(/[ ,]+/).slice(0, 2).map(Number));",
            "#photo-view .reprojection[data-shape='%s']" % name))
        self.assertClose(mark, corner["view_9"], 1.0)
        shown = self.value(name, "point")
        self.driver.find_element(By.CSS_SELECTOR, "#save").click()
        self.assertClose(shown, self.saved(name)["point"], 1e-6)
        self.assertClose(shown, (0.075, 0.05, 0.0), 0.003)
        self.shot("2-corner-saved")

    def test_undoes_and_redoes_a_segment_and_saves_what_it_shows(self):
        self.open("chessboard")
        with open(self.scene) as f:
            picks = {s["name"]: s.get("picks") for s in json.load(f)["shapes"]}
        name = self.new_shape("#new-segment")
        for camera in ("view_1", "view_4"):  # halfway between corners, off the corners' own picks
            self.show(camera)
            for a, b in (("corner_r0_c0", "corner_r0_c1"), ("corner_r0_c7", "corner_r0_c8")):
                self.click_photo((picks[a][camera][0] + picks[b][camera][0]) / 2,
                                 (picks[a][camera][1] + picks[b][camera][1]) / 2)
                self.idle()
        ActionChains(self.driver).send_keys(Keys.ENTER).perform()
        self.measured(name)
        self.shot("3-segment")
        drawn = self.picks(name)
        shown = {key: self.value(name, key) for key in ("start", "end", "length")}
        self.assertEqual(len(drawn), 2)  # two ends in this photo
        undone = 0
        while self.picks(name) and undone < 8:
            self.ctrl("z")
            undone += 1
        self.assertEqual(self.picks(name), [])
        self.shot("3-segment-undone")
        for _ in range(undone):
            self.ctrl("y")
        self.until(lambda d: self.picks(name) == drawn)
        self.measured(name)
        self.assertEqual({key: self.value(name, key) for key in shown}, shown)
        self.ctrl("s")
        saved = self.saved(name)
        for key in ("start", "end"):
            self.assertClose(shown[key], saved[key], 1e-6)
        self.assertAlmostEqual(shown["length"], saved["length"], delta=1e-6)
        self.assertAlmostEqual(shown["length"], 0.175, delta=0.01)  # 7 squares of 25 mm

    def test_snaps_new_picks_to_the_corner_and_refuses_a_flat_wall(self):
        self.open("chessboard")
        with open(self.scene) as f:
            corner = next(s for s in json.load(f)["shapes"] if s["name"] == CORNER)["picks"]
        corner = corner["view_1"]
        self.driver.find_element(By.CSS_SELECTOR, "#snap-new").click()
        name = self.new_shape("#new-point")
        clicked = self.click_photo(corner[0] + 1.5, corner[1] - 1.5)  # the fitted photo
        self.assertGreater(math.dist(clicked, corner), 1.5)
        self.idle()
        snapped = [float(v) for v in self.picks(name)[0]]
        self.assertLess(math.dist(snapped, corner), 0.2, (snapped, corner))
        self.assertIn("snapped", self.js("return document.querySelector('#status').textContent"))
        self.shot("7-snapped-corner")
        self.ctrl("z")  # the snap is its own undo step: the click comes back
        self.assertClose([float(v) for v in self.picks(name)[0]], clicked, 0.01)
        ActionChains(self.driver).send_keys("n").perform()  # N snaps the shape being picked
        self.idle()
        self.assertClose([float(v) for v in self.picks(name)[0]], snapped, 1e-9)

        wall = self.new_shape("#new-point")
        clicked = self.click_photo(585, 90)  # the bare wall, top right: nothing to snap to
        self.idle()
        self.assertIn("not snapped", self.attrs("#status.error", "id") and
                      self.js("return document.querySelector('#status').textContent"))
        self.assertClose([float(v) for v in self.picks(wall)[0]], clicked, 0.01)
        self.shot("7-snap-refused")
        self.driver.refresh()  # the choice is kept
        self.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#shapes li.shape"))
        self.assertTrue(self.driver.find_element(By.CSS_SELECTOR, "#snap-new").is_selected())

    def test_opens_the_pipe_rack_with_placeholders(self):
        self.open("pipe_rack")
        self.shot("4-pipe-rack")
        self.assertFitted()
        self.assertEqual(len(self.attrs("#strip .thumb")), 5)
        self.assertEqual(self.attrs("#photo-view .photo", "width", "height"), [["4032", "3024"]])
        self.assertEqual(self.attrs("#photo-view img"), [])  # a placeholder
        shapes = self.attrs("#shapes li.shape", "data-ok")
        self.assertEqual((len(shapes), {s[0] for s in shapes}), (len(self.reference), {"true"}))

    def test_says_when_a_pick_misses_the_photo(self):
        self.open("chessboard")
        name = self.new_shape("#new-point")
        g = self.geometry()  # fitted: the view is wider than the photo, with a margin left of it
        self.assertGreater(g["left"] - g["view"][0], 4)
        self.pointer([("move", (g["view"][0] + g["left"]) / 2, g["top"] + 100),
                      ("down", MouseButton.LEFT), ("up", MouseButton.LEFT)])
        status = self.until(lambda d: self.js(
            "const s = document.querySelector('#status.error'); return s && s.textContent"))
        self.assertIn("photo", status)
        self.assertEqual(self.picks(name), [])
        self.shot("6-outside")


if __name__ == "__main__":
    harness.run(Page)
