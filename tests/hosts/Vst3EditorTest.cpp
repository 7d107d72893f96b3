// The editor of the built VST3 plug-in opened as a Linux host opens it, under an Xvfb of the
// test's own: the controller's view for the X11 platform type, attached to a window of the
// host's and pumped by the host's run loop; drawn, resized by the host and by its corner, its
// knobs dragged with real (XTest) input while the host records the edits and sends them on to
// the processor; opened and closed again and again while another thread plays notes; its parent
// window destroyed before it is removed.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "UserFolders.h"
#include "Vst3ComponentHandler.h"
#include "Vst3Host.h"
#include "Vst3HostApplication.h"
#include "Vst3ParamChanges.h"
#include "Vst3PlugFrame.h"
#include "editor/ALmanager.h"
#include "editor/Group.h"
#include "editor/Knob.h"
#include "editor/PluginLuaGui.h"
#include "support/PanelKnobs.h"
#include "support/RecordingBridge.h"
#include "support/TestInstance.h"
#include "support/XvfbServer.h"

#include "support/X11HostWindow.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace Vst3Abi;
using namespace VellunaHostTest;
using namespace std::chrono_literals;

namespace
{

// A knob of the shipped panel: its parameter and its centre in view points, rows from the top.
struct PanelKnob
{
    std::string name;
    int x, y;
};

// The shipped panel's design size and knobs, laid out by the skin without any window.
struct PanelLayout
{
    int width = 0, height = 0;
    std::vector<PanelKnob> knobs;
};

PanelLayout ShippedPanel()
{
    TarnTest::TestInstance synth{48000.0, false};
    TarnTest::RecordingBridge bridge;
    ALmanager manager(synth.get(), &bridge);
    TW::PluginLuaGui gui(synth.get());
    gui.CreateUI(&manager);
    PanelLayout layout;
    layout.width = manager.GetDesignWidth();
    layout.height = manager.GetDesignHeight();
    std::vector<const TW::Knob*> knobs;
    TarnTest::CollectKnobs(manager.GetRoot(), knobs);
    for (const TW::Knob* knob : knobs)
    {
        TW::Bounds b;
        knob->GetWorldBounds(b);
        layout.knobs.push_back({knob->GetParam().name, static_cast<int>(b.CentreX()),
                                layout.height - static_cast<int>(b.CentreY())});
    }
    gui.LuaShutdown();
    return layout;
}

// Entries of a /proc folder of this process (open descriptors, threads).
int CountEntries(const char* folder)
{
    int n = 0;
    if (DIR* dir = ::opendir(folder))
    {
        while (const dirent* entry = ::readdir(dir))
            n += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return n;
}

long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

bool FindParameter(void* controller, const std::u16string& title, ParamID& id)
{
    auto& ec = V<IEditControllerVtbl>(controller);
    for (std::int32_t i = 0; i < ec.getParameterCount(controller); ++i)
    {
        ParameterInfo p{};
        if (ec.getParameterInfo(controller, i, &p) == kResultOk && p.title == title)
        {
            id = p.id;
            return true;
        }
    }
    return false;
}

std::u16string Utf16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

double Aspect(const ViewRect& r)
{
    return static_cast<double>(r.right - r.left) / (r.bottom - r.top);
}

class Vst3EditorTest : public ::testing::Test, protected Vst3Module
{
protected:
    void SetUp() override
    {
        IsolateUserFolders();
        ASSERT_FALSE(m_server.Name().empty()) << "Xvfb did not start";
        // The plug-in's window goes to the display the host runs on.
        ::setenv("DISPLAY", m_server.Name().c_str(), 1);
        m_host = XOpenDisplay(m_server.Name().c_str());
        ASSERT_TRUE(m_host);
        ASSERT_TRUE(Load(VELLUNA_VST3_FILE));
        PClassInfo info{};
        ASSERT_TRUE(FindAudioModule(info));
        m_inst = Create(info, m_application.Context());
        ASSERT_TRUE(m_inst.component && m_inst.processor);
        ASSERT_EQ(V<IComponentVtbl>(m_inst.component)
                      .queryInterface(m_inst.component, kIEditController.bytes, &m_controller),
                  kResultOk);
        ASSERT_EQ(Controller().setComponentHandler(m_controller, m_handler.Interface()), kResultOk);
        Start(m_inst);
    }
    void TearDown() override
    {
        if (m_controller)
        {
            Controller().setComponentHandler(m_controller, nullptr);
            Controller().release(m_controller);
        }
        Destroy(m_inst);
        Unload();
        // The plug-in gave back everything it had of the host.
        EXPECT_EQ(m_application.LiveObjects(), 0) << "messages never released";
        EXPECT_EQ(m_application.References(), 0);
        EXPECT_EQ(m_handler.References(), 0);
        if (m_host)
            XCloseDisplay(m_host);
    }

    IEditControllerVtbl& Controller() { return V<IEditControllerVtbl>(m_controller); }

    Window MakeParent(int width, int height)
    {
        return TarnTest::CreateMappedWindow(m_host, 0, 0, width, height);
    }

    // The editor's view, or null (with the reason in the failure).
    void* CreateView()
    {
        void* view = Controller().createView(m_controller, "editor");
        EXPECT_TRUE(view) << "the plug-in's controller offers no editor view "
                             "(IEditController::createView(\"editor\") gave null)";
        return view;
    }

    // The view in parent, as a host attaches it: the frame first, then the window.
    ::testing::AssertionResult Attach(void* view, Vst3PlugFrame& frame, Window parent)
    {
        auto& v = V<IPlugViewVtbl>(view);
        if (v.isPlatformTypeSupported(view, kPlatformTypeX11EmbedWindowID) != kResultTrue)
            return ::testing::AssertionFailure() << "X11 parent windows not supported";
        frame.SetParent(m_host, parent);
        if (v.setFrame(view, frame.Interface()) != kResultOk)
            return ::testing::AssertionFailure() << "setFrame refused";
        const tresult attached =
            v.attached(view, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)),
                       kPlatformTypeX11EmbedWindowID);
        if (attached != kResultOk)
            return ::testing::AssertionFailure() << "attached gave " << attached;
        return ::testing::AssertionSuccess();
    }

