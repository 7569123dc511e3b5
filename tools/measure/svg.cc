#include "measure/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "measure/format.h"
#include "measure/output_file.h"

namespace measure {

namespace {

struct RoleStyle {
    DrawRole role;
    const char* colour;
    const char* legend;
};

// Picks are wide and pale underneath; the reprojections are thin and dark on top of them, so a
// good fit shows as a thin line running inside a pale band.
const RoleStyle kStyles[] = {
    {DrawRole::kPlane, "#8c564b", "plane outline through its points"},
    {DrawRole::kPick, "#ff7f0e", "picks"},
    {DrawRole::kPoint, "#1f5fbf", "reprojected point"},
    {DrawRole::kLine, "#e377c2", "reprojected line"},
    {DrawRole::kSegment, "#d62728", "reprojected segment"},
    {DrawRole::kSilhouette, "#2ca02c", "cylinder silhouette"},
    {DrawRole::kCentreLine, "#9467bd", "cylinder centre line"},
    {DrawRole::kCurve, "#17becf", "curve samples"},
};

const RoleStyle& StyleOf(DrawRole role) {
    for (const RoleStyle& style : kStyles) {
        if (style.role == role) {
            return style;
        }
    }
    return kStyles[0];
}

std::string Number(double value) {
    return FormatNumber("%.2f", value);
}

std::string Escape(const std::string& text) {
    std::string escaped;
    // Control characters are not allowed in XML 1.0, not even as references: shown as \xNN.
    for (const char c : Printable(text)) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// Places the shapes' names so that they do not cover each other: each label takes the first free
// place among its preferred one and a few above and below it, or the preferred one when all are
// taken. The boxes placed are kept on a grid of cells about a label's size, so that finding room
// looks at a few neighbours only, whatever the number of labels. A box is estimated from the
// character count (0.6 em per character, 0.8 em above the baseline and 0.25 em below).
class LabelPlacer {
  public:
    explicit LabelPlacer(double fontSize) : m_fontSize(fontSize) {}

    // The baseline position for a label of text whose preferred position is (x, y); candidates
    // above top are not taken.
    Vec2 Place(double x, double y, const std::string& text, double top) {
        std::size_t characters = 0;
        for (const char c : text) {
            characters += (static_cast<unsigned char>(c) & 0xc0) == 0x80 ? 0 : 1;  // UTF-8 starts
        }
        const double width = 0.6 * m_fontSize * static_cast<double>(characters);
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return {x, y};
        }
        constexpr int kTries = 6;  // on each side
        for (int i = 0; i <= 2 * kTries; ++i) {
            const int step = (i + 1) / 2 * (i % 2 == 1 ? 1 : -1);  // 0, 1, -1, 2, -2, ...
            const double at = y + 1.2 * m_fontSize * step;
            if (step < 0 && at < top) {
                continue;
            }
            const Box box{x, at - 0.8 * m_fontSize, x + width, at + 0.25 * m_fontSize};
            if (Free(box)) {
                Occupy(box);
                return {x, at};
            }
        }
        return {x, y};
    }

  private:
    struct Box {
        double left;
        double top;
        double right;
        double bottom;
    };

    // Cell indices of a coordinate; far-off coordinates share the outermost cells.
    std::int64_t Column(double x) const {
        return static_cast<std::int64_t>(std::floor(std::clamp(x, -1e12, 1e12) / (8 * m_fontSize)));
    }
    std::int64_t Row(double y) const {
        return static_cast<std::int64_t>(std::floor(std::clamp(y, -1e12, 1e12) / (2 * m_fontSize)));
    }
    static std::uint64_t Key(std::int64_t column, std::int64_t row) {
        // Two cells that share a key only share a list: the boxes are still compared exactly.
        return static_cast<std::uint64_t>(column) * 0x9e3779b97f4a7c15u ^
               static_cast<std::uint64_t>(row);
    }

    template <typename Visit>
    bool ForEachCell(const Box& box, Visit visit) const {
        for (std::int64_t column = Column(box.left); column <= Column(box.right); ++column) {
            for (std::int64_t row = Row(box.top); row <= Row(box.bottom); ++row) {
                if (!visit(Key(column, row))) {
                    return false;
                }
            }
        }
        return true;
    }

    bool Free(const Box& box) const {
        return ForEachCell(box, [&](std::uint64_t key) {
            const auto found = m_cells.find(key);
            if (found == m_cells.end()) {
                return true;
            }
            for (const std::size_t index : found->second) {
                const Box& other = m_boxes[index];
                if (box.left < other.right && other.left < box.right && box.top < other.bottom &&
                    other.top < box.bottom) {
                    return false;
                }
            }
            return true;
        });
    }

    void Occupy(const Box& box) {
        m_boxes.push_back(box);
        ForEachCell(box, [&](std::uint64_t key) {
            m_cells[key].push_back(m_boxes.size() - 1);
            return true;
        });
    }

    double m_fontSize;
    std::vector<Box> m_boxes;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_cells;
};

// The photo as a data: URI, its MIME type told by the file's signature (JPEG or PNG). Throws
// std::runtime_error when the file cannot be read or is neither.
std::string PhotoUri(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        throw std::runtime_error(path + ": cannot read the photo");
    }
    const char* mime = nullptr;
    if (bytes.compare(0, 3, "\xff\xd8\xff") == 0) {
        mime = "image/jpeg";
    } else if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
        mime = "image/png";
    } else {
        throw std::runtime_error(path + ": the photo is neither a JPEG nor a PNG file");
    }
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string uri = std::string("data:") + mime + ";base64,";
    uri.reserve(uri.size() + (bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const std::uint32_t byte = k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u;
            group = (group << 8) | byte;
        }
        for (std::size_t k = 0; k < 4; ++k) {
            uri += k <= count ? kDigits[(group >> (18 - 6 * k)) & 0x3f] : '=';
        }
    }
    return uri;
}

