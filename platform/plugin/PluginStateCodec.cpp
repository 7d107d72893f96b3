#include "PluginStateCodec.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace TW
{
namespace
{

// First line of every saved state; the number is the layout's version.
constexpr const char* kHeader = "Velluna state 1";
// Saved states are small (a few kilobytes); anything far larger is not ours.
constexpr std::size_t kMaxStateBytes = 1u << 20;

std::string Escape(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s)
    {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

bool Unescape(const std::string& s, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i)
    {
        if (s[i] != '\\')
        {
            out += s[i];
            continue;
        }
        if (++i == s.size())
            return false;
        switch (s[i])
        {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

int HexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Encoder
{
    std::string& out;

    void operator()(std::int64_t v) { out += "i\t" + std::to_string(v); }
    void operator()(double v)
    {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        out += "r\t";
        out += buf;
    }
    void operator()(const std::string& v) { out += "s\t" + Escape(v); }
    void operator()(const std::vector<std::uint8_t>& v)
    {
        static const char kHex[] = "0123456789abcdef";
        out += "b\t";
        for (std::uint8_t b : v)
        {
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
};

bool DecodeValue(char type, const std::string& text, ClassInfoValue& value)
{
    switch (type)
    {
    case 'i':
    {
        if (text.empty())
            return false;
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(text.c_str(), &end, 10);
        if (errno != 0 || *end != '\0')
            return false;
        value = static_cast<std::int64_t>(v);
        return true;
    }
    case 'r':
    {
        if (text.empty())
            return false;
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (*end != '\0')
            return false;
        value = v;
        return true;
    }
    case 's':
    {
        std::string s;
        if (!Unescape(text, s))
            return false;
        value = std::move(s);
        return true;
    }
    case 'b':
    {
        if (text.size() % 2 != 0)
            return false;
        std::vector<std::uint8_t> bytes(text.size() / 2);
        for (std::size_t i = 0; i < bytes.size(); ++i)
        {
            const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
        }
        value = std::move(bytes);
        return true;
    }
    default:
        return false;
    }
}

} // namespace

std::string EncodePluginState(const ClassInfoDictionary& state)
{
    std::string out = kHeader;
    out += '\n';
    for (const auto& [key, value] : state)
    {
        out += Escape(key);
        out += '\t';
        std::visit(Encoder{out}, value);
        out += '\n';
    }
    return out;
}

bool DecodePluginState(const std::string& text, ClassInfoDictionary& out, std::string& error)
{
    if (text.size() > kMaxStateBytes)
    {
        error = "saved state is too large";
        return false;
    }
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader)
    {
        error = "saved state has an unknown format";
        return false;
    }
    ClassInfoDictionary result;
    int lineNumber = 1;
    while (std::getline(in, line))
    {
        ++lineNumber;
        if (line.empty())
            continue;
        const auto tab1 = line.find('\t');
        const auto tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        std::string key;
        ClassInfoValue value;
        if (tab2 == std::string::npos || tab2 != tab1 + 2 || !Unescape(line.substr(0, tab1), key) ||
            !DecodeValue(line[tab1 + 1], line.substr(tab2 + 1), value))
        {
            error = "saved state is damaged at line " + std::to_string(lineNumber);
            return false;
        }
        result[key] = std::move(value);
    }
    out = std::move(result);
    return true;
}

} // namespace TW
