#include "LibraryFolder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace ledgerwell {

std::string libraryFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void *>(&libraryFolder), &info) == 0 || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    if (path.empty())
        return {};
    if (path.front() != '/') {
        // Loaded by a relative name, which was relative to the working folder.
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            return {};
        path = std::string(cwd) + "/" + path;
    }
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace ledgerwell