    // Removes and releases the view; the view must be gone, its timers and handlers with it.
    ::testing::AssertionResult Close(void* view, Vst3PlugFrame& frame)
    {
        auto& v = V<IPlugViewVtbl>(view);
        const tresult removed = v.removed(view);
        v.setFrame(view, nullptr);
        const std::uint32_t left = v.release(view);
        if (removed != kResultOk)
            return ::testing::AssertionFailure() << "removed gave " << removed;
        if (left != 0)
            return ::testing::AssertionFailure() << left << " references to the view remain";
        if (frame.Timers() || frame.EventHandlers() || frame.References())
            return ::testing::AssertionFailure()
                   << "left in the host's run loop: " << frame.Timers() << " timers, "
                   << frame.EventHandlers() << " handlers, " << frame.References()
                   << " references to the frame";
        return ::testing::AssertionSuccess();
    }

    // A parent window of the view's size, where the view is then attached (0 on failure).
    Window AttachInNewParent(void* view, Vst3PlugFrame& frame)
    {
        ViewRect size{};
        EXPECT_EQ(V<IPlugViewVtbl>(view).getSize(view, &size), kResultOk);
        if (size.right - size.left < 1 || size.bottom - size.top < 1)
            return 0;
        const Window parent = MakeParent(size.right - size.left, size.bottom - size.top);
        const auto attached = Attach(view, frame, parent);
        EXPECT_TRUE(attached);
        return attached ? parent : 0;
    }

