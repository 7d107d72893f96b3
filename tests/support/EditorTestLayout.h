// Builds editor layouts from C++ the way the skin script does: each call makes one element of
// the skin API for the manager and adds it to the root group or to a group.
#pragma once

#include "editor/AdditiveWaveform.h"
#include "editor/Button.h"
#include "editor/EnvDisplay.h"
#include "editor/EnvSelMultiSlider.h"
#include "editor/Group.h"
#include "editor/Knob.h"
#include "editor/Label.h"
#include "editor/LevelsMultiSlider.h"
#include "editor/Manager.h"
#include "editor/NamedGroup.h"
#include "editor/TextField.h"

namespace TarnTest
{

class EditorLayout
{
public:
    explicit EditorLayout(TW::Manager& manager) : m_manager(manager) {}

    // "group": a named group in the root group, margins of 10 each by default.
    TW::NamedGroup* Group(const char* name, float margin = 10.0f)
    {
        const float margins[4] = {margin, margin, margin, margin};
        auto* g = new TW::NamedGroup(&m_manager, name, margins);
        m_manager.GetRoot()->AddChild(g);
        return g;
    }
    // "knob"
    TW::Knob* Knob(int param, float x, float y, float size, TW::Group* in = nullptr)
    {
        return Add(new TW::Knob(&m_manager, param, x, y, size), in);
    }
    // "levelsSliders": "Level 1".."Level 16".
    TW::LevelsMultiSlider* Levels(float x, float y, float w, float h, TW::Group* in = nullptr)
    {
        return Add(new TW::LevelsMultiSlider(&m_manager, nullptr, nullptr, 1, 16, x, y, w, h), in);
    }
    // "envSelSliders": "Env Select 1".."Env Select 16".
    TW::EnvSelMultiSlider* EnvSelect(float x, float y, float w, float h, TW::Group* in = nullptr)
    {
        return Add(new TW::EnvSelMultiSlider(&m_manager, nullptr, nullptr, 83, 16, x, y, w, h), in);
    }
    // "textField"
    TW::TextField* TextField(int param, float x, float y, float w, float h, const char* format = "",
                             TW::Group* in = nullptr)
    {
        return Add(new TW::TextField(&m_manager, param, x, y, w, h, format), in);
    }
    // "label"
    TW::Label* Label(const char* text, float x, float y, int justification = 0, float w = 0.0f,
                     float h = 0.0f, TW::Group* in = nullptr)
    {
        return Add(new TW::Label(&m_manager, text, justification, x, y, w, h), in);
    }
    // "button"
    TW::Button* Button(const char* text, TW::Button::Callback callback, void* refcon, float x,
                       float y, float w, float h, int helpId, TW::Group* in = nullptr)
    {
        return Add(new TW::Button(&m_manager, text, callback, refcon, x, y, w, h, helpId), in);
    }
    // "waveformDisplay": levels 1..16 shaped by "Pulse Width" (127).
    TW::AdditiveWaveform* Waveform(float x, float y, float w, float h, TW::Group* in = nullptr)
    {
        return Add(new TW::AdditiveWaveform(&m_manager, 1, 16, 127, x, y, w, h), in);
    }
    // "envDisplay" 1..3: the six-stage envelopes.
    TW::EnvDisplay* EnvDisplay(int id, float x, float y, float w, float h, TW::Group* in = nullptr)
    {
        return Add(new TW::EnvDisplay(&m_manager, 14 * id + 27, 3, 2, 5.0f, x, y, w, h), in);
    }
    // "adsrEnvDisplay" 'a', 'p' or 'f'.
    TW::EnvDisplay* AdsrDisplay(char which, float x, float y, float w, float h,
                                TW::Group* in = nullptr)
    {
        const int first = which == 'a' ? 33 : which == 'p' ? 130 : 145;
        auto* d =
            new TW::EnvDisplay(&m_manager, first, 2, 1, which == 'a' ? -1.0f : 5.0f, x, y, w, h);
        d->SetFixed(6, 1.0f); // the first level: the attack peak
        if (which != 'a')
            for (int i = 3; i < 6; ++i)
                d->SetFixed(i, 1.0f); // no shape parameters: straight lines
        return Add(d, in);
    }

private:
    template <class T> T* Add(T* element, TW::Group* in)
    {
        (in ? in : m_manager.GetRoot())->AddChild(element);
        return element;
    }

    TW::Manager& m_manager;
};

} // namespace TarnTest
