#pragma once

// A fresh directory under the system's temporary directory, removed at the end of the test, and
// whole-file reads for the tests of polyview-measure.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

class TempDir {
  public:
    explicit TempDir(const std::string& name)
        : m_path(std::filesystem::temp_directory_path() /
                 ("polyview_measure_" + name + "_" + std::to_string(getpid()))) {
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string Path() const { return m_path.string(); }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    // Writes text into name (below the directory) and returns its path.
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_path / name, std::ios::binary) << text;
        return *this / name;
    }

  private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}
