// The preferences window's contents, built into a manager of its own: check boxes for the
// three process-wide toggles (eye candy, constant redraw, floating tooltip) and a field for the
// OSC base port. A toggle applies at once to every open editor and is stored; the port is
// applied when the window closes.
#pragma once

#include <string>

namespace TW
{

class CheckBox;
class IntegerField;
class Manager;

class PreferencesPanel
{
public:
    static constexpr int kWidth = 340; // design size of the window
    static constexpr int kHeight = 190;
    static constexpr long kMaxPort = 65535;
    enum Toggle
    {
        kEyeCandy,
        kConstantRedraw,
        kTooltip,
        kToggleCount
    };

    // Lays the controls out in window (fonts, size and elements; the caller then calls its
    // CreateControl and CreateRenderTask). editor: the manager of the editor the window was
    // opened from, whose instrument re-opens its OSC port on a new base; may be null. Both must
    // outlive the panel. Main thread.
    PreferencesPanel(Manager* window, Manager* editor);

    PreferencesPanel(const PreferencesPanel&) = delete;
    PreferencesPanel& operator=(const PreferencesPanel&) = delete;

    // Main thread, as the window closes: a port of at least 1 in the field is stored under "OSC
    // Base Port", becomes the process-wide base port, and the editor's instrument writes its "OSC
    // Port Offset" again with its own value (which re-opens its port on the new base). Anything
    // else (0, an empty field) changes nothing. True when a port was applied.
    bool Close();

    // Main thread: the editor whose instrument takes the port, null when it has gone.
    void SetEditor(Manager* editor) { m_editor = editor; }

    // Main thread: asks the editor's window system for the preferences window (what the
    // skin's "Prefs" button does); brings it forward when it is open.
    static void Open(Manager* editor);

    // The window's title, with the version.
    static std::string Title();

    CheckBox* GetCheckBox(Toggle which) const { return m_boxes[which]; }
    IntegerField* GetPortField() const { return m_port; }

private:
    static void Toggled(CheckBox* box, void* refcon);

    Manager* m_window;
    Manager* m_editor;
    CheckBox* m_boxes[kToggleCount] = {};
    IntegerField* m_port = nullptr;
};

} // namespace TW