std::string PointList(const std::vector<Vec2>& points) {
    std::string list;
    for (const Vec2& point : points) {
        list += (list.empty() ? "" : " ") + Number(point.x) + "," + Number(point.y);
    }
    return list;
}

// Writes one drawing: a cross (a pick) or a circle (a reprojected point) for a single point,
// otherwise a polyline or polygon, with a dot at each point where asked. Over a photo, each part
// is first drawn in translucent black a little wider, so that the colour keeps its edge on light
// and busy ground alike.
void DrawElement(std::ostream& out, const Drawing& drawing, double unit, bool overPhoto) {
    const RoleStyle& style = StyleOf(drawing.role);
    const bool pick = drawing.role == DrawRole::kPick;
    const double width = pick ? 5.0 * unit : 1.6 * unit;
    std::string geometry;  // the element's name and position, then its stroke
    double stroke = width;
    if (drawing.points.size() == 1) {
        const Vec2& p = drawing.points[0];
        if (pick) {
            const double r = 7.0 * unit;
            geometry = "<path d=\"M" + Number(p.x - r) + "," + Number(p.y) + " H" +
                       Number(p.x + r) + " M" + Number(p.x) + "," + Number(p.y - r) + " V" +
                       Number(p.y + r) + "\"";
            stroke = 3.0 * unit;
        } else {
            geometry = "<circle cx=\"" + Number(p.x) + "\" cy=\"" + Number(p.y) + "\" r=\"" +
                       Number(6.0 * unit) + "\"";
        }
    } else {
        geometry = std::string("<") + (drawing.closed ? "polygon" : "polyline") + " points=\"" +
                   PointList(drawing.points) + "\"";
    }
    const bool dashed = drawing.role == DrawRole::kCentreLine || drawing.role == DrawRole::kPlane;
    const std::string dashes =
        dashed ? " stroke-dasharray=\"" + Number(12.0 * unit) + " " + Number(6.0 * unit) + "\""
               : "";
    const double dot = (pick ? 4.0 : 2.0) * unit;
    if (overPhoto) {
        // Lighter under the translucent picks, which would turn brown over full black.
        out << geometry << " stroke=\"#000000\" stroke-width=\"" << Number(stroke + 2.0 * unit)
            << "\" stroke-opacity=\"" << (pick ? "0.3" : "0.6") << "\"" << dashes << "/>\n";
        if (drawing.markers) {
            for (const Vec2& p : drawing.points) {
                out << "<circle cx=\"" << Number(p.x) << "\" cy=\"" << Number(p.y) << "\" r=\""
                    << Number(dot + unit) << "\" fill=\"#000000\" fill-opacity=\""
                    << (pick ? "0.3" : "0.6") << "\""
                    << " stroke=\"none\"/>\n";
            }
        }
    }
    const std::string colour = style.colour;
    const std::string opacity = pick ? " stroke-opacity=\"0.45\"" : "";
    out << geometry << " stroke=\"" << colour << "\" stroke-width=\"" << Number(stroke) << "\""
        << opacity << dashes;
    if (drawing.closed) {
        out << " fill=\"" << colour << "\" fill-opacity=\"0.06\"";
    }
    out << "/>\n";
    if (drawing.markers) {
        for (const Vec2& p : drawing.points) {
            out << "<circle cx=\"" << Number(p.x) << "\" cy=\"" << Number(p.y) << "\" r=\""
                << Number(dot) << "\" fill=\"" << colour << "\""
                << (pick ? " fill-opacity=\"0.45\"" : "") << " stroke=\"none\"/>\n";
        }
    }
}

}  // namespace

