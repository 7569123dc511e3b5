#pragma once

// A fresh directory under the system's temporary directory, removed at the end of the test,
// whole-file reads and the check of a refused input for the tests of polyview-measure.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "measure/input_error.h"
#include <gtest/gtest.h>
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
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs load, which must refuse its input naming file, where (unless null) and fragment; returns
// the error's text ("" when nothing was refused).
template <typename Load>
std::string ExpectInputError(Load load,
                             const std::string& file,
                             const char* where,
                             const std::string& fragment) {
    try {
        load();
        ADD_FAILURE() << "accepted";
    } catch (const measure::InputError& error) {
        EXPECT_EQ(error.File(), file);
        EXPECT_EQ(error.Where(), where ? where : error.Where());
        EXPECT_NE(error.Message().find(fragment), std::string::npos) << error.Message();
        return error.what();
    }
    return "";
}
