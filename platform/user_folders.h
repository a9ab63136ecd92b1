// Stands in for the user's known folders (Pictures, Videos), as the
// desktop's xdg-user-dir names them.
#pragma once

#include <string>

namespace platform {

// The folder `which` ("PICTURES", "VIDEOS") as `xdg-user-dir` gives it;
// the home folder when that can't be run or names none.
std::string UserFolder(const char* which);

// Creates `path` and the folders above it that are missing. False with
// errno set when it can't.
bool MakeFolders(const std::string& path);

}  // namespace platform
