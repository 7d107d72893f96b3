#include "PreferencesPanel.h"

#include "CheckBox.h"
#include "Font.h"
#include "Group.h"
#include "IntegerField.h"
#include "Manager.h"
#include "ManagerPlatformBridge.h"
#include "StaticText.h"

#include "core/InstrumentConstants.h"
#include "core/ParameterTable.h"
#include "core/Preferences.h"
#include "core/TarnAdditiveSynth.h"
#include "core/VellunaVersion.h"

#include <cstdio>

namespace TW
{

namespace
{

struct ToggleInfo
{
    const char* caption;
    const char* key;
    bool* value;
};

const ToggleInfo& Info(int which)
{
    static const ToggleInfo kInfo[PreferencesPanel::kToggleCount] = {
        {"Eye candy: ripples and vortex", Tarn::kPrefEnableEyeCandy, &Manager::ms_enableEyeCandy},
        {"Constant redraw, 30 frames a second", Tarn::kPrefEnableConstantRedraw,
         &Manager::ms_enableConstantRedraw},
        {"Floating tooltip", Tarn::kPrefEnableFloatingTooltip, &Manager::ms_enableTooltip},
    };
    return kInfo[which];
}

float kTitleColour[4] = {0.5f, 0.8f, 1.0f, 0.9f};

} // namespace

std::string PreferencesPanel::Title()
{
    char title[64];
    std::snprintf(title, sizeof title, "Velluna %d.%d.%d Preferences", Tarn::kVersionMajor,
                  Tarn::kVersionMinor, Tarn::kVersionPatch);
    return title;
}

void PreferencesPanel::Open(Manager* editor)
{
    if (editor && editor->GetBridge())
        editor->GetBridge()->RunPropertyDialog(ManagerPlatformBridge::kPreferencesDialog, 0);
}

PreferencesPanel::PreferencesPanel(Manager* window, Manager* editor)
    : m_window(window), m_editor(editor)
{
    const std::string face = Font::DefaultFontFile();
    window->SetFonts(Font::Create({{face, 15}}), Font::Create({{face, 13}}),
                     Font::Create({{face, 14}}));
    window->SetWindowSize(kWidth, kHeight);
    window->SetBannerContent(2, 0.0f, -1.0f);
    window->SetBackgroundColour(0.0f, 0.0f, 0.1f);
    if (StaticText* titles = window->GetBannerText(); titles && window->GetBannerFont())
        titles->Add(Title().c_str(), 20.0f, kHeight - 32.0f, kTitleColour);

    Group* root = window->GetRoot();
    for (int i = 0; i < kToggleCount; ++i)
    {
        m_boxes[i] = new CheckBox(window, Info(i).caption, Info(i).value, &Toggled, this, 24.0f,
                                  kHeight - 70.0f - 30.0f * i, 16.0f);
        root->AddChild(m_boxes[i]);
    }
    m_port = new IntegerField(window, kMaxPort, 180.0f, 24.0f, 90.0f, 24.0f);
    const int base = g_OSCBasePort.load();
    m_port->SetValue(base >= 0 ? base : -1);
    root->AddChild(m_port);
    if (StaticText* labels = window->GetLabelText(); labels && window->GetLabelFont())
    {
        Font* font = window->GetLabelFont();
        labels->Add("OSC base port", 24.0f,
                    36.0f - 0.5f * font->GetLineHeight() - font->GetDescender(),
                    CheckBox::ms_captionColour);
    }
    window->SetKeyboardFocusElement(m_port);
}

void PreferencesPanel::Toggled(CheckBox* box, void* refcon)
{
    auto* panel = static_cast<PreferencesPanel*>(refcon);
    for (int i = 0; i < kToggleCount; ++i)
        if (panel->m_boxes[i] == box)
            Tarn::SetPrefInt(Info(i).key, *Info(i).value ? 1 : 0);
    // Editors that sleep until the next event (constant redraw off, or just switched on) draw
    // at once with the new setting.
    Manager::NudgeAllEditors();
    // The port field is the window's only keyboard target: it keeps the keyboard.
    panel->m_window->SetKeyboardFocusElement(panel->m_port);
}

bool PreferencesPanel::Close()
{
    const long port = m_port->GetValue();
    if (port < 1)
    {
        if (port == 0)
            std::fprintf(stderr, "OSC base port 0 not stored: a port is at least 1\n");
        return false;
    }
    Tarn::SetPrefInt(Tarn::kPrefOSCBasePort, static_cast<int>(port));
    g_OSCBasePort.store(static_cast<int>(port));
    if (m_editor)
        m_editor->SetParameterValue(Tarn::kParamOSCPortOffset,
                                    m_editor->GetParameterValue(Tarn::kParamOSCPortOffset));
    return true;
}

} // namespace TW
