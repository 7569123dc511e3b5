#include "measure/svg.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "synthetic_scene.h"
#include "temp_dir.h"
#include "xml_check.h"
#include <gtest/gtest.h>

namespace {

TEST(XmlCheck, RejectsMalformedDocuments) {
    const char* bad[] = {
        "<svg><g></svg>",                 // not closed in order
        "<svg width=100></svg>",          // unquoted attribute
        "<svg a=\"1\" a=\"2\"></svg>",    // repeated attribute
        "<svg><text>a & b</text></svg>",  // stray ampersand
        "<svg><text>a < b</text></svg>",  // stray less-than
        "<svg></svg><svg></svg>",         // two roots
        "<svg>",                          // unclosed root
        "text<svg></svg>",                // text outside the root
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(CheckXml(text).wellFormed);
    }
    const SXmlCheck good =
        CheckXml("<?xml version=\"1.0\"?>\n<svg width=\"3\"><g/><text>&amp;&lt;</text></svg>\n");
    EXPECT_TRUE(good.wellFormed) << good.problem;
    EXPECT_EQ(good.rootAttributes.at("width"), "3");
}

TEST(SvgPicture, WellFormedAtImageSizeWithEveryShape) {
    measure::Scene scene = synthetic::MakeScene();
    scene.shapes[synthetic::kCornerShape].name = "corner <A & B>\x01";  // must be escaped
    const measure::Measurement measured = measure::Measure(scene);
    for (std::size_t camera = 0; camera < scene.cameras.size(); ++camera) {
        SCOPED_TRACE(scene.cameras[camera].id);
        const std::string svg = measure::SvgPicture(scene, measured, camera);
        const SXmlCheck xml = CheckXml(svg);
        ASSERT_TRUE(xml.wellFormed) << xml.problem;
        EXPECT_EQ(xml.rootName, "svg");
        EXPECT_EQ(xml.rootAttributes.at("width"), "1600");
        EXPECT_EQ(xml.rootAttributes.at("height"), "1200");
        EXPECT_NE(svg.find("corner &lt;A &amp; B&gt;\\x01"), std::string::npos);
        EXPECT_NE(svg.find(">tank<"), std::string::npos);
        EXPECT_NE(svg.find("cylinder silhouette"), std::string::npos);  // in the legend
        EXPECT_GE(xml.elementCounts.at("polyline"), 5);   // segment, line, 2 silhouettes, centre
        EXPECT_GE(xml.elementCounts.at("circle"), 4);     // reprojected points
        EXPECT_EQ(xml.elementCounts.count("image"), 0u);  // no photo named
    }
    // The curve and the failed point are drawn only where they were picked.
    const std::string south = measure::SvgPicture(scene, measured, 2);
    const std::string east = measure::SvgPicture(scene, measured, 1);
    EXPECT_NE(south.find("curve samples"), std::string::npos);
    EXPECT_EQ(east.find("curve samples"), std::string::npos);
    EXPECT_NE(east.find("lonely (not measured)"), std::string::npos);
}

// Labels that would cover each other are moved apart, and those with no room left are not drawn
// but shown on hover at their marks and counted in the legend: 30 points picked at one place.
TEST(SvgPicture, CrowdedLabelsMoveApartOrGoToHover) {
    measure::Scene scene = synthetic::MakeScene();
    for (int i = 10; i < 40; ++i) {
        scene.shapes.push_back(scene.shapes[synthetic::kCornerShape]);
        scene.shapes.back().name = "twin" + std::to_string(i);
    }
    const std::string svg = measure::SvgPicture(scene, measure::Measure(scene), 0);
    const double font = 13.0 * 1.6;                 // in a 1600 px wide image
    std::vector<std::pair<double, double>> placed;  // x and y of the twins' labels
    for (std::size_t at = svg.find("\">twin"); at != std::string::npos;
         at = svg.find("\">twin", at + 1)) {
        const std::size_t x = svg.rfind("<text x=\"", at);
        placed.emplace_back(std::stod(svg.substr(x + 9)),
                            std::stod(svg.substr(svg.find("y=\"", x) + 3)));
    }
    ASSERT_GE(placed.size(), 4u);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {  // 6 characters, 0.6 em each
            EXPECT_TRUE(std::abs(placed[i].first - placed[k].first) >= 6 * 0.6 * font ||
                        std::abs(placed[i].second - placed[k].second) >= font);
        }
    }
    const std::size_t hidden = 30 - placed.size();
    ASSERT_GT(hidden, 0u);
    EXPECT_NE(svg.find(">" + std::to_string(hidden) + " names without room"), std::string::npos);
    std::size_t titles = 0;
    for (std::size_t at = svg.find("<g><title>twin"); at != std::string::npos;
         at = svg.find("<g><title>twin", at + 1)) {
        ++titles;
    }
    EXPECT_EQ(titles, 2 * hidden);  // at the pick and at the reprojection
}

