// The host's application context (IHostApplication), handed to the plug-in's initialize: its
// name, and the objects the plug-in asks it to make, messages (IMessage, each with its
// IAttributeList) and attribute lists, with which the plug-in's controller and its view talk.
// It counts the objects alive and the references the plug-in holds on the context, so a test
// sees every one given back.
//
// Threads: any; the plug-in may make messages on its UI and its audio thread.
#pragma once

#include "Vst3Abi.h"

#include <atomic>
#include <string>

namespace VellunaHostTest
{

class Vst3HostApplication
{
public:
    explicit Vst3HostApplication(std::u16string name = u"Velluna VST3 test host");
    Vst3HostApplication(const Vst3HostApplication&) = delete;
    Vst3HostApplication& operator=(const Vst3HostApplication&) = delete;

    // The context to pass to IPluginBase::initialize.
    void* Context() { return this; }

    // Messages and attribute lists made and not yet released.
    int LiveObjects() const { return m_live.load(); }
    // Messages made so far.
    int MessagesMade() const { return m_messagesMade.load(); }
    // References the plug-in holds on the context.
    int References() const { return m_references.load(); }

private:
    struct AttributeList;
    struct Message;

    const Vst3Abi::IHostApplicationVtbl* m_vtbl; // first: the object is its table pointer
    std::atomic<int> m_live{0};
    std::atomic<int> m_messagesMade{0};
    std::atomic<int> m_references{0};
    const std::u16string m_name; // at most 127 characters
};

} // namespace VellunaHostTest
