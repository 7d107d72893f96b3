#include "StateData.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace TW
{
namespace
{

constexpr std::size_t kHeaderBytes = 12; // scope, element, count
constexpr std::size_t kPairBytes = 8;    // identifier, value

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

std::uint32_t GetU32(const std::uint8_t* p) noexcept
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

} // namespace

std::vector<std::uint8_t> EncodeStateData(const std::vector<StateElementValues>& elements)
{
    std::vector<std::uint8_t> out;
    for (const StateElementValues& e : elements)
    {
        PutU32(out, static_cast<std::uint32_t>(e.scope));
        PutU32(out, e.element);
        PutU32(out, static_cast<std::uint32_t>(e.values.size()));
        for (const StateParameter& p : e.values)
        {
            PutU32(out, p.id);
            PutU32(out, std::bit_cast<std::uint32_t>(p.value));
        }
    }
    return out;
}

bool DecodeStateData(const std::uint8_t* data, std::size_t size,
                     std::vector<StateElementValues>& out, std::string& error)
{
    out.clear();
    if (size == 0)
    {
        error = "the \"data\" block is empty";
        return false;
    }
    std::size_t pos = 0;
    while (pos < size)
    {
        if (size - pos < kHeaderBytes)
        {
            error = "the \"data\" block is truncated: " + std::to_string(size - pos) +
                    " bytes left where an element header of 12 is expected";
            return false;
        }
        StateElementValues element;
        element.scope = static_cast<Scope>(GetU32(data + pos));
        element.element = GetU32(data + pos + 4);
        const std::uint32_t count = GetU32(data + pos + 8);
        pos += kHeaderBytes;
        // Compare in bytes left, so a huge count cannot overflow the arithmetic.
        if (count > (size - pos) / kPairBytes)
        {
            error = "the \"data\" block is truncated: element " + std::to_string(element.element) +
                    " announces " + std::to_string(count) + " parameters but only " +
                    std::to_string((size - pos) / kPairBytes) + " follow";
            return false;
        }
        element.values.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i, pos += kPairBytes)
        {
            const StateParameter p{GetU32(data + pos),
                                   std::bit_cast<float>(GetU32(data + pos + 4))};
            if (!std::isfinite(p.value))
            {
                error = "the \"data\" block holds a non-finite value for parameter " +
                        std::to_string(p.id);
                return false;
            }
            element.values.push_back(p);
        }
        out.push_back(std::move(element));
    }
    return true;
}

} // namespace TW
