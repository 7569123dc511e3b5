"""The workbench server's safety over raw HTTP (the browser would normalise the paths): foreign
hosts and origins, paths out of the page's assets, oversized and malformed bodies, and a clean
exit on SIGINT. Run: http_test.py POLYVIEW_MEASURE SOURCE_DIR"""
import json
import os
import socket
import threading
import unittest

import harness


class ServerSafety(unittest.TestCase):
    def setUp(self):
        self.server = harness.Server("chessboard")
        self.addCleanup(self.server.stop)
        with open(self.server.scene, "rb") as scene:
            self.scene_text = scene.read()

    def assertRefused(self, status, reply, codes, words=()):
        self.assertIn(status, codes, reply)
        message = json.loads(reply)["error"]
        for word in words:
            self.assertIn(word, message)

    def test_serves_the_session_and_photos_to_its_own_host_only(self):
        request = self.server.request
        status, headers, body = request("GET", "/api/session")
        self.assertEqual(status, 200, body)
        session = json.loads(body)
        self.assertEqual(session["file"], "chessboard.json")
        self.assertEqual(len(session["cameras"]), 13)
        self.assertEqual(session["report"]["summary"]["measured"], 70)
        status, headers, body = request("GET", "/photo/3")
        with open(os.path.join(os.path.dirname(self.server.scene), "left04.jpg"), "rb") as f:
            self.assertEqual((status, headers["Content-Type"], body), (200, "image/jpeg", f.read()))
        status, headers, body = request("GET", "/", headers={
            "Host": "localhost:%d" % self.server.port, "Origin": self.server.url[:-1]})
        self.assertEqual(status, 200, body)
        self.assertEqual(request("GET", "/photo/13")[0], 404)
        self.assertEqual(request("GET", "/app/no-such.js")[0], 404)

        for headers in ({"Host": "evil.example"}, {"Host": "evil.example:%d" % self.server.port},
                        {"Origin": "http://evil.example"}, {"Origin": "null"}):
            status, _, body = request("GET", "/api/session", headers=headers)
            self.assertRefused(status, body, {403})
            self.assertNotIn(b"camera_sources", body)
        status, _, body = request("POST", "/api/measure", session["document"],
                                  headers={"Origin": "http://evil.example"})
        self.assertRefused(status, body, {403})

    def test_never_serves_files_outside_the_assets_and_photos(self):
        for path in ("/app/../chessboard.json", "/app/%2e%2e/chessboard.json", "/photo/../x",
                     "/app/..%2fchessboard.json", "/app/..\\chessboard.json", "/chessboard.json",
                     "/left01.jpg", "/photo/0/../../chessboard.json", "/app/%00.js"):
            status, _, body = self.server.request("GET", path)
            self.assertIn(status, (400, 404), path)
            self.assertNotIn(b"camera_sources", body, path)
            self.assertNotIn(b"JFIF", body, path)

    def test_refuses_bad_bodies_and_leaves_the_scene_untouched(self):
        request = self.server.request
        status, _, body = request("POST", "/api/measure", b"{\"cameras\": [")
        self.assertRefused(status, body, {400})
        status, _, body = request("POST", "/api/measure", b"{}", {"Content-Type": "text/plain"})
        self.assertRefused(status, body, {415})
        status, _, body = request("POST", "/api/epipolar", {"camera": "view_99", "point": [1, 2]})
        self.assertRefused(status, body, {400}, ["view_99"])
        status, _, body = request("POST", "/api/save", {"document": {"shapes": 3}, "version": "0"})
        self.assertRefused(status, body, {400})
        self.assertEqual(self.post_over_the_cap()[:12], b"HTTP/1.1 413")
        with open(self.server.scene, "rb") as scene:
            self.assertEqual(scene.read(), self.scene_text)
        self.assertEqual(request("GET", "/api/session")[0], 200)  # still serving
        self.assertEqual(self.server.stop(), 0)

    def post_over_the_cap(self):
        """Sends 16 MiB + 1 of JSON while reading the reply (the server may answer early)."""
        size = 16 * 1024 * 1024 + 1
        sock = socket.create_connection(("127.0.0.1", self.server.port), timeout=harness.WAIT)
        head = ("POST /api/measure HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: application/json"
                "\r\nContent-Length: %d\r\n\r\n" % (self.server.port, size)).encode()

        def send():
            try:
                sock.sendall(head + b" " * size)
            except OSError:
                pass  # the server answered and closed before reading it all

        sender = threading.Thread(target=send)
        sender.start()
        reply = b""
        try:
            while b"\r\n\r\n" not in reply:
                chunk = sock.recv(65536)
                if not chunk:
                    break
                reply += chunk
        finally:
            sock.shutdown(socket.SHUT_RDWR)
            sender.join()
            sock.close()
        return reply


if __name__ == "__main__":
    harness.run(ServerSafety)
