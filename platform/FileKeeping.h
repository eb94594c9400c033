#pragma once

// What output files need to know about the place they go and the file they replace. Only
// platform/ includes this; the public side is in BinaryFile.h.

#include <string>

namespace mirel {

// The folder part of path: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);

// Gives the new file (open as fd, not yet named) what the regular file at path has of its own:
// owner and group where this user may give them, every extended attribute (the ACL among them)
// and then the permissions; a link at path gives only the permissions of what it points to.
// Returns one sentence, naming path, on what was not kept, on the other hard links that keep the
// old content and on a write-protected file replaced; empty when there is nothing to say.
std::string KeepWhatWasOwn(int fd, const std::string& path);

}  // namespace mirel
