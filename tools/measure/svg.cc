#include "measure/svg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
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

// Picks of a view left out of their shape as outliers: dashed and opaque in a warning colour.
const char* const kLeftOutColour = "#ffd400";

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

// Places the shapes' names so that they cover neither each other nor the marks and boxes reserved
// for other shapes, and stay inside the picture: each label takes the first free place among its
// preferred one (right of and above its point), a few lines below or above it, then the same
// left of its point; a label with no free place is not placed at all. The boxes taken are kept on
// a grid of cells about a label's size, so that finding room looks at a few neighbours only,
// whatever the number of labels. A label's box is estimated from the character count (0.6 em per
// character, 0.8 em above the baseline and 0.25 em below).
class LabelPlacer {
  public:
    LabelPlacer(double fontSize, double gap, double width, double height)
        : m_fontSize(fontSize), m_gap(gap), m_width(width), m_height(height) {}

    static constexpr std::size_t kNoOwner = static_cast<std::size_t>(-1);

    // The estimated width of text.
    double Width(const std::string& text) const {
        std::size_t characters = 0;
        for (const char c : text) {
            characters += (static_cast<unsigned char>(c) & 0xc0) == 0x80 ? 0 : 1;  // UTF-8 starts
        }
        return 0.6 * m_fontSize * static_cast<double>(characters);
    }

    // Keeps labels off the box, except the labels of owner (a shape's number; kNoOwner: all).
    void Reserve(double left, double top, double right, double bottom, std::size_t owner) {
        Occupy({left, top, right, bottom, owner});
    }

    // The baseline start of the label text of owner's point (x, y), tried up to lines lines below
    // and above its preferred place, or nothing when there is no room for it (also when the point
    // is not finite).
    std::optional<Vec2> Place(
        double x, double y, const std::string& text, std::size_t owner, int lines) {
        const double width = Width(text);
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return std::nullopt;
        }
        for (const double left : {x + m_gap, x - m_gap - width}) {
            for (int i = 0; i <= 2 * lines; ++i) {
                const int step = (i + 1) / 2 * (i % 2 == 1 ? 1 : -1);  // 0, 1, -1, 2, -2, ...
                const double at = y - m_gap + 1.2 * m_fontSize * step;
                const Box box{
                    left, at - 0.8 * m_fontSize, left + width, at + 0.25 * m_fontSize, kNoOwner};
                if (box.left >= 0.0 && box.top >= 0.0 && box.right <= m_width &&
                    box.bottom <= m_height && Free(box, owner)) {
                    Occupy(box);
                    return Vec2{left, at};
                }
            }
        }
        return std::nullopt;
    }

  private:
    struct Box {
        double left;
        double top;
        double right;
        double bottom;
        std::size_t owner;  // kNoOwner: a label or the legend, which no label may cover
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

    bool Free(const Box& box, std::size_t owner) const {
        return ForEachCell(box, [&](std::uint64_t key) {
            const auto found = m_cells.find(key);
            if (found == m_cells.end()) {
                return true;
            }
            for (const std::size_t index : found->second) {
                const Box& other = m_boxes[index];
                if (other.owner != owner && box.left < other.right && other.left < box.right &&
                    box.top < other.bottom && other.top < box.bottom) {
                    return false;
                }
            }
            return true;
        });
    }

    void Occupy(const Box& box) {
        if (!(box.left <= box.right && box.top <= box.bottom)) {
            return;  // not finite: covers nothing
        }
        m_boxes.push_back(box);
        ForEachCell(box, [&](std::uint64_t key) {
            m_cells[key].push_back(m_boxes.size() - 1);
            return true;
        });
    }

    double m_fontSize;
    double m_gap;  // between a point and its label, across and up
    double m_width;
    double m_height;
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
// and busy ground alike. A pick left out as an outlier is dashed and opaque in the warning
// colour, outlined on any ground. A non-empty title (a name whose label found no room) wraps the
// drawing in a group that shows it on hover.
void DrawElement(std::ostream& out,
                 const Drawing& drawing,
                 double unit,
                 bool overPhoto,
                 const std::string& title) {
    const RoleStyle& style = StyleOf(drawing.role);
    const bool pick = drawing.role == DrawRole::kPick;
    const bool leftOut = pick && drawing.leftOut;
    const bool pale = pick && !leftOut;  // translucent
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
    std::string dashes;
    if (leftOut) {
        const double dash = drawing.points.size() == 1 ? 3.0 : 8.0;
        dashes = " stroke-dasharray=\"" + Number(dash * unit) + " " + Number(dash * unit) + "\"";
    } else if (dashed) {
        dashes = " stroke-dasharray=\"" + Number(12.0 * unit) + " " + Number(6.0 * unit) + "\"";
    }
    const double dot = (pick ? 4.0 : 2.0) * unit;
    if (!title.empty()) {
        out << "<g><title>" << Escape(title) << "</title>\n";
    }
    if (overPhoto || leftOut) {
        // Lighter under the translucent picks, which would turn brown over full black.
        const char* const underOpacity = pale ? "0.3" : "0.6";
        out << geometry << " stroke=\"#000000\" stroke-width=\"" << Number(stroke + 2.0 * unit)
            << "\" stroke-opacity=\"" << underOpacity << "\"" << (leftOut ? "" : dashes) << "/>\n";
        if (drawing.markers) {
            for (const Vec2& p : drawing.points) {
                out << "<circle cx=\"" << Number(p.x) << "\" cy=\"" << Number(p.y) << "\" r=\""
                    << Number(dot + unit) << "\" fill=\"#000000\" fill-opacity=\"" << underOpacity
                    << "\""
                    << " stroke=\"none\"/>\n";
            }
        }
    }
    const std::string colour = leftOut ? kLeftOutColour : style.colour;
    const std::string opacity = pale ? " stroke-opacity=\"0.45\"" : "";
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
                << (pale ? " fill-opacity=\"0.45\"" : "") << " stroke=\"none\"/>\n";
        }
    }
    if (!title.empty()) {
        out << "</g>\n";
    }
}

