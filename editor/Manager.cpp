#include "Manager.h"

#include "Effect.h"
#include "Group.h"
#include "ManagerPlatformBridge.h"
#include "StaticText.h"
#include "Texture.h"
#include "UIElement.h"

#include "core/DisplayBlock.h"
#include "core/Preferences.h"
#include "core/TarnAdditiveSynth.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace TW
{

bool Manager::ms_enableEyeCandy = true;
bool Manager::ms_enableConstantRedraw = true;
bool Manager::ms_enableTooltip = false;
unsigned Manager::ms_instanceCount = 0;
float Manager::m_bannerTextColour[4] = {0.5f, 0.5f, 0.5f, 1.0f};

namespace
{

// The background grid: 3 x 3 vertices over -1..1, rows bottom, middle, top.
constexpr float kBackgroundGrid[9][6] = {
    {0.0f, 0.0f, 0.25f, -1.0f, -1.0f, 0.0f}, {0.0f, 0.0f, 0.25f, 0.0f, -1.0f, 0.0f},
    {0.0f, 0.0f, 0.25f, 1.0f, -1.0f, 0.0f},  {0.0f, 0.0f, 0.2f, -1.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f},    {0.0f, 0.0f, 0.2f, 1.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.25f, -1.0f, 1.0f, 0.0f},  {0.0f, 0.0f, 0.25f, 0.0f, 1.0f, 0.0f},
    {0.0f, 0.0f, 0.25f, 1.0f, 1.0f, 0.0f},
};

// Every manager alive, for NudgeAllEditors.
std::mutex& EditorsLock()
{
    static std::mutex lock;
    return lock;
}
std::vector<Manager*>& Editors()
{
    static std::vector<Manager*> editors;
    return editors;
}

} // namespace

void Manager::NudgeAllEditors()
{
    std::lock_guard<std::mutex> lock(EditorsLock());
    for (Manager* editor : Editors())
        editor->NudgeGUI();
}

Manager::Manager(MusicDeviceBase* instance, ManagerPlatformBridge* bridge)
    : m_instance(instance), m_bridge(bridge)
{
    ms_enableEyeCandy = Tarn::GetPrefInt(Tarn::kPrefEnableEyeCandy, 1) != 0;
    ms_enableConstantRedraw = Tarn::GetPrefInt(Tarn::kPrefEnableConstantRedraw, 1) != 0;
    ms_enableTooltip = Tarn::GetPrefInt(Tarn::kPrefEnableFloatingTooltip, 0) != 0;
    std::memcpy(m_background, kBackgroundGrid, sizeof m_background);
    m_instanceNumber = ms_instanceCount++;

    std::uint32_t count = 0;
    std::uint32_t size = sizeof count;
    if (m_instance && m_instance->DispatchGetProperty(kPropertyParameterCount, Scope::Global, 0,
                                                      &count, &size) == kNoErr)
    {
        m_params.reserve(count);
        for (std::uint32_t id = 0; id < count; ++id)
            m_params.push_back(ParameterDescription::FromInstrument(*m_instance, id));
    }

    m_root = new Group(this);
    m_bannerText = static_cast<StaticText*>(AddEffect(new StaticText(this, false)));
    m_labelText = static_cast<StaticText*>(AddEffect(new StaticText(this, true)));

    Tarn::DisplayBlock* block = nullptr;
    size = sizeof block;
    if (m_instance && m_instance->DispatchGetProperty(kPropertyDisplayBlock, Scope::Global, 0,
                                                      &block, &size) == kNoErr)
        m_displayBlock = block;
    std::lock_guard<std::mutex> lock(EditorsLock());
    Editors().push_back(this);
}

Manager::~Manager()
{
    {
        std::lock_guard<std::mutex> lock(EditorsLock());
        std::erase(Editors(), this);
    }
    if (m_renderTaskExists)
        DestroyRenderTask();
    for (UIElement* element : m_elements)
        delete element;
    m_elements.clear();
}

void Manager::Update()
{
    m_root->Update();
    for (auto& effect : m_effects)
        effect->Update();
}

Manager::RenderingShutdowner* Manager::CreateRenderingShutdowner()
{
    return new RenderingShutdowner();
}

// ---- Layout. ----

void Manager::SetFonts(std::unique_ptr<Font> banner, std::unique_ptr<Font> label,
                       std::unique_ptr<Font> textField)
{
    auto loaded = [this](std::unique_ptr<Font> f)
    {
        if (f && !f->IsLoaded())
        {
            if (m_fontAlert.empty())
                m_fontAlert = "Unable to load font " + f->GetPath();
            return std::unique_ptr<Font>();
        }
        return f;
    };
    m_bannerFont = loaded(std::move(banner));
    m_labelFont = loaded(std::move(label));
    m_textFieldFont = loaded(std::move(textField));
}

Font* Manager::AddFont(std::unique_ptr<Font> font)
{
    m_extraFonts.push_back(std::move(font));
    return m_extraFonts.back().get();
}

Texture* Manager::AddTexture(std::unique_ptr<Texture> texture)
{
    m_textures.push_back(std::move(texture));
    return m_textures.back().get();
}

Effect* Manager::AddEffect(Effect* effect)
{
    m_effects.emplace_back(effect);
    return effect;
}

void Manager::AddElement(UIElement* element)
{
    m_elements.push_back(element);
}

void Manager::SetHelpStrings(const char** list)
{
    for (int i = 0; list && list[i]; ++i)
    {
        const int id = -2 - i;
        m_helpStrings[id] = list[i];
        if (id < m_lowestHelpId)
            m_lowestHelpId = id;
    }
    m_helpCacheId = 0;
}

int Manager::AddHelpString(const char* text)
{
    const std::string s = text ? text : "";
    for (const auto& [id, t] : m_helpStrings)
        if (t == s)
            return id;
    const int id = m_lowestHelpId - 1;
    m_helpStrings[id] = s;
    m_lowestHelpId = id;
    return id;
}

const char* Manager::GetHelpString(int id)
{
    if (id == m_helpCacheId && m_helpCacheText)
        return m_helpCacheText;
    const auto it = m_helpStrings.find(id);
    if (it == m_helpStrings.end())
        return nullptr;
    m_helpCacheId = id;
    m_helpCacheText = it->second.c_str();
    return m_helpCacheText;
}

void Manager::SetSurfaceSizeFromView(int width, int height)
{
    const int dw = m_designWidth.load(), dh = m_designHeight.load();
    const int sw = dw > 0 ? width * m_initialSurfaceWidth.load() / dw : width;
    const int sh = dh > 0 ? height * m_initialSurfaceHeight.load() / dh : height;
    m_surfaceWidth = sw;
    m_surfaceHeight = sh;
    if (m_bridge)
        m_bridge->SetSurfaceSize(sw, sh);
}

void Manager::SetWindowSize(int width, int height)
{
    m_viewWidth = width;
    m_viewHeight = height;
    if (!m_layoutDone)
    {
        // The skin's window size is the design size; until the drawing thread knows the
        // device pixels, one pixel per point.
        m_designWidth = width;
        m_designHeight = height;
        m_initialSurfaceWidth = width;
        m_initialSurfaceHeight = height;
    }
    SetSurfaceSizeFromView(width, height);
}

void Manager::SetBannerY(float y)
{
    const float height = m_bannerFont ? m_bannerFont->GetLineHeight() : 5.0f;
    m_bannerBounds = Bounds(20.0f, y, static_cast<float>(m_viewWidth.load()) - 20.0f, y + height);
}

void Manager::SetBannerBounds(float x0, float y0, float x1, float y1)
{
    m_bannerBounds = Bounds(x0, y0, x1, y1);
}

void Manager::SetBannerContent(int mode, float titleX, float readoutX)
{
    m_bannerContentMode = mode;
    m_bannerTitleX = titleX;
    m_readoutX = readoutX;
}

void Manager::SetBannerColour(float r, float g, float b, float a)
{
    m_bannerColour[0] = r, m_bannerColour[1] = g, m_bannerColour[2] = b, m_bannerColour[3] = a;
}

void Manager::SetBackgroundColour(float r, float g, float b)
{
    m_backgroundColour[0] = r, m_backgroundColour[1] = g, m_backgroundColour[2] = b;
}

void Manager::CreateControl(int x, int y)
{
    std::snprintf(m_bannerLine, sizeof m_bannerLine, "%svelluna %d.%d.%d",
                  m_bannerContentMode == 0 ? "tarnwick : " : "", 1, 1, 1);
    if (m_bannerFont && m_bannerContentMode != 2)
        m_bannerText->Add(m_bannerLine, m_bannerTitleX,
                          m_bannerBounds.minY - m_bannerFont->GetDescender(), m_bannerTextColour);
    const float w = static_cast<float>(m_viewWidth.load()),
                h = static_cast<float>(m_viewHeight.load());
    m_aspect = h > 0.0f ? w / h : 1.0f;
    m_scale2dX = w > 0.0f ? 2.0f / w : 2.0f;
    m_scale2dY = h > 0.0f ? 2.0f / h : 2.0f;
    m_fieldOfView = 65.0f;
    m_cameraDistance = 1.0f / (std::tan(0.567232f) * m_scale2dY);
    m_cameraX = w / 2.0f;
    m_cameraY = h / 2.0f;
    m_tooltipLight[0] = m_cameraX;
    m_tooltipLight[1] = m_cameraY;
    m_windowRect[0] = y;
    m_windowRect[1] = x;
    m_windowRect[2] = y + static_cast<int>(h);
    m_windowRect[3] = x + static_cast<int>(w);
    // Final positions are taken here, on the main thread before the drawing thread exists, so
    // hover tracking and the drawing thread never race over them.
    for (UIElement* element : m_elements)
        element->FinalPosition();
    m_layoutDone = true;
}

void Manager::SetEditCallbacks(EditCallback begin, EditCallback end, void* refcon)
{
    m_beginEdit = begin;
    m_endEdit = end;
    m_editRefcon = refcon;
}

void Manager::SetCaptureCallbacks(CaptureCallback begin, CaptureCallback end, void* refcon)
{
    m_beginCapture = begin;
    m_endCapture = end;
    m_captureRefcon = refcon;
}

// ---- Parameters. ----

const ParameterDescription& Manager::GetParameterDescription(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_params.size()))
        return m_noParam;
    return m_params[index];
}

