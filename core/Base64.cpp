#include "Base64.h"

namespace Tarn
{
namespace
{

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) noexcept
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

std::string EncodeBase64(const std::uint8_t* data, std::size_t size, std::size_t lineLength,
                         const std::string& indent)
{
    std::string digits;
    digits.reserve((size + 2) / 3 * 4);
    for (std::size_t i = 0; i < size; i += 3)
    {
        const std::uint32_t b0 = data[i];
        const std::uint32_t b1 = i + 1 < size ? data[i + 1] : 0;
        const std::uint32_t b2 = i + 2 < size ? data[i + 2] : 0;
        const std::uint32_t word = (b0 << 16) | (b1 << 8) | b2;
        digits += kAlphabet[(word >> 18) & 63];
        digits += kAlphabet[(word >> 12) & 63];
        digits += i + 1 < size ? kAlphabet[(word >> 6) & 63] : '=';
        digits += i + 2 < size ? kAlphabet[word & 63] : '=';
    }
    if (lineLength == 0)
        return digits;
    std::string out;
    for (std::size_t pos = 0; pos < digits.size(); pos += lineLength)
        out += indent + digits.substr(pos, lineLength) + "\n";
    return out;
}

bool DecodeBase64(const char* text, std::size_t length, std::vector<std::uint8_t>& out,
                  std::string& error)
{
    out.clear();
    out.reserve(length / 4 * 3);
    std::uint32_t word = 0;
    int digitsInWord = 0; // 0..3 digits of the current group of four
    int padding = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        const char c = text[i];
        if (IsSpace(c))
            continue;
        if (c == '=')
        {
            // Padding completes a group of two or three digits and nothing may follow it.
            if (digitsInWord < 2 || digitsInWord + padding >= 4)
            {
                error = "misplaced padding in base64 data";
                return false;
            }
            ++padding;
            continue;
        }
        const int v = DigitValue(c);
        if (v < 0)
        {
            error = "invalid character in base64 data";
            return false;
        }
        if (padding)
        {
            error = "base64 data continues after its padding";
            return false;
        }
        word = (word << 6) | static_cast<std::uint32_t>(v);
        if (++digitsInWord == 4)
        {
            out.push_back(static_cast<std::uint8_t>(word >> 16));
            out.push_back(static_cast<std::uint8_t>(word >> 8));
            out.push_back(static_cast<std::uint8_t>(word));
            word = 0;
            digitsInWord = 0;
        }
    }
    if (digitsInWord == 0)
        return true;
    if (digitsInWord == 1 || digitsInWord + padding != 4)
    {
        error = "base64 data ends in the middle of a group";
        return false;
    }
    if (digitsInWord == 2)
        out.push_back(static_cast<std::uint8_t>(word >> 4));
    else
    {
        out.push_back(static_cast<std::uint8_t>(word >> 10));
        out.push_back(static_cast<std::uint8_t>(word >> 2));
    }
    return true;
}

} // namespace Tarn
