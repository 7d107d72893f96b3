// The preferences window on X11 under an Xvfb of its own: opened from an editor's bridge (once,
// however often asked), a toggle clicked and a port typed with real (XTest) input, a refused
// key, and the window manager's close applying the port.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "core/Preferences.h"
#include "core/TarnAdditiveSynth.h"
#include "editor/ALmanager.h"
#include "editor/CheckBox.h"
#include "editor/IntegerField.h"
#include "osc/OSCHelper.h"
#include "platform/x11/ManagerX11Input.h"
#include "platform/x11/X11Bridge.h"
#include "platform/x11/X11PreferencesWindow.h"
#include "support/TestInstance.h"
#include "support/X11PumpUntil.h"
#include "support/XvfbServer.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

namespace
{

using namespace std::chrono_literals;

using TarnTest::PumpUntil;

void Key(Display* host, KeySym sym)
{
    const KeyCode code = XKeysymToKeycode(host, sym);
    XTestFakeKeyEvent(host, code, True, 0);
    XTestFakeKeyEvent(host, code, False, 0);
    XSync(host, False);
}

TEST(X11PreferencesWindow, OpensOnceTakesRealInputAndAppliesThePortOnClose)
{
    char pattern[] = "/tmp/velluna-x11prefs-XXXXXX";
    const std::filesystem::path config = ::mkdtemp(pattern);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const int savedBase = g_OSCBasePort.load();
    g_OSCBasePort.store(7000);

    TarnTest::XvfbServer server;
    ASSERT_FALSE(server.Name().empty()) << "Xvfb did not start";
    Display* host = XOpenDisplay(server.Name().c_str());
    ASSERT_TRUE(host);

    TarnTest::TestInstance synth(48000.0, false);
    ASSERT_EQ(synth.Set(180, 3.0f), 0);
    {
        TW::X11Bridge bridge(0, 300, 150, "editor", server.Name().c_str());
        ASSERT_TRUE(bridge.IsOpen());
        ALmanager manager(synth.get(), &bridge);
        TW::ManagerX11Input input(manager);
        bridge.SetInputSink(&input);
        bridge.SetEditorManager(&manager);
        manager.SetWindowSize(300, 150);
        manager.CreateControl(0, 0);
        bridge.Show();

        TW::PreferencesPanel::Open(&manager);
        TW::X11PreferencesWindow* prefs = bridge.GetPreferencesWindow();
        ASSERT_NE(prefs, nullptr);
        ASSERT_TRUE(prefs->IsOpen());
        bridge.RunPropertyDialog(TW::ManagerPlatformBridge::kPreferencesDialog, 0);
        EXPECT_EQ(bridge.GetPreferencesWindow(), prefs); // brought forward, not opened again

        const Window window = prefs->GetBridge().GetWindow();
        char* title = nullptr;
        ASSERT_TRUE(XFetchName(host, window, &title));
        EXPECT_STREQ(title, "Velluna 1.1.1 Preferences");
        XFree(title);
        XWindowAttributes attributes;
        ASSERT_TRUE(PumpUntil(bridge, host,
                              [&] {
                                  return XGetWindowAttributes(host, window, &attributes) &&
                                         attributes.map_state == IsViewable;
                              }));
        int left = 0, top = 0;
        Window child;
        XTranslateCoordinates(host, window, DefaultRootWindow(host), 0, 0, &left, &top, &child);

        // A click on the eye-candy box (design y upward from the bottom of the window).
        TW::Bounds box;
        prefs->GetPanel().GetCheckBox(TW::PreferencesPanel::kEyeCandy)->GetWorldBounds(box);
        ASSERT_TRUE(TW::Manager::ms_enableEyeCandy);
        XTestFakeMotionEvent(host, -1, left + static_cast<int>(box.CentreX()),
                             top + TW::PreferencesPanel::kHeight - static_cast<int>(box.CentreY()),
                             0);
        XTestFakeButtonEvent(host, 1, True, 0);
        XTestFakeButtonEvent(host, 1, False, 0);
        EXPECT_TRUE(PumpUntil(bridge, host, [&] { return !TW::Manager::ms_enableEyeCandy; }));
        EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefEnableEyeCandy, -1), 0);

        // The port field has the keyboard: a letter is refused, digits replace the port.
        TW::IntegerField* field = prefs->GetPanel().GetPortField();
        prefs->BringForward();
        for (int i = 0; i < 4; ++i)
            Key(host, XK_BackSpace);
        Key(host, XK_x);
        for (KeySym digit : {XK_8, XK_2, XK_0, XK_0})
            Key(host, digit);
        EXPECT_TRUE(PumpUntil(bridge, host, [&] { return field->GetText() == "8200"; }))
            << field->GetText();
        EXPECT_EQ(field->GetRefusedCount(), 1);

        // The window manager's close button.
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(host, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = static_cast<long>(XInternAtom(host, "WM_DELETE_WINDOW", False));
        XSendEvent(host, window, False, NoEventMask, &close);
        EXPECT_TRUE(
            PumpUntil(bridge, host, [&] { return bridge.GetPreferencesWindow() == nullptr; }));
        EXPECT_EQ(Tarn::GetPrefInt(Tarn::kPrefOSCBasePort, -1), 8200);
        EXPECT_EQ(g_OSCBasePort.load(), 8200);
        EXPECT_EQ(synth->OSC().GetPort(), 8203);

        // Opened again and left open, it goes with the editor.
        bridge.RunPropertyDialog(TW::ManagerPlatformBridge::kPreferencesDialog, 0);
        EXPECT_NE(bridge.GetPreferencesWindow(), nullptr);
        bridge.SetEditorManager(nullptr);
        EXPECT_EQ(bridge.GetPreferencesWindow(), nullptr);
        // Left open when the editor's manager goes and then its window: closed with them, the
        // port stored without the instrument that has gone (the sanitizer build watches).
        bridge.SetEditorManager(&manager);
        bridge.RunPropertyDialog(TW::ManagerPlatformBridge::kPreferencesDialog, 0);
        ASSERT_NE(bridge.GetPreferencesWindow(), nullptr);
        bridge.GetPreferencesWindow()->GetPanel().GetPortField()->SetValue(8300);
        bridge.SetInputSink(nullptr);
    }
    EXPECT_EQ(g_OSCBasePort.load(), 8300);
    XCloseDisplay(host);
    g_OSCBasePort.store(savedBase);
    TW::Manager::ms_enableEyeCandy = true;
    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

} // namespace