    // The plug-in's window in parent (0 when there is none yet).
    Window EditorWindow(Window parent)
    {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(m_host, parent, &root, &up, &children, &count) && count > 0)
            found = children[0];
        if (children)
            XFree(children);
        return found;
    }

    bool Drawn(Window parent)
    {
        const Window window = EditorWindow(parent);
        return window && TarnTest::Colours(m_host, window) > 200;
    }

    ViewRect WindowRect(Window window)
    {
        XWindowAttributes attributes{};
        if (!window || !XGetWindowAttributes(m_host, window, &attributes))
            return {0, 0, 0, 0};
        return {0, 0, attributes.width, attributes.height};
    }

    // Renders one block with the host's pending edits and the notes; returns the seconds the
    // plug-in's process call took. peak takes the left channel's peak, reported the parameters
    // the plug-in reported as changed. Any thread but the UI one.
    double ProcessBlock(std::vector<Event> notes, float* peak = nullptr,
                        std::vector<ParamID>* reported = nullptr)
    {
        std::vector<float> l(kVst3Block), r(kVst3Block);
        float* channels[2] = {l.data(), r.data()};
        AudioBusBuffers buses{2, 0, channels};
        EventList events;
        events.events = std::move(notes);
        ParamChanges in, out;
        m_handler.TakePending(in);
        ProcessData data{};
        data.numSamples = kVst3Block;
        data.numOutputs = 1;
        data.outputs = &buses;
        data.inputEvents = &events;
        data.inputParameterChanges = &in;
        data.outputParameterChanges = &out;
        auto& p = V<IAudioProcessorVtbl>(m_inst.processor);
        const auto start = std::chrono::steady_clock::now();
        const tresult result = p.process(m_inst.processor, &data);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result, kResultOk);
        if (peak)
            for (float s : l)
                *peak = std::max(*peak, std::abs(s));
        if (reported)
            for (const ParamChanges::Queue* q : out.queues)
                reported->push_back(q->id);
        return took.count();
    }

    TarnTest::XvfbServer m_server;
    Display* m_host = nullptr;
    Vst3HostApplication m_application;
    Vst3ComponentHandler m_handler;
    Instance m_inst;
    void* m_controller = nullptr;
};

