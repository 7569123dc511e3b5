#include "measure/input_error.h"

namespace measure {

namespace {

std::string Compose(const std::string& file, const std::string& where, const std::string& message) {
    std::string text = file;
    if (!where.empty()) {
        text += ": " + where;
    }
    return text + ": " + message;
}

}  // namespace

InputError::InputError(const std::string& file,
                       const std::string& where,
                       const std::string& message)
    : std::runtime_error(Compose(file, where, message)),
      m_file(file),
      m_where(where),
      m_message(message) {}

}  // namespace measure