float Manager::GetParameterValue(int index) const
{
    float value = 0.0f;
    if (m_instance && index >= 0)
        m_instance->DispatchGetParameter(static_cast<ParameterID>(index), Scope::Global, 0, value);
    return value;
}

void Manager::SetParameterValue(int index, float value)
{
    if (!m_instance || GetParameterDescription(index).index < 0)
        return;
    ParameterAddress address;
    address.unit = m_instance;
    address.id = static_cast<ParameterID>(index);
    AUParameterSet(nullptr, this, address, value, 0);
}

void Manager::CallEndEdit(int index)
{
    if (m_endEdit)
        m_endEdit(index, m_editRefcon);
}

void Manager::SetEditingParam(int index)
{
    const int previous = m_editingParam.load();
    if (previous == index)
        return;
    if (previous >= 0)
        CallEndEdit(previous);
    m_editingParam = index;
    if (m_beginEdit)
        m_beginEdit(index, m_editRefcon);
}

void Manager::UnsetEditingParam(int index)
{
    if (m_editingParam.load() != index || index < 0)
        return;
    CallEndEdit(index);
    m_editingParam = -1;
}

void Manager::SetMouseOverParam(int index, UIElement* element)
{
    m_mouseOverParam = index;
    m_tooltipElement = element;
    if (!ms_enableConstantRedraw)
        SetEventBits(kEventNudge);
}

