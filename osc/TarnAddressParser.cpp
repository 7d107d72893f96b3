#include "TarnAddressParser.h"

#include <cstring>

namespace TW
{

namespace
{

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// Takes the part from p up to the next '/' or the end; p is left on that '/' or the end.
std::string TakePart(const char*& p)
{
    const char* start = p;
    while (*p && *p != '/')
        ++p;
    return std::string(start, p);
}

// A whole part of decimal digits, small enough for an int.
bool ParseNumber(const std::string& part, int& out) noexcept
{
    if (part.empty() || part.size() > 9)
        return false;
    int n = 0;
    for (char c : part)
    {
        if (!IsDigit(c))
            return false;
        n = n * 10 + (c - '0');
    }
    out = n;
    return true;
}

// Moves past a required '/'.
bool TakeSlash(const char*& p) noexcept
{
    if (*p != '/')
        return false;
    ++p;
    return true;
}

} // namespace

bool ParseTarnAddress(const char* rest, std::vector<TarnAddressGroup>& groups)
{
    groups.clear();
    const char* p = rest;
    bool multi = false;
    if (*p == '+')
    {
        if (std::strncmp(p, "+multi1/", 8) != 0)
            return false;
        multi = true;
        p += 8;
    }
    for (;;)
    {
        TarnAddressGroup group;
        const std::string selector = TakePart(p);
        if (selector.empty())
            return false;
        if (IsDigit(selector[0]))
        {
            if (!ParseNumber(selector, group.instanceNumber))
                return false;
        }
        else
        {
            group.hasInstanceName = true;
            group.instanceName = selector;
            if (!TakeSlash(p))
                return false;
            const std::string number = TakePart(p);
            if (number == "*")
                group.instanceNumber = -1;
            else if (!ParseNumber(number, group.instanceNumber))
                return false;
        }
        if (!TakeSlash(p))
            return false;
        const std::string parameter = TakePart(p);
        if (parameter.empty())
            return false;
        if (IsDigit(parameter[0]))
        {
            if (!ParseNumber(parameter, group.parameterId))
                return false;
        }
        else
        {
            group.hasParameterName = true;
            group.parameterName = parameter;
        }
        if (multi)
        {
            int count = 0;
            if (!TakeSlash(p) || !ParseNumber(TakePart(p), count))
                return false;
            group.parameterOffset = count - 1;
        }
        groups.push_back(std::move(group));
        if (*p == '\0')
            return true;
        ++p; // the '/' before the next group
    }
}

} // namespace TW
