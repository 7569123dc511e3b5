#pragma once

#include <string>

#include "measure/json_node.h"

namespace measure {

// Every path that a scene names (camera files; photos later) is opened through one resolver,
// relative to the scene's folder. A confined resolver opens only what lies inside that folder: it
// refuses an absolute path, a ".." component, and a path that leads outside through symbolic links
// (the canonical path of the target is compared with the folder's). The command line confines
// unless given --allow-outside-paths; a server always confines.
class FileResolver {
  public:
    // folder: the scene's folder ("" for the working directory). hint follows every refusal.
    FileResolver(const std::string& folder, bool confined, const std::string& hint = "");

    const std::string& Folder() const { return m_folder; }
    bool Confined() const { return m_confined; }

    // The path to open for named, a path given in field: folder/named as spelled (named itself
    // when absolute or when the folder is ""). Confined, throws InputError at field (its file and
    // path) when named is absolute, has a ".." component or leads outside the folder.
    std::string Resolve(const std::string& named, const JsonNode& field) const;

  private:
    std::string m_folder;
    bool m_confined;
    std::string m_hint;
};

}  // namespace measure
