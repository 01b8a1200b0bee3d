#pragma once

#include <string>

namespace ledgerwell {

// The folder of the loaded file that holds this code, as it was loaded (a symbolic link is
// not followed, as the registration names the link). Empty when it cannot be told.
std::string libraryFolder();

} // namespace ledgerwell
