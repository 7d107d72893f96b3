// Advertises one OSC service on the local network by DNS service discovery (type "_osc._udp"),
// through the Avahi daemon. Without a daemon nothing is advertised and one line says so; if the
// daemon appears later, the service is published then.
#pragma once

#include <string>

struct AvahiThreadedPoll;
struct AvahiClient;
struct AvahiEntryGroup;

namespace TW
{

class ServiceAdvertiser
{
public:
    static constexpr const char* kServiceType = "_osc._udp";

    ServiceAdvertiser() = default;
    // Withdraws the service and stops the advertiser's own thread. Main thread.
    ~ServiceAdvertiser();

    ServiceAdvertiser(const ServiceAdvertiser&) = delete;
    ServiceAdvertiser& operator=(const ServiceAdvertiser&) = delete;

    // Advertises name on port, replacing an earlier advertisement. When the name is taken on the
    // network, Avahi's next alternative ("name #2") is used. The OSC receive task.
    void Publish(const std::string& name, int port);
    // Withdraws the advertisement, if any. The OSC receive task.
    void Unpublish();

    // The name under which the service is registered now (it may have been altered after a
    // collision); empty while none is registered. Any thread.
    std::string RegisteredName() const;

private:
    struct Callbacks; // Avahi's callbacks, on the advertiser's own thread
    friend struct Callbacks;

    // With the poll lock held (or before the poll thread runs).
    bool StartClient();
    void Register(AvahiClient* client);
    void Withdraw();
    void TakeAlternativeName();

    AvahiThreadedPoll* m_poll = nullptr;
    AvahiClient* m_client = nullptr;
    AvahiEntryGroup* m_group = nullptr;
    bool m_wanted = false;
    bool m_registered = false;
    std::string m_name; // the name asked for, or its latest alternative
    int m_port = 0;
};

} // namespace TW
