#pragma once

#include <string>

namespace ledgerwell {

// The folder of the loaded file that holds this code, as it was loaded (a symbolic link is
// not followed, as the registration names the link). Empty when it cannot be told.
std::string libraryFolder();

// The folder part of a file path: "." for a bare name, "/" for a file at the root.
std::string folderOf(const std::string &path);

} // namespace ledgerwell
