#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace TW
{

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string& data,
                     std::string& error)
{
    data.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
    {
        error = "cannot open \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        ::close(fd);
        error = "\"" + path + "\" is not a regular file";
        return false;
    }
    if (st.st_size < 0 || static_cast<std::size_t>(st.st_size) > maxBytes)
    {
        ::close(fd);
        error = "\"" + path + "\" is larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    for (;;)
    {
        if (done == data.size())
        {
            // A file that grew since fstat is read to its end, within the limit.
            if (data.size() >= maxBytes)
            {
                char more = 0;
                ssize_t extra;
                do
                    extra = ::read(fd, &more, 1);
                while (extra < 0 && errno == EINTR);
                if (extra > 0)
                {
                    ::close(fd);
                    data.clear();
                    error =
                        "\"" + path + "\" is larger than " + std::to_string(maxBytes) + " bytes";
                    return false;
                }
                break;
            }
            data.resize(data.size() + (data.size() < 4096 ? 4096 : data.size()));
            if (data.size() > maxBytes)
                data.resize(maxBytes);
        }
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            error = "cannot read \"" + path + "\": " + std::strerror(errno);
            ::close(fd);
            data.clear();
            return false;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(done);
    return true;
}

} // namespace TW