void Manager::ClearMouseOverParam(int index)
{
    if (m_mouseOverParam.load() != index)
        return;
    m_mouseOverParam = -1;
    m_tooltipElement = nullptr;
    if (!ms_enableConstantRedraw)
        SetEventBits(kEventNudge);
}

void Manager::FormatParamValue(int index, char* out)
{
    const ParameterDescription& p = GetParameterDescription(index);
    const float value = GetParameterValue(index);
    out[0] = '\0';
    const std::size_t named = p.NamedValueCount();
    if (named > 0 && value >= 0.0f && value < static_cast<float>(named) &&
        static_cast<std::size_t>(value) < p.valueStrings.size())
    {
        std::snprintf(out, 65, "%s", p.valueStrings[static_cast<std::size_t>(value)].c_str());
        return;
    }
    if ((p.flags & kParameterFlagValuesHaveStrings) && m_instance && p.index >= 0)
    {
        TarnParameterStringFromValue request{static_cast<ParameterID>(index), nullptr, nullptr};
        std::uint32_t size = sizeof request;
        if (m_instance->DispatchGetProperty(kPropertyParameterStringFromValue, Scope::Global, 0,
                                            &request, &size) == kNoErr &&
            request.outString)
        {
            std::snprintf(out, 65, "%s", request.outString);
            return;
        }
    }
    if (p.unit == kUnitBoolean)
        std::snprintf(out, 65, "%s", value != 0.0f ? "On" : "Off");
    else if (p.unit == kUnitIndexed)
        std::snprintf(out, 65, "%d", static_cast<int>(value));
    else
        AUParameterFormatValue(value, 4, out, 65);
}

