// Our host base: the parameter store's rules, the notifying parameter call and its listeners,
// statuses from exceptions.
#include "platform/MusicDeviceBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

using namespace TW;

TEST(ParameterElement, CreateBeforeInitializeIgnoreAfter)
{
    ParameterElement store;
    float v = -1.0f;
    EXPECT_EQ(store.GetValue(5, v), kErrInvalidParameter);
    EXPECT_EQ(v, -1.0f);
    EXPECT_EQ(store.SetValue(5, 2.5f, /*allowCreate=*/false), kNoErr);
    EXPECT_FALSE(store.Has(5));
    EXPECT_EQ(store.SetValue(5, 2.5f, true), kNoErr);
    EXPECT_EQ(store.SetValue(5, 1e9f, false), kNoErr); // held: written, never clamped
    EXPECT_EQ(store.GetValue(5, v), kNoErr);
    EXPECT_EQ(v, 1e9f);
    EXPECT_EQ(store.SetValue(ParameterElement::kCapacity, 1.0f, true), kErrInvalidParameter);
    EXPECT_EQ(store.Value(ParameterElement::kCapacity + 10), 0.0f);
    store.SetValue(2, 0.0f, true);
    EXPECT_EQ(store.GetParameterList(), (std::vector<std::uint32_t>{2, 5}));
    EXPECT_EQ(store.GetNumberOfParameters(), 2u);
}

namespace
{

class Unit : public MusicDeviceBase
{
public:
    Unit() : MusicDeviceBase(0, 1, 0) {}
    Status Initialize() override
    {
        if (failInit)
            throw HostError(kErrFailedInitialization);
        return kNoErr;
    }
    Status SetParameter(ParameterID id, Scope scope, Element element, float value,
                        std::uint32_t offset) override
    {
        seen.push_back(id);
        return MusicDeviceBase::SetParameter(id, scope, element, value, offset);
    }
    bool failInit = false;
    std::vector<ParameterID> seen;
};

class Recorder : public ParameterListener
{
public:
    void ParameterChanged(void* sender, const ParameterAddress& a, float value) override
    {
        changes.push_back({a.id, value});
        lastSender = sender;
    }
    std::vector<std::pair<ParameterID, float>> changes;
    void* lastSender = nullptr;
};

} // namespace

TEST(MusicDeviceBase, NotifyingParameterCallReachesEveryListenerButTheSender)
{
    Unit unit;
    Recorder a, b;
    ASSERT_TRUE(unit.AddParameterListener(&a));
    ASSERT_TRUE(unit.AddParameterListener(&b));
    int token = 0;
    EXPECT_EQ(AUParameterSet(&a, &token, {&unit, 7, Scope::Global, 0}, 0.25f, 0), kNoErr);
    EXPECT_EQ(unit.seen, (std::vector<ParameterID>{7}));
    EXPECT_TRUE(a.changes.empty());
    ASSERT_EQ(b.changes.size(), 1u);
    EXPECT_EQ(b.changes[0], (std::pair<ParameterID, float>{7, 0.25f}));
    EXPECT_EQ(b.lastSender, &token);

    // A failed set notifies nobody; a removed listener hears nothing more.
    EXPECT_EQ(AUParameterSet(nullptr, nullptr, {&unit, 7, Scope::Output, 0}, 1.0f, 0),
              kErrInvalidScope);
    EXPECT_EQ(b.changes.size(), 1u);
    unit.RemoveParameterListener(&b);
    AUParameterSet(nullptr, nullptr, {&unit, 8, Scope::Global, 0}, 1.0f, 0);
    EXPECT_EQ(b.changes.size(), 1u);
    EXPECT_EQ(a.changes.size(), 1u);

    // The listener table is fixed-size; a full table refuses more.
    std::vector<Recorder> many(MusicDeviceBase::kMaxListeners);
    int added = 0;
    for (auto& r : many)
        added += unit.AddParameterListener(&r);
    EXPECT_EQ(added, static_cast<int>(MusicDeviceBase::kMaxListeners) - 1);
}

TEST(MusicDeviceBase, EntryPointsTurnExceptionsIntoStatuses)
{
    Unit unit;
    unit.failInit = true;
    EXPECT_EQ(unit.DoInitialize(), kErrFailedInitialization);
    EXPECT_FALSE(unit.IsInitialized());
    unit.failInit = false;
    EXPECT_EQ(unit.DoInitialize(), kNoErr);
    EXPECT_TRUE(unit.IsInitialized());

    EXPECT_EQ(CatchToStatus([]() -> Status { throw std::bad_alloc(); }), kErrMemFull);
    EXPECT_EQ(CatchToStatus([]() -> Status { throw std::runtime_error("x"); }), kErrUnknown);
    EXPECT_EQ(CatchToStatus([]() -> Status { throw HostError(-43); }), -43);

    double rate = 96000.0;
    EXPECT_EQ(unit.DispatchSetProperty(kPropertySampleRate, Scope::Output, 0, &rate, sizeof rate),
              kNoErr);
    EXPECT_EQ(unit.GetSampleRate(), 96000.0);
    rate = std::nan("");
    EXPECT_EQ(unit.DispatchSetProperty(kPropertySampleRate, Scope::Output, 0, &rate, sizeof rate),
              kErrInvalidPropertyValue);
    EXPECT_EQ(unit.GetSampleRate(), 96000.0);
    std::uint32_t small = 0;
    std::uint32_t size = 2;
    EXPECT_EQ(unit.DispatchGetProperty(kPropertyMaximumFramesPerSlice, Scope::Global, 0, &small,
                                       &size),
              kErrInvalidPropertyValue);
}
