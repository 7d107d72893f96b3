// Status codes of the host interface and the exception that carries one.
#pragma once

#include <cstdint>
#include <exception>

namespace TW
{

using Status = std::int32_t;

// Numbered as the host's published error codes, so statuses read the same in every host.
constexpr Status kNoErr = 0;
constexpr Status kErrInvalidParameter = -10878;
constexpr Status kErrInvalidProperty = -10879;
constexpr Status kErrInvalidPropertyValue = -10851;
constexpr Status kErrFormatNotSupported = -10868;
constexpr Status kErrFailedInitialization = -10875;
constexpr Status kErrInvalidScope = -10866;
constexpr Status kErrInvalidElement = -10877;
constexpr Status kErrCannotDoInCurrentContext = -10863;
constexpr Status kErrResourceNotFound = -43;
constexpr Status kErrMemFull = -108;
constexpr Status kErrUnknown = -1;

// Failures inside the host base travel as this exception; entry points turn it into its status.
class HostError : public std::exception
{
public:
    explicit HostError(Status status) noexcept : m_status(status) {}
    Status GetStatus() const noexcept { return m_status; }
    const char* what() const noexcept override { return "host base error"; }

private:
    Status m_status;
};

// Runs f and turns any escaping exception into a status: a HostError gives its own status,
// out of memory gives kErrMemFull, anything else kErrUnknown. Main thread.
template <class F> Status CatchToStatus(F&& f) noexcept
{
    try
    {
        return f();
    }
    catch (const HostError& e)
    {
        return e.GetStatus();
    }
    catch (const std::bad_alloc&)
    {
        return kErrMemFull;
    }
    catch (...)
    {
        return kErrUnknown;
    }
}

} // namespace TW