TEST_F(Vst3EditorTest, ViewDrawsResizesAndItsKnobsReachTheHostAsEdits)
{
    const PanelLayout panel = ShippedPanel();
    ASSERT_GT(panel.width, 100);
    ASSERT_GE(panel.knobs.size(), 4u);
    const double aspect = static_cast<double>(panel.width) / panel.height;

    void* view = CreateView();
    ASSERT_TRUE(view);
    auto& v = V<IPlugViewVtbl>(view);
    EXPECT_NE(v.isPlatformTypeSupported(view, "HWND"), kResultTrue) << "Windows parents?";
    // Before it is attached the view already knows its size: the skin's design size.
    ViewRect size{};
    ASSERT_EQ(v.getSize(view, &size), kResultOk);
    EXPECT_EQ(size.right - size.left, panel.width);
    EXPECT_EQ(size.bottom - size.top, panel.height);

    Vst3PlugFrame frame;
    const Window parent = MakeParent(size.right - size.left, size.bottom - size.top);
    ASSERT_TRUE(Attach(view, frame, parent));
    // The plug-in pumps its window through the host's run loop.
    EXPECT_GT(frame.Timers() + frame.EventHandlers(), 0);
    EXPECT_TRUE(frame.RunUntil(
        m_host, [&] { return Drawn(parent); }, 8s))
        << "the panel never drew in the host's window";
    const Window window = EditorWindow(parent);
    EXPECT_EQ(WindowRect(window).right, panel.width);
    EXPECT_EQ(WindowRect(window).bottom, panel.height);

    // Knobs spread over the panel, each dragged 40 pixels from its centre (down when the value
    // is in the upper half): a begin, performs and an end on the knob's own parameter, all on
    // the host's UI thread; the host sends the values to the processor.
    for (std::size_t k = 0; k < panel.knobs.size(); k += panel.knobs.size() / 4)
    {
        const PanelKnob& knob = panel.knobs[k];
        SCOPED_TRACE("knob " + std::to_string(k) + " \"" + knob.name + "\"");
        int rootX = 0, rootY = 0;
        Window child = 0;
        XTranslateCoordinates(m_host, window, DefaultRootWindow(m_host), knob.x, knob.y, &rootX,
                              &rootY, &child);
        ParamID id = 0;
        ASSERT_TRUE(FindParameter(m_controller, Utf16(knob.name), id));
        const double before = Controller().getParamNormalized(m_controller, id);
        const int direction = before > 0.5 ? 1 : -1; // rows grow downwards
        m_handler.Clear();
        XTestFakeMotionEvent(m_host, -1, rootX, rootY, 0);
        XTestFakeButtonEvent(m_host, 1, True, 0);
        for (int step = 1; step <= 4; ++step)
            XTestFakeMotionEvent(m_host, -1, rootX, rootY + direction * 10 * step, 0);
        XTestFakeButtonEvent(m_host, 1, False, 0);
        EXPECT_TRUE(frame.RunUntil(m_host,
                                   [&]
                                   {
                                       const auto edits = m_handler.Edits();
                                       return edits.size() >= 3 &&
                                              edits.back().kind == Vst3ComponentHandler::Edit::kEnd;
                                   }))
            << "the gesture never ended";

        const auto edits = m_handler.Edits();
        ASSERT_GE(edits.size(), 3u);
        EXPECT_EQ(edits.front().kind, Vst3ComponentHandler::Edit::kBegin);
        EXPECT_EQ(edits.back().kind, Vst3ComponentHandler::Edit::kEnd);
        double last = before;
        for (std::size_t i = 0; i < edits.size(); ++i)
        {
            EXPECT_EQ(edits[i].id, id) << "edit " << i;
            EXPECT_TRUE(edits[i].onUiThread) << "edit " << i << " came on another thread";
            if (i > 0 && i + 1 < edits.size())
            {
                EXPECT_EQ(edits[i].kind, Vst3ComponentHandler::Edit::kPerform) << "edit " << i;
                EXPECT_GE(edits[i].value, 0.0);
                EXPECT_LE(edits[i].value, 1.0);
                last = edits[i].value;
            }
        }
        if (direction < 0)
            EXPECT_GT(last, before);
        else
            EXPECT_LT(last, before);
        // After the host's blocks the plug-in reads back the value the gesture ended at (in this
        // one-object plug-in the controller's value is the processor's), and it does not report
        // the host's own edit back to it.
        std::vector<ParamID> reported;
        ProcessBlock({}, nullptr, &reported);
        ProcessBlock({}, nullptr, &reported);
        EXPECT_NEAR(Controller().getParamNormalized(m_controller, id), last, 1e-6);
        EXPECT_EQ(std::count(reported.begin(), reported.end(), id), 0)
            << "the edit came back as a change the plug-in made";
    }

    // The host resizes it as the protocol asks: checkSizeConstraint first, which keeps the
    // design's shape, then the frame and onSize. The panel ends in the design's shape within
    // the 1024 x 512 cap, with the host's frame at the panel's size (the view asks the frame
    // for its own size when the host's was beyond the cap), and the view reports that size.
    EXPECT_EQ(v.canResize(view), kResultTrue);
    const auto settled = [&](const char* how)
    {
        ViewRect shown{}, framed{};
        const bool agreed =
            frame.RunUntil(m_host,
                           [&]
                           {
                               shown = WindowRect(window);
                               framed = WindowRect(parent);
                               return shown.right == framed.right && shown.bottom == framed.bottom;
                           });
        EXPECT_TRUE(agreed) << how << ": the panel is " << shown.right << " x " << shown.bottom
                            << " in a frame of " << framed.right << " x " << framed.bottom;
        EXPECT_LE(shown.right, 1024);
        EXPECT_LE(shown.bottom, 512);
        EXPECT_NEAR(Aspect(shown), aspect, 2.0 * aspect / shown.bottom);
        ViewRect reported{};
        EXPECT_EQ(v.getSize(view, &reported), kResultOk);
        EXPECT_EQ(reported.right - reported.left, shown.right) << how;
        EXPECT_EQ(reported.bottom - reported.top, shown.bottom) << how;
        return shown;
    };
    for (const auto& [w, h] : {std::pair{700, 700}, {2000, 300}, {4000, 4000}, {500, 250}})
    {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        ViewRect rect{0, 0, w, h};
        EXPECT_EQ(v.checkSizeConstraint(view, &rect), kResultTrue);
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        EXPECT_NEAR(Aspect(rect), aspect, 2.0 * aspect / height)
            << "allowed " << width << " x " << height;
        XResizeWindow(m_host, parent, static_cast<unsigned>(width), static_cast<unsigned>(height));
        EXPECT_EQ(v.onSize(view, &rect), kResultOk);
        const ViewRect shown = settled("checked");
        if (width <= 1024 && height <= 512)
        {
            EXPECT_EQ(shown.right, width);
            EXPECT_EQ(shown.bottom, height);
        }
    }
    // A host that sizes its frame without asking first: the panel keeps the design's shape
    // inside the frame, and the frame is brought to it.
    {
        ViewRect rect{0, 0, 800, 600};
        XResizeWindow(m_host, parent, 800, 600);
        EXPECT_EQ(v.onSize(view, &rect), kResultOk);
        const ViewRect shown = settled("unasked");
        EXPECT_EQ(shown.right, 800);
        EXPECT_EQ(shown.bottom, 400);
    }

    // The user drags the panel's corner 100 pixels to the left: the view asks the host's frame
    // for the new size, in the design's shape, and takes it.
    frame.RunFor(m_host, 100ms); // the host's resize has settled
    const ViewRect start = WindowRect(window);
    const std::size_t requestsBefore = frame.ResizeRequests().size();
    {
        int rootX = 0, rootY = 0;
        Window child = 0;
        XTranslateCoordinates(m_host, window, DefaultRootWindow(m_host), start.right - 4,
                              start.bottom - 4, &rootX, &rootY, &child);
        XTestFakeMotionEvent(m_host, -1, rootX, rootY, 0);
        XTestFakeButtonEvent(m_host, 1, True, 0);
        for (int step = 1; step <= 4; ++step)
            XTestFakeMotionEvent(m_host, -1, rootX - 25 * step, rootY, 0);
        XTestFakeButtonEvent(m_host, 1, False, 0);
    }
    const int draggedWidth = start.right - 100;
    EXPECT_TRUE(frame.RunUntil(m_host,
                               [&]
                               {
                                   return frame.ResizeRequests().size() > requestsBefore &&
                                          frame.ResizeRequests().back().right == draggedWidth;
                               }))
        << frame.ResizeRequests().size() - requestsBefore << " resize requests, the last "
        << frame.ResizeRequests().back().right << " x " << frame.ResizeRequests().back().bottom;
    if (frame.ResizeRequests().size() > requestsBefore)
    {
        const ViewRect asked = frame.ResizeRequests().back();
        EXPECT_NEAR(Aspect(asked), aspect, 2.0 * aspect / (asked.bottom - asked.top));
        const ViewRect shown = settled("dragged");
        EXPECT_EQ(shown.right, asked.right);
        EXPECT_EQ(shown.bottom, asked.bottom);
    }
    EXPECT_EQ(frame.ForeignThreadCalls(), 0);

    EXPECT_TRUE(Close(view, frame));
    XDestroyWindow(m_host, parent);
    XSync(m_host, False);
}

