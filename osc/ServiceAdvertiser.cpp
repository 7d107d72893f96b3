#include "ServiceAdvertiser.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <atomic>
#include <cstdio>

namespace TW
{

namespace
{

// The "no daemon" line is said once per process, however many servers listen.
std::atomic<bool> g_saidNoDaemon{false};

void SayNoDaemon(const char* why)
{
    if (!g_saidNoDaemon.exchange(true))
    {
        std::printf("OSC: the service is not advertised (%s); the server works without it\n", why);
        std::fflush(stdout);
    }
}

// Holds the poll lock for the advertiser's calls from other threads.
class PollLock
{
public:
    explicit PollLock(AvahiThreadedPoll* poll) : m_poll(poll)
    {
        if (m_poll)
            avahi_threaded_poll_lock(m_poll);
    }
    ~PollLock()
    {
        if (m_poll)
            avahi_threaded_poll_unlock(m_poll);
    }
    PollLock(const PollLock&) = delete;
    PollLock& operator=(const PollLock&) = delete;

private:
    AvahiThreadedPoll* m_poll;
};

} // namespace

struct ServiceAdvertiser::Callbacks
{
    static void Client(AvahiClient* client, AvahiClientState state, void* self)
    {
        auto* advertiser = static_cast<ServiceAdvertiser*>(self);
        switch (state)
        {
        case AVAHI_CLIENT_S_RUNNING:
            advertiser->Register(client);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The host name is being registered again: our records are re-added once the
            // client runs again.
            advertiser->Withdraw();
            break;
        case AVAHI_CLIENT_CONNECTING:
            SayNoDaemon("no Avahi daemon is running");
            break;
        case AVAHI_CLIENT_FAILURE:
            if (avahi_client_errno(client) == AVAHI_ERR_DISCONNECTED)
            {
                // The daemon went away: wait for the next one with a new client.
                advertiser->m_registered = false;
                advertiser->m_group = nullptr; // freed with its client
                avahi_client_free(client);
                advertiser->m_client = nullptr;
                advertiser->StartClient();
            }
            else
                SayNoDaemon(avahi_strerror(avahi_client_errno(client)));
            break;
        }
    }

    static void Group(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self)
    {
        auto* advertiser = static_cast<ServiceAdvertiser*>(self);
        if (state != AVAHI_ENTRY_GROUP_COLLISION)
            return;
        // Another host on the network has this name: move on to the next alternative.
        advertiser->TakeAlternativeName();
        avahi_entry_group_reset(group);
        advertiser->m_registered = false;
        advertiser->Register(avahi_entry_group_get_client(group));
    }
};

ServiceAdvertiser::~ServiceAdvertiser()
{
    if (!m_poll)
        return;
    // Once the poll thread has stopped nothing calls back, and the client can be freed here.
    avahi_threaded_poll_stop(m_poll);
    if (m_client)
        avahi_client_free(m_client); // frees the group too
    avahi_threaded_poll_free(m_poll);
}

bool ServiceAdvertiser::StartClient()
{
    // Without a daemon the client waits in the connecting state and registers once one appears.
    // The state callback may already run inside avahi_client_new, so m_client is set from the
    // callback's argument there, not from here.
    int error = 0;
    AvahiClient* client = avahi_client_new(avahi_threaded_poll_get(m_poll), AVAHI_CLIENT_NO_FAIL,
                                           &Callbacks::Client, this, &error);
    if (!client)
    {
        SayNoDaemon(avahi_strerror(error));
        return false;
    }
    m_client = client;
    return true;
}

void ServiceAdvertiser::Publish(const std::string& name, int port)
{
    if (!m_poll)
    {
        m_poll = avahi_threaded_poll_new();
        if (!m_poll)
            return SayNoDaemon("cannot start the advertiser");
        m_wanted = true;
        m_name = name;
        m_port = port;
        if (StartClient())
            avahi_threaded_poll_start(m_poll);
        return;
    }
    PollLock lock(m_poll);
    Withdraw();
    m_wanted = true;
    m_name = name;
    m_port = port;
    if (m_client && avahi_client_get_state(m_client) == AVAHI_CLIENT_S_RUNNING)
        Register(m_client);
}

void ServiceAdvertiser::Unpublish()
{
    PollLock lock(m_poll);
    m_wanted = false;
    Withdraw();
}

std::string ServiceAdvertiser::RegisteredName() const
{
    PollLock lock(m_poll);
    return m_registered ? m_name : std::string();
}

void ServiceAdvertiser::Withdraw()
{
    m_registered = false;
    if (m_group)
        avahi_entry_group_reset(m_group);
}

void ServiceAdvertiser::TakeAlternativeName()
{
    char* alternative = avahi_alternative_service_name(m_name.c_str());
    if (alternative)
        m_name = alternative;
    avahi_free(alternative);
}

void ServiceAdvertiser::Register(AvahiClient* client)
{
    if (!m_wanted)
        return;
    if (!m_group)
    {
        m_group = avahi_entry_group_new(client, &Callbacks::Group, this);
        if (!m_group)
            return;
    }
    for (int attempt = 0; attempt < 16; ++attempt)
    {
        const int result = avahi_entry_group_add_service(
            m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
            m_name.c_str(), kServiceType, nullptr, nullptr, static_cast<std::uint16_t>(m_port),
            nullptr);
        if (result == AVAHI_ERR_COLLISION)
        {
            // A local service has the name already: take the next alternative.
            TakeAlternativeName();
            continue;
        }
        if (result < 0 || avahi_entry_group_commit(m_group) < 0)
        {
            // Advertisement failures are silent: the server listens regardless.
            avahi_entry_group_reset(m_group);
            return;
        }
        m_registered = true;
        return;
    }
}

} // namespace TW
