#include "OSCMessageLayout.h"

#include <cstdint>
#include <cstring>

namespace TW
{

namespace
{

// Moves p past a null-terminated string padded with zeros to a multiple of 4 bytes; false when
// the string or its padding runs past end or the padding is not zeros.
bool SkipPaddedString(const char*& p, const char* end) noexcept
{
    const void* nul = std::memchr(p, '\0', static_cast<std::size_t>(end - p));
    if (!nul)
        return false;
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(nul) - p) + 1;
    const std::size_t padded = (length + 3) & ~std::size_t{3};
    if (padded > static_cast<std::size_t>(end - p))
        return false;
    // The padding must be zeros: oscpack finds a string's end by the last byte of each 4-byte
    // word, and with zero padding that is the same end as the first null byte.
    for (std::size_t i = length; i < padded; ++i)
        if (p[i] != '\0')
            return false;
    p += padded;
    return true;
}

std::uint32_t BigEndian32(const char* p) noexcept
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

constexpr int kMaxBundleDepth = 64;

bool CheckBundleLayout(const char* data, std::size_t size, int depth, const char*& why) noexcept
{
    if (depth > kMaxBundleDepth)
    {
        why = "bundles nested too deeply";
        return false;
    }
    // "#bundle", its null byte and the 8-byte time tag.
    if (size < 16 || size % 4 != 0 || std::memcmp(data, "#bundle", 8) != 0)
    {
        why = "malformed bundle";
        return false;
    }
    for (std::size_t at = 16; at < size;)
    {
        if (size - at < 4)
        {
            why = "malformed bundle element size";
            return false;
        }
        // A negative size would send a reader round the same element for ever.
        const std::uint32_t length = BigEndian32(data + at);
        if (length == 0 || length % 4 != 0 || length > size - at - 4)
        {
            why = "malformed bundle element size";
            return false;
        }
        at += 4;
        if (!CheckOSCPacketLayoutAt(data + at, length, depth + 1, why))
            return false;
        at += length;
    }
    return true;
}

} // namespace

bool CheckOSCPacketLayoutAt(const char* data, std::size_t size, int depth,
                            const char*& why) noexcept
{
    if (size > 0 && data[0] == '#')
        return CheckBundleLayout(data, size, depth, why);
    return CheckOSCMessageLayout(data, size, why);
}

bool CheckOSCPacketLayout(const char* data, std::size_t size, const char*& why) noexcept
{
    return CheckOSCPacketLayoutAt(data, size, 0, why);
}

bool CheckOSCMessageLayout(const char* data, std::size_t size, const char*& why) noexcept
{
    const char* p = data;
    const char* const end = data + size;
    if (size == 0 || size % 4 != 0 || *p != '/')
    {
        why = "malformed message";
        return false;
    }
    if (!SkipPaddedString(p, end))
    {
        why = "unterminated address pattern";
        return false;
    }
    if (p == end || *p != ',')
        return true; // no type tags: no arguments
    const char* tags = p + 1;
    if (!SkipPaddedString(p, end))
    {
        why = "unterminated type tags";
        return false;
    }
    for (const char* tag = tags; *tag; ++tag)
    {
        std::size_t bytes = 0;
        switch (*tag)
        {
        case 'T':
        case 'F':
        case 'N':
        case 'I':
        case '[':
        case ']':
            break;
        case 'i':
        case 'f':
        case 'c':
        case 'r':
        case 'm':
            bytes = 4;
            break;
        case 'h':
        case 't':
        case 'd':
            bytes = 8;
            break;
        case 's':
        case 'S':
            if (!SkipPaddedString(p, end))
            {
                why = "string argument exceeds the message";
                return false;
            }
            continue;
        case 'b':
        {
            if (end - p < 4)
            {
                why = "blob argument exceeds the message";
                return false;
            }
            const std::uint32_t length = BigEndian32(p);
            // Sizes that a signed 32-bit reader would see as negative are refused too.
            if (length > 0x7FFFFFF0u || ((std::size_t{length} + 3) & ~std::size_t{3}) >
                                            static_cast<std::size_t>(end - p - 4))
            {
                why = "blob argument exceeds the message";
                return false;
            }
            bytes = 4 + ((std::size_t{length} + 3) & ~std::size_t{3});
            break;
        }
        default:
            why = "unknown argument type tag";
            return false;
        }
        if (bytes > static_cast<std::size_t>(end - p))
        {
            why = "arguments exceed the message";
            return false;
        }
        p += bytes;
    }
    return true;
}

} // namespace TW
