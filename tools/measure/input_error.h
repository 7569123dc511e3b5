#pragma once

#include <stdexcept>
#include <string>

namespace measure {

// Bad input: names the file, the place in it (a JSON path such as shapes[2].picks.cam_s, or
// "line 7") and what is wrong. The tool reports it and exits with status 2.
class InputError : public std::runtime_error {
  public:
    InputError(const std::string& file, const std::string& where, const std::string& message);

    const std::string& File() const { return m_file; }
    const std::string& Where() const { return m_where; }
    const std::string& Message() const { return m_message; }

  private:
    std::string m_file;
    std::string m_where;
    std::string m_message;
};

}  // namespace measure
