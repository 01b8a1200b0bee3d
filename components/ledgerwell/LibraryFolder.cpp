#include "LibraryFolder.h"

#include <algorithm>

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
    return folderOf(path);
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".")
                                      : path.substr(0, std::max<std::size_t>(slash, 1));
}

} // namespace ledgerwell
