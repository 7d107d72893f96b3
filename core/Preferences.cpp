#include "Preferences.h"

#include "OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <variant>

namespace Tarn
{
namespace
{

constexpr std::size_t kMaxPrefStringBytes = 1023;
constexpr std::size_t kMaxFileBytes = 1u << 20;

using PrefValue = std::variant<long long, std::string>;
using PrefMap = std::map<std::string, PrefValue>;

enum class ReadResult
{
    Ok,
    Missing,
    Unreadable,
    Corrupt,
};

std::atomic<bool> g_reported{false};

void ReportOnce(const std::string& text)
{
    if (!g_reported.exchange(true))
        std::fprintf(stderr, "Velluna: %s; using the default preferences\n", text.c_str());
}

std::string Escape(const std::string& text, bool isKey)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        switch (c)
        {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '=':
            out += isKey ? "\\=" : "=";
            break;
        case '#':
            // A key may not start a comment line.
            out += isKey && i == 0 ? "\\#" : "#";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Unescapes text[pos..] up to an unescaped stop character (not consumed). False on a bad escape.
bool Unescape(const std::string& text, std::size_t& pos, char stop, std::string& out)
{
    out.clear();
    while (pos < text.size() && text[pos] != stop)
    {
        char c = text[pos++];
        if (c == '\\')
        {
            if (pos >= text.size())
                return false;
            const char e = text[pos++];
            switch (e)
            {
            case 'n':
                c = '\n';
                break;
            case 'r':
                c = '\r';
                break;
            case 't':
                c = '\t';
                break;
            case '\\':
            case '"':
            case '=':
            case '#':
                c = e;
                break;
            default:
                return false;
            }
        }
        out += c;
    }
    return true;
}

bool ParseLine(const std::string& line, std::string& key, PrefValue& value)
{
    std::size_t pos = 0;
    if (!Unescape(line, pos, '=', key) || pos >= line.size() || key.empty())
        return false;
    ++pos; // '='
    if (pos < line.size() && line[pos] == '"')
    {
        ++pos;
        std::string text;
        if (!Unescape(line, pos, '"', text) || pos + 1 != line.size())
            return false;
        value = std::move(text);
        return true;
    }
    const std::string number = line.substr(pos);
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos ||
        number.find('-', 1) != std::string::npos || number == "-")
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(number.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0')
        return false;
    value = v;
    return true;
}

ReadResult ReadPrefs(const std::string& path, PrefMap& out, std::string& reason)
{
    out.clear();
    if (path.empty())
        return ReadResult::Missing;
    // Opened without blocking and checked on the descriptor: a FIFO or a device in its place is
    // refused instead of waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
    {
        if (errno == ENOENT)
            return ReadResult::Missing;
        reason = "cannot read the preferences file \"" + path + "\": " + std::strerror(errno);
        return ReadResult::Unreadable;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        ::close(fd);
        reason = "the preferences file \"" + path + "\" is not a regular file";
        return ReadResult::Unreadable;
    }
    std::string text;
    char chunk[8192];
    for (;;)
    {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            reason = "cannot read the preferences file \"" + path + "\": " + std::strerror(errno);
            ::close(fd);
            return ReadResult::Unreadable;
        }
        if (n == 0)
            break;
        text.append(chunk, static_cast<std::size_t>(n));
        if (text.size() > kMaxFileBytes)
            break;
    }
    ::close(fd);
    if (text.size() > kMaxFileBytes || text.find('\0') != std::string::npos)
    {
        reason = "the preferences file \"" + path + "\" is not a text file of preferences";
        return ReadResult::Corrupt;
    }
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line))
    {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::string key;
        PrefValue value;
        if (!ParseLine(line, key, value))
        {
            reason = "the preferences file \"" + path + "\" is corrupt at line " +
                     std::to_string(number);
            out.clear();
            return ReadResult::Corrupt;
        }
        out[key] = std::move(value);
    }
    return ReadResult::Ok;
}

// The values to read: defaults (an empty map) when the file is missing, unreadable or corrupt.
PrefMap Load()
{
    PrefMap prefs;
    std::string reason;
    const ReadResult result = ReadPrefs(GetPreferencesPath(), prefs, reason);
    if (result == ReadResult::Unreadable || result == ReadResult::Corrupt)
    {
        ReportOnce(reason);
        prefs.clear();
    }
    return prefs;
}

