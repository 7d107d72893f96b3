#include "FileLoader.h"

#include "platform/Bundle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace TW
{
namespace
{

bool IsSafeRelativeName(const std::string& name)
{
    if (name.empty() || name[0] == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size())
    {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0 && end - start == 2)
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

FileLoader::FileLoader(const char* name, const char* bundle)
{
    if (!name || !IsSafeRelativeName(name))
        return;
    const std::string folder = bundle && *bundle ? std::string(bundle) : FindPluginBundle();
    if (folder.empty())
        return;
    const std::string path = folder + "/" + name;

    // Opened without blocking, so a FIFO or a device in a resource's place is refused below
    // instead of holding the caller (the host's UI thread for a skin) for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::size_t>(st.st_size) > kMaxResourceBytes)
    {
        ::close(fd);
        return;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<char[]> data(new char[size + 1]);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t n = ::read(fd, data.get() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // A file that shrank while we read it is not what the bundle holds: leave the loader empty.
    if (done != size)
        return;
    data[size] = '\0';
    m_data = std::move(data);
    m_size = size;
    m_path = path;
}

} // namespace TW