TEST_F(Vst3EditorTest, OpensAndClosesTwoHundredTimesWhileNotesPlay)
{
    // The audio side: blocks paced as a sound card would ask for them, a note every 40 blocks
    // held for 20, the host's edits sent along.
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    double worst = 0.0;
    float peak = 0.0f;
    std::thread audio(
        [&]
        {
            const auto period =
                std::chrono::duration<double>(static_cast<double>(kVst3Block) / kVst3Rate);
            const auto start = std::chrono::steady_clock::now();
            for (long n = 0; !stop; ++n)
            {
                std::vector<Event> notes;
                const auto pitch = static_cast<std::int16_t>(48 + (n / 40) % 24);
                if (n % 40 == 0)
                    notes.push_back(NoteOn(0, pitch));
                else if (n % 40 == 20)
                    notes.push_back(NoteOff(0, pitch));
                worst = std::max(worst, ProcessBlock(std::move(notes), &peak));
                blocks = n + 1;
                std::this_thread::sleep_until(
                    start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                period * (n + 1)));
            }
        });

    int descriptors = 0, threads = 0;
    long resident = 0;
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round)
    {
        SCOPED_TRACE("round " + std::to_string(round));
        // The first rounds load what stays loaded (the GL driver and its threads).
        if (round == 2)
        {
            descriptors = CountEntries("/proc/self/fd");
            threads = CountEntries("/proc/self/task");
        }
        if (round == 10) // the driver's memory comes and goes by tens of megabytes
            resident = ResidentKilobytes();
        void* view = CreateView();
        if (!view)
        {
            stop = true;
            audio.join();
            FAIL();
        }
        Vst3PlugFrame frame;
        const Window parent = AttachInNewParent(view, frame);
        ASSERT_TRUE(parent);
        // Closed at once, after a few turns of the loop, or once it has drawn.
        if (round % 3 == 1)
        {
            frame.RunFor(m_host, 50ms);
        }
        else if (round % 3 == 2)
        {
            EXPECT_TRUE(frame.RunUntil(
                m_host, [&] { return Drawn(parent); }, 8s));
        }
        ASSERT_TRUE(Close(view, frame));
        EXPECT_EQ(frame.ForeignThreadCalls(), 0);
        XDestroyWindow(m_host, parent);
        XSync(m_host, False);
    }
    const int descriptorsAfter = CountEntries("/proc/self/fd");
    const int threadsAfter = CountEntries("/proc/self/task");
    stop = true;
    audio.join();

    std::printf("[ VST3 ] %d opens and closes over %ld blocks: worst process block %.2f ms "
                "(a block is %.2f ms); resident memory %ld MB after 10, %ld MB at the end\n",
                kRounds, blocks.load(), worst * 1e3, 1e3 * kVst3Block / kVst3Rate, resident / 1024,
                ResidentKilobytes() / 1024);
    RecordProperty("WorstProcessBlockMicroseconds", static_cast<int>(worst * 1e6));
    EXPECT_GT(peak, 0.01f) << "the notes never sounded";
    EXPECT_LT(worst, 0.1) << "the audio thread stalled";
    EXPECT_EQ(descriptorsAfter, descriptors) << "descriptors left open";
    EXPECT_EQ(threadsAfter, threads) << "threads left running";
}

