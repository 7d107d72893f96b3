// The editor of one instrument instance: the element tree, a private copy of every parameter's
// description, fonts, textures, effects, input routing, the parameter read-out, and a drawing
// thread of its own that renders the window with OpenGL through a platform bridge.
//
// Threads: layout and input on the main (host UI) thread; Update, drawing and everything GL on
// the drawing thread. They share only plain values (atomics here) and the event bits.
#pragma once

#include "Bounds.h"
#include "CachedText.h"
#include "Font.h"
#include "ParameterDescription.h"
#include "Point.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace Tarn
{
struct DisplayBlock;
}

namespace TW
{

class Effect;
class Group;
class ManagerPlatformBridge;
class StaticText;
class Texture;
class UIElement;

class Manager
{
public:
    using EditCallback = void (*)(int paramIndex, void* refcon);
    using CaptureCallback = void (*)(void* refcon);
    // The user resized the window with the corner drag to width x height view points.
    using ResizeCallback = void (*)(int width, int height, void* refcon);

    // Releases GL resources of a subclass when the drawing thread ends.
    class RenderingShutdowner
    {
    public:
        virtual ~RenderingShutdowner() = default;
        virtual void ShutdownRendering() {}
    };

    // Bits of the drawing thread's event.
    enum EventBit : unsigned
    {
        kEventQuit = 1,
        kEventPause = 4,
        kEventNudge = 8,
        kEventResize = 16,
        kEventRedrawLabels = 32,
    };

    static constexpr int kMaxWidth = 1024; // the resize drag's limits, view points
    static constexpr int kMaxHeight = 512;
    static constexpr int kReadoutTextSize = 256; // bytes of DrawParamValue's text
    static constexpr int kParamTextSize = 72;    // bytes of FormatParamValue's text (64 used)
    static constexpr double kShutdownTimeoutSeconds = 10.0;

    // Preference toggles shared by every editor: read at each construction.
    static bool ms_enableEyeCandy;
    static bool ms_enableConstantRedraw;
    static bool ms_enableTooltip;
    static unsigned ms_instanceCount;
    static float m_bannerTextColour[4];

    // The bridge must outlive the manager. Main thread.
    Manager(MusicDeviceBase* instance, ManagerPlatformBridge* bridge);
    virtual ~Manager();

    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // ---- Virtual operations. ----
    // Drawing thread: the root group's Update, then each effect's.
    virtual void Update();
    // Drawing thread, after the elements and effects have set up their rendering.
    virtual void InitialiseRendering() {}
    // Main thread, from CreateRenderTask.
    virtual RenderingShutdowner* CreateRenderingShutdowner();
    // Drawing thread: the label texture over the whole window.
    virtual void DrawBackground();
    // Drawing thread (and main thread for the text alone): extends the read-out of parameter
    // index at (x, y); cursor points to the end of the read-out's text (may be null) and is
    // advanced past what is appended.
    virtual void ExtendParamValue(Font* font, int index, float& x, float& y, char*& cursor);
    // Drawing thread: drawn first into the label texture.
    virtual void RenderBackground() {}

