// Output files: targets through symbolic links, devices written in place, temporaries of our own
// naming and their clean-up.
#include "OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TW
{

namespace
{

constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes ".NAME.tmp.PID" (and the older "NAME.tmp.PID") beside target for every PID that is
// no longer a running process, or that is this process (an earlier write of ours that failed).
void RemoveStaleTemporaries(const std::string& target)
{
    const std::string folder = FolderOf(target);
    const std::string name = NameOf(target);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const std::string hidden = "." + name + ".tmp.";
    const std::string plain = name + ".tmp.";
    while (const dirent* entry = ::readdir(dir))
    {
        const std::string entryName = entry->d_name;
        std::string digits;
        if (entryName.rfind(hidden, 0) == 0)
            digits = entryName.substr(hidden.size());
        else if (entryName.rfind(plain, 0) == 0)
            digits = entryName.substr(plain.size());
        else
            continue;
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(digits.c_str()));
        const bool gone = pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
        if (pid == ::getpid() || gone)
        {
            // Only regular files: a folder or a link of that name is not ours.
            struct stat st;
            const std::string path = folder + entryName;
            if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                ::unlink(path.c_str());
        }
    }
    ::closedir(dir);
}

} // namespace

bool ResolveOutputFile(const std::string& destination, OutputFile& out, std::string& error)
{
    out = OutputFile{};
    if (destination.empty() || destination.back() == '/')
    {
        error = "\"" + destination + "\" is not a file name";
        return false;
    }
    // What the name leads to, links followed by the system (which also knows the special links
    // of /dev/stdout and /proc/self/fd): anything but a regular file is written in place or
    // refused.
    struct stat final;
    if (::stat(destination.c_str(), &final) == 0 && !S_ISREG(final.st_mode))
    {
        if (S_ISDIR(final.st_mode))
        {
            error = "\"" + destination + "\" is a folder";
            return false;
        }
        if (S_ISSOCK(final.st_mode))
        {
            error = "\"" + destination + "\" is neither a regular file nor a device";
            return false;
        }
        out.target = destination;
        out.direct = true;
        return true;
    }
    // A regular file, or a new one: the last target of the links is the file to replace.
    std::string path = destination;
    for (int links = 0;; ++links)
    {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
        {
            if (errno != ENOENT)
            {
                error = "cannot use \"" + destination + "\": " + std::strerror(errno);
                return false;
            }
            break; // a new file (or the missing target of a link)
        }
        if (S_ISLNK(st.st_mode))
        {
            if (links >= kMaxLinks)
            {
                error = "cannot use \"" + destination + "\": too many levels of symbolic links";
                return false;
            }
            char buffer[PATH_MAX];
            const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
            if (n < 0)
            {
                error = "cannot use \"" + destination + "\": " + std::strerror(errno);
                return false;
            }
            const std::string link(buffer, static_cast<std::size_t>(n));
            path = link[0] == '/' ? link : FolderOf(path) + link;
            continue;
        }
        if (S_ISDIR(st.st_mode))
        {
            error = "\"" + destination + "\" is a folder";
            return false;
        }
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISBLK(st.st_mode))
        {
            out.target = path;
            out.direct = true;
            return true;
        }
        if (!S_ISREG(st.st_mode))
        {
            error = "\"" + destination + "\" is neither a regular file nor a device";
            return false;
        }
        break;
    }
    out.target = path;
    out.temporary = FolderOf(path) + "." + NameOf(path) + ".tmp." + std::to_string(::getpid());
    return true;
}

int OpenOutputFile(const OutputFile& file, std::string& error)
{
    if (file.direct)
    {
        // A FIFO without a reader is refused instead of waited on.
        const int fd = ::open(file.target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
        {
            error = "cannot write \"" + file.target + "\": " +
                    (errno == ENXIO ? std::string("nothing reads it") : std::strerror(errno));
            return -1;
        }
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    }
    RemoveStaleTemporaries(file.target);
    const int fd = ::open(file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        error = "cannot create a file in the folder of \"" + file.target +
                "\": " + std::strerror(errno);
        return -1;
    }
    return fd;
}

bool CommitOutputFile(const OutputFile& file, std::string& error)
{
    if (file.direct)
        return true;
    if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0)
    {
        error = "cannot replace \"" + file.target + "\": " + std::strerror(errno);
        ::unlink(file.temporary.c_str());
        return false;
    }
    return true;
}

void DiscardOutputFile(const OutputFile& file) noexcept
{
    if (!file.direct && !file.temporary.empty())
        ::unlink(file.temporary.c_str());
}

bool SameExistingFile(const std::string& a, const std::string& b) noexcept
{
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace TW