// A shape's label in one picture: where its name goes and what it says.
struct Label {
    std::string text;
    std::optional<Vec2> place;  // nothing: no room, the name is shown on hover only
    Vec2 at{};                  // the point named
    double width = 0.0;         // of the text, estimated
    bool leftOut = false;       // the name of a pick left out
};

}  // namespace

std::string SvgPicture(const Scene& scene, const Measurement& measurement, std::size_t camera) {
    const Camera& image = scene.cameras[camera];
    const std::vector<Drawing>& drawings = measurement.drawings[camera];
    const int width = image.calibration.GetWidth();
    const int height = image.calibration.GetHeight();
    // Strokes and text scale with the image, so that a picture looks alike at any size.
    const double unit = std::max(1.0, std::max(width, height) / 1000.0);
    const double fontSize = 13.0 * unit;
    const bool overPhoto = !image.image.empty();

    // The legend lists the roles that this picture shows, picks left out as outliers among them,
    // and how many names found no room.
    std::vector<const RoleStyle*> shown;
    for (const RoleStyle& style : kStyles) {
        for (const Drawing& drawing : drawings) {
            if (drawing.role == style.role) {
                shown.push_back(&style);
                break;
            }
        }
    }
    const bool anyLeftOut = std::any_of(drawings.begin(), drawings.end(), [](const Drawing& d) {
        return d.role == DrawRole::kPick && d.leftOut;
    });
    const double line = 18.0 * unit;
    const double left = 12.0 * unit;
    const double top = 12.0 * unit;
    const double legendWidth = 290.0 * unit;
    const double legendRows = static_cast<double>(shown.size() + (anyLeftOut ? 1 : 0)) + 1.6;

    // Labels first, so that a name that finds no room can be shown on hover at its drawings. One
    // name per shape: at its pick left out, else at its reprojection, else (not measured) at its
    // pick. Labels keep off the legend (with room for its last line) and the other shapes' marks.
    std::unordered_map<std::string, std::size_t> owners;  // a number per shape name
    std::unordered_set<std::string> unmeasured;
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        owners.emplace(scene.shapes[i].name, i);
        if (!measurement.shapes[i].ok) {
            unmeasured.insert(scene.shapes[i].name);
        }
    }
    const auto ownerOf = [&owners](const std::string& name) {
        const auto found = owners.find(name);
        return found == owners.end() ? owners.size() : found->second;
    };
    LabelPlacer placer(fontSize, 8.0 * unit, width, height);
    placer.Reserve(
        left, top, left + legendWidth, top + line * (legendRows + 1.0), LabelPlacer::kNoOwner);
    for (const Drawing& drawing : drawings) {
        if (drawing.points.size() == 1) {
            const Vec2& p = drawing.points[0];
            const double r = 7.0 * unit;
            placer.Reserve(p.x - r, p.y - r, p.x + r, p.y + r, ownerOf(drawing.label));
        }
    }
    std::vector<Label> labels;
    std::unordered_map<std::string, std::size_t> labelOf;  // index into labels by name
    std::size_t hidden = 0;
    for (int pass = 0; pass < 3; ++pass) {  // picks left out, reprojections, other picks
        for (const Drawing& drawing : drawings) {
            const bool pick = drawing.role == DrawRole::kPick;
            const bool inPass = pass == 0   ? pick && drawing.leftOut
                                : pass == 1 ? !pick && drawing.role != DrawRole::kSilhouette
                                            : pick;
            if (!inPass || drawing.points.empty() || labelOf.count(drawing.label) != 0) {
                continue;
            }
            // A segment's middle, a plane outline's first corner in the picture, else the first
            // point; brought into the picture, so that the name shows at its edge.
            Vec2 at = drawing.points[0];
            if (drawing.points.size() == 2) {
                at = {0.5 * (drawing.points[0].x + drawing.points[1].x),
                      0.5 * (drawing.points[0].y + drawing.points[1].y)};
            } else if (drawing.closed) {
                const auto inside =
                    std::find_if(drawing.points.begin(), drawing.points.end(), [&](const Vec2& p) {
                        return p.x >= 0.0 && p.x <= width && p.y >= 0.0 && p.y <= height;
                    });
                at = inside == drawing.points.end() ? at : *inside;
            }
            at = {std::clamp(at.x, 0.0, static_cast<double>(width)),
                  std::clamp(at.y, 0.0, static_cast<double>(height))};
            Label label;
            label.text = drawing.label + (pass == 0                              ? " (left out)"
                                          : unmeasured.count(drawing.label) != 0 ? " (not measured)"
                                                                                 : "");
            // Names of picks left out may go farther from their point: they must be seen.
            label.place = placer.Place(
                at.x, at.y, Printable(label.text), ownerOf(drawing.label), pass == 0 ? 6 : 2);
            label.at = at;
            label.width = placer.Width(Printable(label.text));
            label.leftOut = pass == 0;
            hidden += label.place ? 0 : 1;
            labelOf.emplace(drawing.label, labels.size());
            labels.push_back(std::move(label));
        }
    }
    const auto hoverTitle = [&](const Drawing& drawing) {
        const auto found = labelOf.find(drawing.label);
        if (found == labelOf.end() || labels[found->second].place) {
            return std::string();
        }
        return labels[found->second].text;
    };

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
                DrawElement(out, drawing, unit, overPhoto, hoverTitle(drawing));
            }
        }
    }
    for (const Drawing& drawing : drawings) {
        if (drawing.role != DrawRole::kPlane && drawing.role != DrawRole::kPick) {
            DrawElement(out, drawing, unit, overPhoto, hoverTitle(drawing));
        }
    }
    out << "</g>\n";

    out << "<g font-family=\"sans-serif\" font-size=\"" << Number(fontSize)
        << "\" fill=\"#202020\" stroke=\"#ffffff\" stroke-width=\"" << Number(3.0 * unit)
        << "\" paint-order=\"stroke\">\n";
    for (const Label& label : labels) {
        // A name of a pick left out that had to move away is tied to its point by a thin line.
        if (label.place && label.leftOut) {
            const Vec2 end{
                std::clamp(label.at.x, label.place->x, label.place->x + label.width),
                std::clamp(
                    label.at.y, label.place->y - 0.8 * fontSize, label.place->y + 0.25 * fontSize)};
            if (std::hypot(end.x - label.at.x, end.y - label.at.y) > 1.5 * fontSize) {
                out << "<line x1=\"" << Number(label.at.x) << "\" y1=\"" << Number(label.at.y)
                    << "\" x2=\"" << Number(end.x) << "\" y2=\"" << Number(end.y) << "\" stroke=\""
                    << kLeftOutColour << "\" stroke-width=\"" << Number(1.5 * unit) << "\"/>\n";
            }
        }
    }
    for (const Label& label : labels) {
        if (label.place) {
            out << "<text x=\"" << Number(label.place->x) << "\" y=\"" << Number(label.place->y)
                << "\">" << Escape(label.text) << "</text>\n";
        }
    }
    out << "</g>\n";

    out << "<g font-family=\"sans-serif\" font-size=\"" << Number(fontSize) << "\">\n"
        << "<rect x=\"" << Number(left) << "\" y=\"" << Number(top) << "\" width=\""
        << Number(legendWidth) << "\" height=\""
        << Number(line * (legendRows + (hidden > 0 ? 1.0 : 0.0)))
        << "\" fill=\"#ffffff\" fill-opacity=\"0.85\" stroke=\"#999999\" stroke-width=\""
        << Number(unit) << "\"/>\n"
        << "<text x=\"" << Number(left + 8.0 * unit) << "\" y=\"" << Number(top + line)
        << "\" font-weight=\"bold\" fill=\"#202020\">camera " << Escape(image.id) << "</text>\n";
    std::size_t row = 2;
    for (const RoleStyle* style : shown) {
        const double y = top + line * static_cast<double>(row++);
        const bool pick = style->role == DrawRole::kPick;
        if (style->role == DrawRole::kPoint) {
            out << "<circle cx=\"" << Number(left + 24.0 * unit) << "\" cy=\""
                << Number(y - 4.0 * unit) << "\" r=\"" << Number(6.0 * unit)
                << "\" fill=\"none\" stroke=\"" << style->colour << "\" stroke-width=\""
                << Number(1.6 * unit) << "\"/>\n";
        } else {
            out << "<line x1=\"" << Number(left + 8.0 * unit) << "\" y1=\""
                << Number(y - 4.0 * unit) << "\" x2=\"" << Number(left + 40.0 * unit) << "\" y2=\""
                << Number(y - 4.0 * unit) << "\" stroke=\"" << style->colour << "\" stroke-width=\""
                << Number(pick ? 5.0 * unit : 2.0 * unit) << "\""
                << (pick ? " stroke-opacity=\"0.45\"" : "") << "/>\n";
        }
        out << "<text x=\"" << Number(left + 48.0 * unit) << "\" y=\"" << Number(y)
            << "\" fill=\"#202020\">" << Escape(style->legend) << "</text>\n";
        if (pick && anyLeftOut) {
            const double below = top + line * static_cast<double>(row++);
            out << "<line x1=\"" << Number(left + 8.0 * unit) << "\" y1=\""
                << Number(below - 4.0 * unit) << "\" x2=\"" << Number(left + 40.0 * unit)
                << "\" y2=\"" << Number(below - 4.0 * unit) << "\" stroke=\"" << kLeftOutColour
                << "\" stroke-width=\"" << Number(5.0 * unit) << "\" stroke-dasharray=\""
                << Number(8.0 * unit) << " " << Number(8.0 * unit) << "\"/>\n"
                << "<text x=\"" << Number(left + 48.0 * unit) << "\" y=\"" << Number(below)
                << "\" fill=\"#202020\">picks left out as outliers</text>\n";
        }
    }
    if (hidden > 0) {
        out << "<text x=\"" << Number(left + 8.0 * unit) << "\" y=\""
            << Number(top + line * static_cast<double>(row)) << "\" fill=\"#202020\">" << hidden
            << (hidden == 1 ? " name" : " names") << " without room: hover the marks</text>\n";
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
