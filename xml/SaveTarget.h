// SaveTarget: the file a save replaces when the path it was given is a symbolic link.
#pragma once

#include <string>

namespace velmora {

// Follows symbolic links from path to the file a save must replace, so that the save writes
// through the link and the link stays a link: a relative link text counts from the link's own
// folder, and a dangling link yields the path it names (a new file is made there). Components
// before the last are left to the kernel. On success target holds the path; a missing path is its
// own target. False, with why (when not null) saying which file and why, when the chain has more
// than 40 links (a loop among them), a link cannot be read, or the final file exists and is not a
// regular file (device node, FIFO, socket, folder). Uses lstat and readlink only; writes nothing.
bool resolveSaveTarget(const std::string& path, std::string& target, std::string* why = nullptr);

}  // namespace velmora