// A pick of a view left out of its shape is dashed in the warning colour and named as such, and
// the legend says what that colour means; nothing else is drawn so.
TEST(SvgPicture, LeftOutPicksStandOut) {
    measure::Scene scene = synthetic::MakeScene();
    measure::Measurement measured = measure::Measure(scene);
    const std::string plain = measure::SvgPicture(scene, measured, 0);
    EXPECT_EQ(plain.find("#ffd400"), std::string::npos);
    EXPECT_EQ(plain.find("left out"), std::string::npos);
    for (measure::Drawing& drawing : measured.drawings[0]) {
        drawing.leftOut = drawing.label == "corner" && drawing.role == measure::DrawRole::kPick;
    }
    const std::string svg = measure::SvgPicture(scene, measured, 0);
    EXPECT_TRUE(CheckXml(svg).wellFormed);
    EXPECT_NE(svg.find(">corner (left out)</text>"), std::string::npos);
    EXPECT_NE(svg.find("stroke=\"#ffd400\" stroke-width=\"4.80\" stroke-dasharray"),
              std::string::npos);  // the cross
    EXPECT_NE(svg.find(">picks left out as outliers<"), std::string::npos);
}

// A camera's photo goes underneath, whole in the SVG as a data: URI whose type comes from the
// file's signature; a file that is neither a JPEG nor a PNG is an output error, not a blank
// picture.
TEST(SvgPicture, PhotoIsEmbeddedUnderTheDrawings) {
    measure::Scene scene = synthetic::MakeScene();
    const measure::Measurement measured = measure::Measure(scene);
    TempDir dir("svg_photo");
    const std::pair<std::string, std::string> photos[] = {
        {std::string("\x89PNG\r\n\x1a\n\x00\xff", 10), "data:image/png;base64,iVBORw0KGgoA/w=="},
        {"\xff\xd8\xff\xe0", "data:image/jpeg;base64,/9j/4A=="},
    };
    for (const auto& [bytes, uri] : photos) {
        SCOPED_TRACE(uri);
        scene.cameras[0].image = dir.Write("photo", bytes);
        const std::string svg = measure::SvgPicture(scene, measured, 0);
        const SXmlCheck xml = CheckXml(svg);
        ASSERT_TRUE(xml.wellFormed) << xml.problem;
        EXPECT_EQ(xml.elementCounts.at("image"), 1);
        const std::size_t image = svg.find("<image x=\"0\" y=\"0\" width=\"1600\" height=\"1200\"");
        EXPECT_NE(svg.find("xlink:href=\"" + uri + "\"/>", image), std::string::npos) << svg;
        EXPECT_LT(image, svg.find("<polyline"));  // underneath
    }
    scene.cameras[0].image = dir.Write("photo", "GIF89a");
    EXPECT_THROW(measure::SvgPicture(scene, measured, 0), std::runtime_error);
}

TEST(SvgPicture, FileNamesAreSafeAndUnique) {
    EXPECT_EQ(measure::SvgFileName("cam 1/left.jpg"), "cam_1_left.jpg.svg");
    measure::Scene scene = synthetic::MakeScene();
    scene.cameras[0].id = "a/b";
    scene.cameras[1].id = "a_b";
    const measure::Measurement measured = measure::Measure(scene);
    TempDir dir("svg");
    const std::string directory = dir / "nested";  // made by the writer
    const auto written = measure::WriteSvgPictures(directory, scene, measured);
    ASSERT_EQ(written.size(), scene.cameras.size());
    EXPECT_EQ(written[0], directory + "/a_b.svg");
    EXPECT_EQ(written[1], directory + "/a_b-2.svg");
    for (const std::string& path : written) {
        EXPECT_TRUE(CheckXml(ReadFile(path)).wellFormed) << path;
    }
}

}  // namespace
