#pragma once

#include <string>

namespace measure {

// Writes text to path through a temporary file in the same directory, renamed over path at the
// end: path holds either its old content or the whole new text, never a part, even when the run
// is interrupted. A symbolic link is followed (the file it points to is replaced); a device or a
// pipe is written to directly. Throws std::runtime_error "PATH: cannot be written (...)"; the
// temporary file is removed then.
void WriteFileAtomically(const std::string& path, const std::string& text);

// Whether two paths name one file: std::filesystem::equivalent when both exist (links, "..",
// other spellings), otherwise the same absolute path once "." and ".." are resolved.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace measure
