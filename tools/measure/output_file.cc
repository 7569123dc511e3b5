#include "measure/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace measure {

namespace fs = std::filesystem;

void WriteFileAtomically(const std::string& path, const std::string& text) {
    const auto fail = [&](const std::string& why) {
        throw std::runtime_error(path + ": cannot be written (" + why + ")");
    };
    std::error_code ignored;
    const fs::file_status status = fs::status(path, ignored);
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status)) {
        // A device or a pipe (/dev/null, /dev/stdout) is written to as it is: renaming over it
        // would replace it.
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const bool written =
            file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            fail(std::strerror(errno));
        }
        return;
    }
    // Through symbolic links, the file they point to is replaced, not a link (even when that file
    // does not exist yet).
    fs::path target = path;
    for (int depth = 0; fs::is_symlink(fs::symlink_status(target, ignored)); ++depth) {
        const fs::path link = fs::read_symlink(target, ignored);
        if (depth == 40 || link.empty()) {
            fail("too many levels of symbolic links");
        }
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    // A fresh name beside the target ("x" refuses an existing file), so that the rename stays
    // within one file system and never replaces someone else's file.
    std::random_device seed;
    std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    std::FILE* file = nullptr;
    fs::path temporary;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        temporary = directory / ("." + target.filename().string() + ".part-" +
                                 std::to_string(random() % 1000000000));
        file = std::fopen(temporary.c_str(), "wbx");
        if (file == nullptr && errno != EEXIST) {
            fail(std::strerror(errno));
        }
    }
    if (file == nullptr) {
        fail("no free name for a temporary file");
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = written ? 0 : errno;
    if (std::fclose(file) != 0 || !written) {
        fs::remove(temporary, ignored);
        fail(std::strerror(written ? errno : writeError));
    }
    std::error_code renamed;
    fs::rename(temporary, target, renamed);
    if (renamed) {
        fs::remove(temporary, ignored);
        fail(renamed.message());
    }
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error)) {
        const bool same = fs::equivalent(a, b, error);
        if (!error) {
            return same;
        }
    }
    const fs::path left = fs::absolute(a, error).lexically_normal();
    const fs::path right = fs::absolute(b, error).lexically_normal();
    return left == right;
}

}  // namespace measure