// The host destroys its window while the editor is in it, after it drew and before it ever ran
// the loop: the view is removed cleanly afterwards, the instance plays on, and a new view opens
// and draws.
TEST_F(Vst3EditorTest, ParentDestroyedBeforeTheViewIsRemoved)
{
    for (const bool drawnFirst : {true, false})
    {
        SCOPED_TRACE(drawnFirst ? "after drawing" : "at once");
        void* view = CreateView();
        ASSERT_TRUE(view);
        Vst3PlugFrame frame;
        const Window parent = AttachInNewParent(view, frame);
        ASSERT_TRUE(parent);
        if (drawnFirst)
        {
            EXPECT_TRUE(frame.RunUntil(
                m_host, [&] { return Drawn(parent); }, 8s));
        }
        XDestroyWindow(m_host, parent);
        XSync(m_host, False);
        frame.RunFor(m_host, 300ms);
        EXPECT_TRUE(Close(view, frame));
    }
    float peak = 0.0f;
    ProcessBlock({NoteOn(0, 69)}, &peak);
    for (int i = 0; i < 20; ++i)
        ProcessBlock({}, &peak);
    EXPECT_GT(peak, 0.01f);

    void* view = CreateView();
    ASSERT_TRUE(view);
    Vst3PlugFrame frame;
    const Window parent = AttachInNewParent(view, frame);
    ASSERT_TRUE(parent);
    EXPECT_TRUE(frame.RunUntil(
        m_host, [&] { return Drawn(parent); }, 8s));
    EXPECT_TRUE(Close(view, frame));
    XDestroyWindow(m_host, parent);
    XSync(m_host, False);
}