    // ---- Layout (main thread, before CreateRenderTask). ----
    // A font that failed to load is kept as absent, and "Unable to load font" with its file is
    // shown in the read-out's place (with whichever font did load) while nothing else is.
    void SetFonts(std::unique_ptr<Font> banner, std::unique_ptr<Font> label,
                  std::unique_ptr<Font> textField);
    // The font alert shown in the banner, empty when every font loaded. Any thread after layout.
    const std::string& GetFontAlert() const noexcept { return m_fontAlert; }
    // Display lists made by a subclass, deleted when the drawing thread ends. Drawing thread.
    void RecordDisplayLists(unsigned first, int count)
    {
        m_displayLists.emplace_back(first, count);
    }
    Font* AddFont(std::unique_ptr<Font> font);
    Texture* AddTexture(std::unique_ptr<Texture> texture);
    // The manager owns the effect.
    Effect* AddEffect(Effect* effect);
    // Called by every element's constructor: the manager owns the element (make it with new).
    void AddElement(UIElement* element);
    void SetHelpStrings(const char** list);
    int AddHelpString(const char* text);
    const char* GetHelpString(int id);
    void SetWindowSize(int width, int height);
    void SetBannerY(float y);
    void SetBannerBounds(float x0, float y0, float x1, float y1);
    // mode 0: title with the maker's name, 1: title alone, 2: no title; readoutX < 0: automatic.
    void SetBannerContent(int mode, float titleX, float readoutX);
    void SetBannerColour(float r, float g, float b, float a);
    void SetBackgroundColour(float r, float g, float b);
    // Finishes the layout: banner line, view, window rectangle, final positions.
    void CreateControl(int x, int y);
    void SetEditCallbacks(EditCallback begin, EditCallback end, void* refcon);
    void SetCaptureCallbacks(CaptureCallback begin, CaptureCallback end, void* refcon);
    // Called after each step of the corner drag, for a host to resize its frame. Main thread.
    void SetUserResizeCallback(ResizeCallback callback, void* refcon)
    {
        m_userResize = callback;
        m_userResizeRefcon = refcon;
    }
    // Turns a wanted size into the nearest one the window may take: the design's aspect ratio,
    // at most kMaxWidth x kMaxHeight, the shorter side at least 16. A side given as 0 or less
    // follows the other; when both are given, the size that fits inside both. A size it gives,
    // given again, stays as it is. Any thread.
    static void ConstrainViewSize(int designWidth, int designHeight, int& width, int& height);
    // Main thread: the window becomes width x height view points (already constrained), as
    // the corner drag makes it, without calling the user-resize callback.
    void ResizeView(int width, int height);

    // ---- Input (main thread). Positions are view points, origin bottom left. ----
    void HandleMouseNoLoopDown(Point pos, unsigned modifiers, int clickCount, bool rightButton);
    void HandleMouseNoLoopDragged(Point pos, unsigned modifiers);
    void HandleMouseNoLoopUp(Point pos, unsigned modifiers);
    void HandleMouseMove(Point pos);
    void HandleMouseWheel(Point pos, float delta, unsigned modifiers);
    bool HandleKeypress(unsigned char key);
    void HandleWindowFocusRelinquish();
    void SetKeyboardFocusElement(UIElement* element);
    void SetFocusToWindow();
    // Any thread.
    void NudgeGUI() { SetEventBits(kEventNudge); }
    void RequestRedrawLabels() { SetEventBits(kEventRedrawLabels); }
    // Stops the drawing, constant redraw included, until the next event (a nudge, a resize, a
    // label redraw or the end): for a window the host has hidden. Any thread.
    void PauseRenderTask() { SetEventBits(kEventPause); }
    // Asks every editor of the process for a frame, for a change that all of them show (the
    // preference toggles). Any thread.
    static void NudgeAllEditors();

    // ---- For elements. ----
    void SetEditingParam(int index);
    void UnsetEditingParam(int index);
    void SetMouseOverParam(int index, UIElement* element);
    // Clears the mouse-over parameter when it is index. Main thread.
    void ClearMouseOverParam(int index);
    // The value's text (at most 64 characters) into out (kParamTextSize bytes). Any thread.
    void FormatParamValue(int index, char* out);
    // Draws name, value and unit from x at baseline y (drawing thread; font may be null to
    // compute the text alone); out (kReadoutTextSize bytes, may be null) gets the pieces
    // joined by single spaces.
    void DrawParamValue(Font* font, int index, float x, float y, char* out);
    Point ScaledMousePos(Point pos) const;
    // Draws text at (x, y) from a scratch buffer (no allocation). Drawing thread.
    void DrawText(Font* font, const char* text, float x, float y);

    // The current value of a parameter (0 when it does not exist). Any thread.
    float GetParameterValue(int index) const;
    // Writes a value through the notifying parameter call. Main thread.
    void SetParameterValue(int index, float value);
    const ParameterDescription& GetParameterDescription(int index) const;
    int GetParameterCount() const noexcept { return static_cast<int>(m_params.size()); }

