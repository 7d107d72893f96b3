// The instance tracker: global and local numbers, Lock/Unlock, the by-OSC-index operations and
// "/tarn/" messages.
#include "support/LuaTestSupport.h"
#include "support/TestInstance.h"

#include "scripting/TarnInstanceTracker.h"

#include <gtest/gtest.h>

#include <future>

using namespace TarnTest;

namespace
{

constexpr std::uint32_t kCutoff = 139;
constexpr std::uint32_t kOSCPortOffset = 180;

std::unique_ptr<TestInstance> Open()
{
    // Not initialized: no OSC task, so "OSC Port Offset" opens no socket.
    return std::make_unique<TestInstance>(48000.0, false);
}

std::pair<std::uint32_t, std::uint32_t> UIDs(TestInstance& instance)
{
    std::uint32_t luid = 0, guid = 0;
    TarnAdditiveSynth* locked = TarnInstanceTracker::Lock(instance.get());
    EXPECT_EQ(locked, instance.get());
    TarnInstanceTracker::GetUIDs(locked, &luid, &guid);
    TarnInstanceTracker::Unlock(locked);
    return {luid, guid};
}

float Cutoff(TestInstance& instance)
{
    return instance->Globals().Value(kCutoff);
}

TEST(TarnInstanceTrackerTest, GlobalNumbersTakeTheSmallestFree)
{
    auto a = Open();
    auto b = Open();
    auto c = Open();
    EXPECT_EQ(TarnInstanceTracker::GetGUID(a->get()), 1u);
    EXPECT_EQ(TarnInstanceTracker::GetGUID(b->get()), 2u);
    EXPECT_EQ(TarnInstanceTracker::GetGUID(c->get()), 3u);
    b.reset();
    auto d = Open();
    EXPECT_EQ(TarnInstanceTracker::GetGUID(d->get()), 2u);
    auto e = Open();
    EXPECT_EQ(TarnInstanceTracker::GetGUID(e->get()), 4u);
    EXPECT_EQ(TarnInstanceTracker::GetInstances(),
              (std::vector<TarnAdditiveSynth*>{a->get(), c->get(), d->get(), e->get()}));
}

TEST(TarnInstanceTrackerTest, LocalNumbersAreGivenInOrderOfFirstRequest)
{
    auto a = Open();
    auto b = Open();
    auto c = Open();
    EXPECT_EQ(UIDs(*c), std::make_pair(1u, 3u));
    EXPECT_EQ(UIDs(*a), std::make_pair(2u, 1u));
    EXPECT_EQ(UIDs(*c), std::make_pair(1u, 3u)); // kept
    c.reset();
    EXPECT_EQ(UIDs(*b), std::make_pair(1u, 2u)); // 1 is free again
}

TEST(TarnInstanceTrackerTest, LockAnswersOnlyRegisteredInstances)
{
    auto a = Open();
    TW::MusicDeviceBase* stranger = reinterpret_cast<TW::MusicDeviceBase*>(&a);
    EXPECT_EQ(TarnInstanceTracker::Lock(stranger), nullptr);
    std::uint32_t luid = 77, guid = 88;
    TarnInstanceTracker::GetUIDs(nullptr, &luid, &guid);
    EXPECT_EQ(luid, 77u);
    EXPECT_EQ(guid, 88u);
    // The failed Lock released the lock: another thread can take it.
    auto other = std::async(std::launch::async, [&] { return UIDs(*a); });
    EXPECT_EQ(other.get(), std::make_pair(1u, 1u));
}

TEST(TarnInstanceTrackerTest, MessagesAddressInstancesByNameOrNumber)
{
    auto a = Open();
    auto b = Open();
    auto c = Open();
    UIDs(*a); // LUID 1
    UIDs(*c); // LUID 2
    TarnOSCMessage m;
    m.instanceName = "Velluna";
    m.instanceNumber = -1;
    m.parameterNumber = kCutoff;
    TarnInstanceTracker::HandleTARNMessage(m, 500.0f);
    EXPECT_EQ(Cutoff(*a), 500.0f);
    EXPECT_EQ(Cutoff(*b), 500.0f);
    EXPECT_EQ(Cutoff(*c), 500.0f);

    m.instanceNumber = 2;
    TarnInstanceTracker::HandleTARNMessage(m, 600.0f);
    EXPECT_EQ(Cutoff(*a), 500.0f);
    EXPECT_EQ(Cutoff(*b), 500.0f);
    EXPECT_EQ(Cutoff(*c), 600.0f);

    m.instanceNumber = 3; // assigns b its LUID on the way
    TarnInstanceTracker::HandleTARNMessage(m, 700.0f);
    EXPECT_EQ(Cutoff(*b), 700.0f);

    m.instanceName = "Other";
    m.instanceNumber = -1;
    TarnInstanceTracker::HandleTARNMessage(m, 800.0f);
    EXPECT_EQ(Cutoff(*a), 500.0f);

    // By GUID, with an offset from the parameter number.
    m.instanceName = nullptr;
    m.instanceNumber = 1;
    m.parameterNumber = kCutoff - 10;
    m.parameterOffset = 10;
    TarnInstanceTracker::HandleTARNMessage(m, 900.0f);
    EXPECT_EQ(Cutoff(*a), 900.0f);
    EXPECT_EQ(Cutoff(*b), 700.0f);
}

TEST(TarnInstanceTrackerTest, MessagesOutsideTheParameterRangeOrByNameSetNothing)
{
    auto a = Open();
    const float before = Cutoff(*a);
    struct Counter : TW::ParameterListener
    {
        int calls = 0;
        void ParameterChanged(void*, const TW::ParameterAddress&, float) override { ++calls; }
    } listener;
    ASSERT_TRUE((*a)->AddParameterListener(&listener));
    TarnOSCMessage m;
    m.instanceName = "Velluna";
    m.instanceNumber = -1;
    for (int id : {181, -1, 100000})
    {
        m.parameterNumber = id;
        TarnInstanceTracker::HandleTARNMessage(m, 1.0f);
    }
    m.parameterNumber = 170;
    m.parameterOffset = 11; // 181
    TarnInstanceTracker::HandleTARNMessage(m, 1.0f);
    m.parameterName = "Filter Cutoff"; // no parameter-name list is served
    m.parameterOffset = 0;
    TarnInstanceTracker::HandleTARNMessage(m, 1.0f);
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(Cutoff(*a), before);
    (*a)->RemoveParameterListener(&listener);
}

TEST(TarnInstanceTrackerTest, OperationsByOSCIndex)
{
    auto a = Open();
    auto b = Open();
    auto c = Open();
    ASSERT_EQ(c->Set(kOSCPortOffset, 3.7f), TW::kNoErr); // index 3
    EXPECT_EQ(TarnInstanceTracker::GetParameterFromAllByOSCIndex(4, kCutoff), 0.0f);
    EXPECT_EQ(TarnInstanceTracker::GetParameterFromAllByOSCIndex(3, kCutoff), 1000.0f);

    TarnInstanceTracker::SetParameterOnAllByOSCIndex(0, kCutoff, 222.0f);
    EXPECT_EQ(Cutoff(*a), 222.0f);
    EXPECT_EQ(Cutoff(*b), 222.0f);
    EXPECT_EQ(Cutoff(*c), 1000.0f);
    ASSERT_EQ(b->Set(kCutoff, 333.0f), TW::kNoErr);
    EXPECT_EQ(TarnInstanceTracker::GetParameterFromAllByOSCIndex(0, kCutoff), 222.0f); // first

    TarnInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(0, 5, 7);
    EXPECT_EQ((*a)->GetDisplayBlock().guiSwitches[5].load(), 1);
    EXPECT_EQ((*b)->GetDisplayBlock().guiSwitches[5].load(), 1);
    EXPECT_EQ((*c)->GetDisplayBlock().guiSwitches[5].load(), 0);
    EXPECT_EQ(TarnInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(0, 5), 1);
    EXPECT_EQ(TarnInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(3, 5), 0);
    // Switch numbers beyond the display block are ignored.
    TarnInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(0, 8, 1);
    TarnInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(0, -1, 1);
    EXPECT_EQ(TarnInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(0, 8), 0);
}

TEST(TarnInstanceTrackerTest, ScriptsReachOtherInstances)
{
    ScratchDataHome home;
    home.AddScript("midi.lua", "");
    TestInstance a; // initialized: its script host runs
    auto b = Open();
    ASSERT_EQ(b->Set(kOSCPortOffset, 2.0f), TW::kNoErr);
    TW::LuaMIDIHelper& lua = a->LuaHelper();
    ASSERT_NE(lua.LuaInit(), nullptr);
    ASSERT_EQ(RunLua(lua, "setOthersParameter(2, 'Filter Cutoff', 4321)\n"
                          "setOthersGUIBoolValue(2, 6, true)\n"
                          "setOthersParameter(0, 139, 55)"),
              "");
    EXPECT_EQ(Cutoff(*b), 4321.0f);
    EXPECT_EQ(a->Globals().Value(kCutoff), 55.0f); // index 0 includes the caller itself
    EXPECT_EQ((*b)->GetDisplayBlock().guiSwitches[6].load(), 1);
    EXPECT_EQ(LuaNumber(lua, "getOthersParameter(2, 139)"), 4321.0);
    EXPECT_EQ(LuaNumber(lua, "getOthersParameter(9, 139)"), 0.0);
    EXPECT_EQ(LuaString(lua, "getOthersGUIBoolValue(2, 6)"), "true");
    EXPECT_EQ(LuaString(lua, "getOthersGUIBoolValue(0, 6)"), "false");
}

} // namespace