std::string SvgPicture(const Scene& scene, const Measurement& measurement, std::size_t camera) {
    const Camera& image = scene.cameras[camera];
    const std::vector<Drawing>& drawings = measurement.drawings[camera];
    const int width = image.calibration.GetWidth();
    const int height = image.calibration.GetHeight();
    // Strokes and text scale with the image, so that a picture looks alike at any size.
    const double unit = std::max(1.0, std::max(width, height) / 1000.0);
    const bool overPhoto = !image.image.empty();
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\""
        << (overPhoto ? " xmlns:xlink=\"http://www.w3.org/1999/xlink\"" : "")
        << " version=\"1.1\" width=\"" << width << "\" height=\"" << height << "\" viewBox=\"0 0 "
        << width << " " << height << "\">\n"
        << "<title>" << Escape(image.id) << ": picks and reprojected shapes</title>\n";
    if (overPhoto) {
        // The photo's pixel (i, j) covers [i, i + 1] x [j, j + 1], as the picks count pixels.
        out << "<image x=\"0\" y=\"0\" width=\"" << width << "\" height=\"" << height
            << "\" preserveAspectRatio=\"none\" xlink:href=\"" << PhotoUri(image.image) << "\"/>\n";
    }
    out << "<rect x=\"0\" y=\"0\" width=\"" << width << "\" height=\"" << height << "\" fill=\""
        << (overPhoto ? "none" : "#fcfcfa") << "\" stroke=\"#999999\" stroke-width=\""
        << Number(2.0 * unit) << "\"/>\n";

    // Planes first (they fill), then the picks, then the reprojections on top.
    out << "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    for (const DrawRole layer : {DrawRole::kPlane, DrawRole::kPick}) {
        for (const Drawing& drawing : drawings) {
            if (drawing.role == layer) {
                DrawElement(out, drawing, unit, overPhoto);
            }
        }
    }
    for (const Drawing& drawing : drawings) {
        if (drawing.role != DrawRole::kPlane && drawing.role != DrawRole::kPick) {
            DrawElement(out, drawing, unit, overPhoto);
        }
    }
    out << "</g>\n";

    // One name per shape, at its reprojection (or its pick when it was not measured).
    out << "<g font-family=\"sans-serif\" font-size=\"" << Number(13.0 * unit)
        << "\" fill=\"#202020\" stroke=\"#ffffff\" stroke-width=\"" << Number(3.0 * unit)
        << "\" paint-order=\"stroke\">\n";
    std::unordered_set<std::string> unmeasured;
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        if (!measurement.shapes[i].ok) {
            unmeasured.insert(scene.shapes[i].name);
        }
    }
    LabelPlacer placer(13.0 * unit);
    std::unordered_set<std::string> labelled;
    for (const bool picks : {false, true}) {
        for (const Drawing& drawing : drawings) {
            if ((drawing.role == DrawRole::kPick) != picks || labelled.count(drawing.label) != 0 ||
                drawing.role == DrawRole::kSilhouette) {
                continue;
            }
            labelled.insert(drawing.label);
            Vec2 at = drawing.points[0];
            if (drawing.points.size() == 2) {
                at = {0.5 * (drawing.points[0].x + drawing.points[1].x),
                      0.5 * (drawing.points[0].y + drawing.points[1].y)};
            }
            const std::string text =
                drawing.label + (unmeasured.count(drawing.label) != 0 ? " (not measured)" : "");
            const Vec2 place = placer.Place(std::min(at.x + 8.0 * unit, width - 60.0 * unit),
                                            std::max(at.y - 8.0 * unit, 16.0 * unit),
                                            Printable(text),
                                            16.0 * unit);
            out << "<text x=\"" << Number(place.x) << "\" y=\"" << Number(place.y) << "\">"
                << Escape(text) << "</text>\n";
        }
    }
    out << "</g>\n";

    // The legend lists the roles that this picture shows.
    std::vector<const RoleStyle*> shown;
    for (const RoleStyle& style : kStyles) {
        for (const Drawing& drawing : drawings) {
            if (drawing.role == style.role) {
                shown.push_back(&style);
                break;
            }
        }
    }
    const double line = 18.0 * unit;
    const double left = 12.0 * unit;
    const double top = 12.0 * unit;
    out << "<g font-family=\"sans-serif\" font-size=\"" << Number(13.0 * unit) << "\">\n"
        << "<rect x=\"" << Number(left) << "\" y=\"" << Number(top) << "\" width=\""
        << Number(290.0 * unit) << "\" height=\"" << Number(line * (shown.size() + 1.6))
        << "\" fill=\"#ffffff\" fill-opacity=\"0.85\" stroke=\"#999999\" stroke-width=\""
        << Number(unit) << "\"/>\n"
        << "<text x=\"" << Number(left + 8.0 * unit) << "\" y=\"" << Number(top + line)
        << "\" font-weight=\"bold\" fill=\"#202020\">camera " << Escape(image.id) << "</text>\n";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const double y = top + line * (i + 2);
        const bool pick = shown[i]->role == DrawRole::kPick;
        if (shown[i]->role == DrawRole::kPoint) {
            out << "<circle cx=\"" << Number(left + 24.0 * unit) << "\" cy=\""
                << Number(y - 4.0 * unit) << "\" r=\"" << Number(6.0 * unit)
                << "\" fill=\"none\" stroke=\"" << shown[i]->colour << "\" stroke-width=\""
                << Number(1.6 * unit) << "\"/>\n";
        } else {
            out << "<line x1=\"" << Number(left + 8.0 * unit) << "\" y1=\""
                << Number(y - 4.0 * unit) << "\" x2=\"" << Number(left + 40.0 * unit) << "\" y2=\""
                << Number(y - 4.0 * unit) << "\" stroke=\"" << shown[i]->colour
                << "\" stroke-width=\"" << Number(pick ? 5.0 * unit : 2.0 * unit) << "\""
                << (pick ? " stroke-opacity=\"0.45\"" : "") << "/>\n";
        }
        out << "<text x=\"" << Number(left + 48.0 * unit) << "\" y=\"" << Number(y)
            << "\" fill=\"#202020\">" << Escape(shown[i]->legend) << "</text>\n";
    }
    out << "</g>\n</svg>\n";
    return out.str();
}

