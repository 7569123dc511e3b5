#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

namespace measure {

// Object members keep the order of the file, so picks and shapes are reported as written.
using Json = nlohmann::ordered_json;

// Parses text as JSON; throws InputError naming file, line and column when it is malformed.
Json ParseJsonText(const std::string& text, const std::string& file);

// Scene files larger than this are refused unread.
constexpr std::size_t kSceneFileLimit = std::size_t{256} << 20;

// Reads a whole regular file of at most limit bytes. Throws InputError when it cannot be opened,
// is a directory, a device, a pipe or a socket (never read: /dev/zero would not end), or is
// larger than limit (the read stops there even if the file grows meanwhile).
std::string ReadTextFile(const std::string& file, std::size_t limit);

// A JSON value with its path from the document root (e.g. shapes[2].picks.cam_s), so that every
// complaint names the file and the field. Each accessor checks the type and throws InputError.
class JsonNode {
  public:
    JsonNode(const Json& value, const std::string& file, const std::string& path);

    const Json& Value() const { return *m_value; }
    const std::string& Path() const { return m_path; }
    const std::string& File() const { return m_file; }

    // Throws InputError with this node's path.
    [[noreturn]] void Fail(const std::string& message) const;

    bool IsObject() const { return m_value->is_object(); }
    bool IsArray() const { return m_value->is_array(); }
    bool IsNull() const { return m_value->is_null(); }
    bool IsString() const { return m_value->is_string(); }

    // Objects: whether the member exists; the required member; every member name allowed.
    bool Has(const std::string& key) const;
    JsonNode Member(const std::string& key) const;
    void CheckMembers(std::initializer_list<const char*> allowed) const;

    // Arrays: the element count (fails unless an array) and element i.
    std::size_t Size() const;
    JsonNode Element(std::size_t index) const;
    // An array of at least minimum elements ("an empty list" otherwise).
    std::size_t SizeAtLeast(std::size_t minimum, const char* what) const;

    // Scalars.
    double Number() const;          // finite
    double PositiveNumber() const;  // finite and > 0
    int PositiveInteger() const;    // a whole number > 0
    std::string String() const;     // non-empty
    // [x, y] and [x, y, z] of finite numbers.
    std::array<double, 2> Point2() const;
    std::array<double, 3> Vector3() const;

    // "an object", "a string", ... for messages.
    static std::string Describe(const Json& value);

  private:
    void RequireObject() const;
    void RequireArray() const;

    const Json* m_value;
    std::string m_file;
    std::string m_path;
};

}  // namespace measure