bool MakeFolders(const std::string& folder)
{
    for (std::size_t pos = 1; pos <= folder.size(); ++pos)
    {
        if (pos != folder.size() && folder[pos] != '/')
            continue;
        const std::string prefix = folder.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool WriteWhole(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size())
    {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Serialize(const PrefMap& prefs)
{
    std::string text = "# Velluna preferences: key=value, integers or \"strings\"\n";
    for (const auto& [key, value] : prefs)
    {
        text += Escape(key, true) + "=";
        if (const auto* n = std::get_if<long long>(&value))
            text += std::to_string(*n);
        else
            text += "\"" + Escape(std::get<std::string>(value), false) + "\"";
        text += "\n";
    }
    return text;
}

bool Store(const char* key, PrefValue value)
{
    const std::string path = GetPreferencesPath();
    if (path.empty() || !key || !*key)
    {
        std::fprintf(stderr, "Velluna: cannot store preference: no preferences folder\n");
        return false;
    }
    const std::string folder = path.substr(0, path.rfind('/'));
    auto fail = [&](const std::string& what)
    {
        std::fprintf(stderr, "Velluna: cannot store preference \"%s\": %s: %s\n", key, what.c_str(),
                     std::strerror(errno));
        return false;
    };
    if (!MakeFolders(folder))
        return fail("cannot create \"" + folder + "\"");

    const std::string lockPath = path + ".lock";
    const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0)
        return fail("cannot open \"" + lockPath + "\"");
    while (::flock(lockFd, LOCK_EX) != 0)
        if (errno != EINTR)
        {
            ::close(lockFd);
            return fail("cannot lock \"" + lockPath + "\"");
        }

    // Re-read under the lock: another process may have written since our last look.
    PrefMap prefs;
    std::string reason;
    const ReadResult result = ReadPrefs(path, prefs, reason);
    bool ok = true;
    if (result == ReadResult::Unreadable)
    {
        // Writing now would drop every key that we cannot see.
        std::fprintf(stderr, "Velluna: not storing preference \"%s\": %s\n", key, reason.c_str());
        ok = false;
    }
    if (ok && result == ReadResult::Corrupt)
    {
        ReportOnce(reason);
        std::rename(path.c_str(), (path + ".corrupt").c_str());
        prefs.clear();
    }
    if (ok)
    {
        prefs[key] = std::move(value);
        TW::OutputFile output;
        std::string error;
        int fd = -1;
        if (!TW::ResolveOutputFile(path, output, error) || output.direct ||
            (fd = TW::OpenOutputFile(output, error)) < 0)
        {
            std::fprintf(stderr, "Velluna: not storing preference \"%s\": %s\n", key,
                         output.direct ? ("\"" + path + "\" is not a regular file").c_str()
                                       : error.c_str());
            ok = false;
        }
        else
        {
            ::fchmod(fd, 0644);
            const bool written = WriteWhole(fd, Serialize(prefs)) && ::fsync(fd) == 0;
            ok = (::close(fd) == 0) && written;
            if (!ok)
            {
                fail("cannot write \"" + output.temporary + "\"");
                TW::DiscardOutputFile(output);
            }
            else if (!TW::CommitOutputFile(output, error))
                ok = fail("cannot replace \"" + path + "\"");
        }
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return ok;
}

} // namespace

std::string GetPreferencesPath()
{
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home == '/')
        base = std::string(home) + "/.config";
    if (base.empty())
        return {};
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Tarnwick/Velluna.conf";
}

int GetPrefInt(const char* key, int def)
{
    if (!key)
        return def;
    const PrefMap prefs = Load();
    const auto it = prefs.find(key);
    if (it == prefs.end())
        return def;
    const auto* n = std::get_if<long long>(&it->second);
    if (!n || *n < INT_MIN || *n > INT_MAX)
        return def;
    return static_cast<int>(*n);
}

void GetPrefString(const char* key, std::string& out)
{
    if (!key)
        return;
    const PrefMap prefs = Load();
    const auto it = prefs.find(key);
    if (it == prefs.end())
        return;
    const auto* text = std::get_if<std::string>(&it->second);
    if (!text)
        return;
    std::size_t size = std::min(text->size(), kMaxPrefStringBytes);
    // Back off over UTF-8 continuation bytes so a character is never cut in two.
    if (size < text->size())
        while (size > 0 && (static_cast<unsigned char>((*text)[size]) & 0xC0) == 0x80)
            --size;
    out.assign(*text, 0, size);
}

bool SetPrefInt(const char* key, int value)
{
    return Store(key, static_cast<long long>(value));
}

bool SetPrefString(const char* key, const std::string& value)
{
    return Store(key, value);
}

} // namespace Tarn