    // ---- Drawing thread control (main thread). ----
    void CreateRenderTask();
    void DestroyRenderTask();
    bool HasRenderTask() const noexcept { return m_renderTaskExists; }
    // Frames drawn so far (the loop's iterations). Any thread.
    unsigned long GetFrameCount() const noexcept { return m_frameCount.load(); }
    double GetFrameRate() const noexcept { return m_frameRate.load(); }

    // ---- Accessors. ----
    Group* GetRoot() const noexcept { return m_root; }
    Font* GetBannerFont() const noexcept { return m_bannerFont.get(); }
    Font* GetLabelFont() const noexcept { return m_labelFont.get(); }
    Font* GetTextFieldFont() const noexcept { return m_textFieldFont.get(); }
    StaticText* GetBannerText() const noexcept { return m_bannerText; }
    StaticText* GetLabelText() const noexcept { return m_labelText; }
    ManagerPlatformBridge* GetBridge() const noexcept { return m_bridge; }
    MusicDeviceBase* GetInstance() const noexcept { return m_instance; }
    unsigned GetInstanceNumber() const noexcept { return m_instanceNumber; }
    UIElement* GetKeyboardFocusElement() const noexcept { return m_focusElement.load(); }
    UIElement* GetMouseOverElement() const noexcept { return m_mouseOverElement.load(); }
    UIElement* GetCapturedElement() const noexcept { return m_captured; }
    int GetEditingParam() const noexcept { return m_editingParam.load(); }
    int GetMouseOverParam() const noexcept { return m_mouseOverParam.load(); }
    bool IsInHoverMap(const UIElement* element) const;
    void SetRenderPass2Needed(bool needed) noexcept { m_renderPass2 = needed; }
    int GetViewWidth() const noexcept { return m_viewWidth.load(); }
    int GetViewHeight() const noexcept { return m_viewHeight.load(); }
    int GetSurfaceWidth() const noexcept { return m_surfaceWidth.load(); }
    int GetSurfaceHeight() const noexcept { return m_surfaceHeight.load(); }
    int GetDesignWidth() const noexcept { return m_designWidth.load(); }
    int GetDesignHeight() const noexcept { return m_designHeight.load(); }
    bool IsHighResolution() const noexcept { return m_highResolution; }
    const Bounds& GetBannerBounds() const noexcept { return m_bannerBounds; }
    double GetBackgroundPhase() const noexcept { return m_backgroundPhase; }
    float GetTooltipOpacity() const noexcept { return m_tooltipOpacity; }
    const char* GetBannerLine() const noexcept { return m_bannerLine; }
    int GetBannerContentMode() const noexcept { return m_bannerContentMode; }
    float GetBannerTitleX() const noexcept { return m_bannerTitleX; }
    float GetReadoutX() const noexcept { return m_readoutX; }
    const float* GetBannerColour() const noexcept { return m_bannerColour; }

protected:
    // Any thread.
    void SetEventBits(unsigned bits);
    // The activity level for the background, capped at 0.2. Drawing thread.
    float ActivityLevel() const;

    // ---- Drawing thread. ----
    void RenderTaskMain();
    void InitGL();
    void Draw();
    void Draw3d();
    void Draw2d();
    void DrawBanner();
    void DrawTooltip();
    void Render();
    void RedrawLabels();
    void ShutdownGL();
    void InitLabelTexture();
    // Background colours for the current phase and level; dt in seconds.
    void AnimateBackground(double dt);

    MusicDeviceBase* m_instance;
    ManagerPlatformBridge* m_bridge;

private:
    void SetSurfaceSizeFromView(int width, int height);
    void EndCapture(Point pos, unsigned modifiers);
    void CallEndEdit(int index);

    std::vector<UIElement*> m_elements;
    std::vector<std::unique_ptr<Texture>> m_textures;
    std::vector<std::unique_ptr<Effect>> m_effects;
    std::vector<std::unique_ptr<Font>> m_extraFonts;
    Group* m_root = nullptr;
    bool m_renderPass2 = false;
    StaticText* m_bannerText = nullptr;
    StaticText* m_labelText = nullptr;

