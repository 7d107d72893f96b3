// The host's side of a controller's edits (IComponentHandler): every begin, perform and end in
// the order they came, each marked with whether it came on the host's UI thread (the one that
// made the handler). Performed values wait for the processor's next block, into which the host's
// audio side takes them, as a host sends a controller's edits to its processor.
//
// Threads: the plug-in may call in on any thread; Edits and Clear on the UI thread; TakePending
// on the audio thread, which never waits for the others.
#pragma once

#include "Vst3Abi.h"
#include "Vst3ParamChanges.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace VellunaHostTest
{

class Vst3ComponentHandler
{
public:
    struct Edit
    {
        enum Kind
        {
            kBegin,
            kPerform,
            kEnd
        } kind;
        Vst3Abi::ParamID id;
        double value; // normalized; performs only
        bool onUiThread;
    };

    Vst3ComponentHandler();
    Vst3ComponentHandler(const Vst3ComponentHandler&) = delete;
    Vst3ComponentHandler& operator=(const Vst3ComponentHandler&) = delete;

    // The handler to pass to IEditController::setComponentHandler.
    void* Interface() { return this; }

    std::vector<Edit> Edits() const;
    void Clear();
    // restartComponent calls so far.
    int Restarts() const { return m_restarts.load(); }
    int References() const { return m_references.load(); }

    // Moves the performed values not yet sent into `changes` at sample 0, unless the UI side
    // holds them just now (then they wait for the next block).
    void TakePending(ParamChanges& changes);

private:
    void Record(Edit::Kind kind, Vst3Abi::ParamID id, double value);

    const Vst3Abi::IComponentHandlerVtbl* m_vtbl; // first: the object is its table pointer
    const std::thread::id m_uiThread;
    mutable std::mutex m_lock;
    std::vector<Edit> m_edits;
    std::vector<std::pair<Vst3Abi::ParamID, double>> m_pending;
    std::atomic<int> m_restarts{0};
    std::atomic<int> m_references{0};
};

} // namespace VellunaHostTest