// The display the plug-in would open its window on is not there: attaching fails or leaves the
// host's window empty, with one line on standard error saying why, and the view is removed as
// any other; the host goes on.
TEST_F(Vst3EditorTest, NoDisplayForThePlugInLeavesTheHostsWindowEmpty)
{
    void* view = CreateView();
    ASSERT_TRUE(view);
    Vst3PlugFrame frame;
    ViewRect size{};
    ASSERT_EQ(V<IPlugViewVtbl>(view).getSize(view, &size), kResultOk);
    const Window parent = MakeParent(size.right - size.left, size.bottom - size.top);
    frame.SetParent(m_host, parent);
    ASSERT_EQ(V<IPlugViewVtbl>(view).setFrame(view, frame.Interface()), kResultOk);
    ::setenv("DISPLAY", ":99999", 1);
    ::testing::internal::CaptureStderr();
    V<IPlugViewVtbl>(view).attached(view,
                                    reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)),
                                    kPlatformTypeX11EmbedWindowID);
    frame.RunFor(m_host, 100ms);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ::setenv("DISPLAY", m_server.Name().c_str(), 1);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find(":99999"), std::string::npos) << "the line does not say why: " << said;
    EXPECT_EQ(EditorWindow(parent), 0u);
    EXPECT_TRUE(Close(view, frame));
    XDestroyWindow(m_host, parent);
    XSync(m_host, False);

    float peak = 0.0f;
    ProcessBlock({NoteOn(0, 69)}, &peak);
    for (int i = 0; i < 20; ++i)
        ProcessBlock({}, &peak);
    EXPECT_GT(peak, 0.01f);
}

// The host's content scale, given before the view is attached or while it is open: the panel
// takes twice the pixels, the host's frame is asked for them, and the view reports them.
TEST_F(Vst3EditorTest, ContentScaleDoublesThePanelAndTheHostsFrame)
{
    const PanelLayout panel = ShippedPanel();
    for (const bool beforeAttaching : {true, false})
    {
        SCOPED_TRACE(beforeAttaching ? "before attaching" : "while open");
        void* view = CreateView();
        ASSERT_TRUE(view);
        void* scaling = nullptr;
        ASSERT_EQ(V<IPlugViewVtbl>(view).queryInterface(view, kIPlugViewContentScaleSupport.bytes,
                                                        &scaling),
                  kResultOk);
        auto& scale = V<IPlugViewContentScaleSupportVtbl>(scaling);
        Vst3PlugFrame frame;
        if (beforeAttaching) // the framework answers "not initialized" but keeps the scale
            scale.setContentScaleFactor(scaling, 2.0f);
        const Window parent = MakeParent(panel.width, panel.height);
        ASSERT_TRUE(Attach(view, frame, parent));
        if (!beforeAttaching)
        {
            frame.RunFor(m_host, 100ms);
            EXPECT_EQ(scale.setContentScaleFactor(scaling, 2.0f), kResultOk);
        }
        ViewRect shown{}, framed{};
        EXPECT_TRUE(frame.RunUntil(m_host,
                                   [&]
                                   {
                                       shown = WindowRect(EditorWindow(parent));
                                       framed = WindowRect(parent);
                                       return shown.right == 2 * panel.width &&
                                              shown.bottom == 2 * panel.height &&
                                              framed.right == shown.right &&
                                              framed.bottom == shown.bottom;
                                   }))
            << "the panel is " << shown.right << " x " << shown.bottom << " in a frame of "
            << framed.right << " x " << framed.bottom;
        ViewRect reported{};
        EXPECT_EQ(V<IPlugViewVtbl>(view).getSize(view, &reported), kResultOk);
        EXPECT_EQ(reported.right - reported.left, 2 * panel.width);
        EXPECT_EQ(reported.bottom - reported.top, 2 * panel.height);
        scale.release(scaling);
        EXPECT_TRUE(Close(view, frame));
        XDestroyWindow(m_host, parent);
        XSync(m_host, False);
    }
}

} // namespace