void Manager::DrawText(Font* font, const char* text, float x, float y)
{
    if (!font || !text)
        return;
    const std::size_t maxChars = sizeof m_scratch / sizeof m_scratch[0] / 4;
    char clipped[sizeof m_scratch / sizeof m_scratch[0] / 4 + 1];
    std::snprintf(clipped, sizeof clipped, "%s", text);
    (void)maxChars;
    const int count = font->DrawIntoBuffer(m_scratch, clipped, x, y, nullptr);
    if (count > 0)
        font->DrawFromBuffer(m_scratch, count);
}

namespace
{

// Appends piece to the read-out text, joined by a single space.
void AppendPiece(char* out, const char* piece)
{
    if (!out || !piece)
        return;
    const std::size_t used = std::strlen(out);
    if (used + 1 >= static_cast<std::size_t>(Manager::kReadoutTextSize))
        return;
    std::snprintf(out + used, Manager::kReadoutTextSize - used, "%s%s", used ? " " : "", piece);
}

} // namespace

void Manager::DrawParamValue(Font* font, int index, float x, float y, char* out)
{
    const ParameterDescription& p = GetParameterDescription(index);
    if (out)
        out[0] = '\0';
    char value[kParamTextSize];
    FormatParamValue(index, value);
    char name[kParamTextSize];
    std::snprintf(name, 65, "%s", p.name.c_str());
    if (font)
    {
        const float nameWidth = font->GetStringWidth(name);
        m_nameText.Update(font, name, x + 150.0f - 10.0f - nameWidth, y);
        m_nameText.Draw(font);
        m_valueText.Update(font, value, x + 150.0f, y);
        m_valueText.Draw(font);
    }
    AppendPiece(out, name);
    AppendPiece(out, value);
    float px = x + 150.0f;
    if (font)
        px += font->GetStringWidth(value);
    px += 40.0f;
    if (p.unit != kUnitBoolean && p.unit != kUnitMIDINoteNumber)
    {
        const char* unit = p.UnitAbbreviation();
        if (font)
        {
            m_unitText.Update(font, unit, px, y);
            m_unitText.Draw(font);
            px += font->GetStringWidth(unit);
        }
        px += 10.0f;
        if (unit[0])
            AppendPiece(out, unit);
    }
    char* cursor = out ? out + std::strlen(out) : nullptr;
    ExtendParamValue(font, index, px, y, cursor);
}

void Manager::ExtendParamValue(Font*, int, float&, float&, char*&) {}

Point Manager::ScaledMousePos(Point pos) const
{
    const int vw = m_viewWidth.load(), vh = m_viewHeight.load();
    const int dw = m_designWidth.load(), dh = m_designHeight.load();
    if ((vw == dw && vh == dh) || vw <= 0 || vh <= 0)
        return pos;
    return Point{pos.x * static_cast<float>(dw) / static_cast<float>(vw),
                 pos.y * static_cast<float>(dh) / static_cast<float>(vh)};
}

float Manager::ActivityLevel() const
{
    if (!m_displayBlock)
        return 0.0f;
    const float level = m_displayBlock->activity.load(std::memory_order_relaxed);
    return level > 0.2f ? 0.2f : (level > 0.0f ? level : 0.0f);
}

bool Manager::IsInHoverMap(const UIElement* element) const
{
    return m_hoverMap.count(const_cast<UIElement*>(element)) != 0;
}

} // namespace TW