    EditCallback m_beginEdit = nullptr;
    EditCallback m_endEdit = nullptr;
    void* m_editRefcon = nullptr;
    ResizeCallback m_userResize = nullptr;
    void* m_userResizeRefcon = nullptr;
    CaptureCallback m_beginCapture = nullptr;
    CaptureCallback m_endCapture = nullptr;
    void* m_captureRefcon = nullptr;

    UIElement* m_captured = nullptr;
    unsigned m_capturedModifiers = 0;
    Point m_lastDragPos;

    std::unique_ptr<Font> m_bannerFont;
    std::unique_ptr<Font> m_labelFont;
    std::unique_ptr<Font> m_textFieldFont;

    std::vector<ParameterDescription> m_params;
    ParameterDescription m_noParam;
    unsigned m_instanceNumber;

    unsigned m_labelTexture = 0;
    unsigned m_labelFramebuffer = 0;
    bool m_labelsThroughFramebuffer = false;
    int m_labelTextureWidth = 1024;
    int m_labelTextureHeight = 512;

    std::map<UIElement*, Bounds> m_hoverMap; // main thread only
    std::atomic<int> m_mouseOverParam{-1};
    std::atomic<int> m_editingParam{-1};
    std::atomic<UIElement*> m_mouseOverElement{nullptr};
    std::atomic<UIElement*> m_tooltipElement{nullptr};
    std::atomic<UIElement*> m_focusElement{nullptr};

    std::map<int, std::string> m_helpStrings;
    int m_lowestHelpId = -1;
    int m_helpCacheId = 0;
    const char* m_helpCacheText = nullptr;

    float m_bannerColour[4] = {0.9f, 0.9f, 0.9f, 0.1f};
    float m_backgroundColour[3] = {0.0f, 0.0f, 0.0f};
    Bounds m_bannerBounds;
    int m_bannerContentMode = 0;
    float m_bannerTitleX = 60.0f;
    float m_readoutX = -1.0f;
    char m_bannerLine[64] = {};
    std::string m_fontAlert;

    // The view.
    float m_aspect = 1.0f;
    float m_scale2dX = 2.0f, m_scale2dY = 2.0f;
    float m_fieldOfView = 65.0f;
    float m_cameraDistance = 1.0f;
    float m_cameraX = 0.5f, m_cameraY = 0.5f;
    float m_tooltipLight[2] = {0.0f, 0.0f};
    int m_windowRect[4] = {0, 0, 0, 0}; // top, left, bottom, right

    std::atomic<double> m_frameRate{0.0};
    double m_lastFrameRate = 0.0;
    double m_elapsed = 0.0;
    double m_backgroundPhase = 0.0;
    float m_tooltipOpacity = 0.0f;
    float m_tooltipBox[3] = {0.0f, 0.0f, 0.0f}; // x, y, width

    std::atomic<int> m_surfaceWidth{1}, m_surfaceHeight{1};
    std::atomic<int> m_viewWidth{1}, m_viewHeight{1};
    std::atomic<int> m_initialSurfaceWidth{1}, m_initialSurfaceHeight{1};
    std::atomic<int> m_designWidth{1}, m_designHeight{1};

    bool m_resizing = false;
    float m_resizeStartX = 0.0f, m_resizeStartTop = 0.0f;
    int m_resizeStartWidth = 0, m_resizeStartHeight = 0;

    bool m_highResolution = false;
    int m_scaleFactor = 1;
    bool m_glReady = false;
    bool m_layoutDone = false;

    float m_background[9][6]; // colour r, g, b, position x, y, z

    CachedText m_nameText, m_valueText, m_unitText, m_helpText, m_tooltipText;
    char m_readout[kReadoutTextSize] = {};
    FontVertex m_scratch[4 * 128];

    std::vector<std::pair<unsigned, int>> m_displayLists;

    std::unique_ptr<RenderingShutdowner> m_shutdowner;
    std::thread m_renderThread;
    std::mutex m_eventLock;
    std::condition_variable m_eventCondition;
    unsigned m_eventBits = 0;
    std::binary_semaphore m_finished{0};
    bool m_renderTaskExists = false;
    std::atomic<unsigned long> m_frameCount{0};

    Tarn::DisplayBlock* m_displayBlock = nullptr;
};

} // namespace TW
