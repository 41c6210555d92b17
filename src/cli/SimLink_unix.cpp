#include "SimLink.h"

#include "CliCommands.h"
#include "CliFailure.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

void MakeSimLink(const std::string& link, const std::string& target)
{
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode))
            throw UsageError{link + " exists and is not a symbolic link; not replacing it"};
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0)
        throw CliFailure{ExitPortError,
                         "cannot link " + link + " to " + target + ": " + std::strerror(errno)};
}

void RemoveSimLink(const std::string& link, const std::string& target)
{
    char pointsTo[4096] = {};
    const ssize_t n = ::readlink(link.c_str(), pointsTo, sizeof pointsTo - 1);
    if (n > 0 && target == std::string(pointsTo, static_cast<size_t>(n)))
        ::unlink(link.c_str());
}