std::string SvgFileName(const std::string& id) {
    std::string name;
    for (const char c : id) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += keep ? c : '_';
    }
    return name + ".svg";
}

std::vector<std::string> SvgPicturePaths(const std::string& directory, const Scene& scene) {
    std::vector<std::string> paths;
    std::set<std::string> names;
    for (const Camera& camera : scene.cameras) {
        std::string name = SvgFileName(camera.id);
        for (int n = 2; !names.insert(name).second; ++n) {
            name = SvgFileName(camera.id + "-" + std::to_string(n));
        }
        paths.push_back(directory + "/" + name);
    }
    return paths;
}

std::vector<std::string> WriteSvgPictures(const std::string& directory,
                                          const Scene& scene,
                                          const Measurement& measurement) {
    // Every picture is made before anything is written: a photo that cannot be read leaves the
    // directory as it was.
    std::vector<std::string> pictures;
    for (std::size_t camera = 0; camera < scene.cameras.size(); ++camera) {
        pictures.push_back(SvgPicture(scene, measurement, camera));
    }
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw std::runtime_error(directory + ": cannot create the directory (" + error.message() +
                                 ")");
    }
    const std::vector<std::string> paths = SvgPicturePaths(directory, scene);
    for (std::size_t camera = 0; camera < scene.cameras.size(); ++camera) {
        WriteFileAtomically(paths[camera], pictures[camera]);
    }
    return paths;
}

}  // namespace measure
