// The manager's drawing thread: its loop, GL set-up and shut-down, and the passes of a frame.
#include "Manager.h"

#include "Effect.h"
#include "GLExtensions.h"
#include "Group.h"
#include "ManagerPlatformBridge.h"
#include "Texture.h"
#include "UIElement.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace TW
{

namespace
{

constexpr float kBaseRed[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr float kBaseBlue[9] = {0.22f, 0.22f, 0.22f, 0.20f, 0.20f, 0.20f, 0.23f, 0.23f, 0.23f};
constexpr float kPhaseMultiplier[9] = {1.0f, 1.1f, 0.9f, 1.05f, 0.8f, 0.95f, 1.1f, 1.02f, 0.97f};
constexpr GLubyte kBackgroundStrip[12] = {0, 3, 1, 4, 2, 5, 5, 8, 4, 7, 3, 6};

// Framebuffer objects through the core entry points when present, else the EXT ones.
bool CoreFramebuffers()
{
    return GLEW_ARB_framebuffer_object || GLEW_VERSION_3_0;
}

void GenFramebuffer(GLuint* name)
{
    CoreFramebuffers() ? glGenFramebuffers(1, name) : glGenFramebuffersEXT(1, name);
}

void BindFramebuffer(GLuint name)
{
    CoreFramebuffers() ? glBindFramebuffer(GL_FRAMEBUFFER, name)
                       : glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, name);
}

void DeleteFramebuffer(GLuint* name)
{
    CoreFramebuffers() ? glDeleteFramebuffers(1, name) : glDeleteFramebuffersEXT(1, name);
}

bool AttachTexture(GLuint texture)
{
    if (CoreFramebuffers())
    {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture,
                              0);
    return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
}

} // namespace

void Manager::SetEventBits(unsigned bits)
{
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        m_eventBits |= bits;
    }
    m_eventCondition.notify_one();
}

void Manager::CreateRenderTask()
{
    if (m_renderTaskExists)
    {
        std::fprintf(stderr, "double call to CreateRenderTask()\n");
        return;
    }
    m_shutdowner.reset(CreateRenderingShutdowner());
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        m_eventBits = 0;
    }
    while (m_finished.try_acquire())
    {
    }
    try
    {
        m_renderThread = std::thread(&Manager::RenderTaskMain, this);
    }
    catch (const std::system_error& e)
    {
        std::fprintf(stderr, "MPCreateTask returned %d\n", e.code().value());
        return;
    }
    m_renderTaskExists = true;
}

void Manager::DestroyRenderTask()
{
    if (!m_renderTaskExists)
        return;
    SetEventBits(kEventQuit);
    if (!m_finished.try_acquire_for(
            std::chrono::milliseconds(static_cast<int>(kShutdownTimeoutSeconds * 1000))))
        // The thread cannot be killed safely inside a host's process (it may hold the font
        // lock or the GL driver's); it is waited for.
        std::fprintf(stderr, "DestroyRenderTask timeout on shutdown\n");
    m_renderThread.join();
    m_renderTaskExists = false;
}

void Manager::RenderTaskMain()
{
    InitGL();
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now();
    double lastRate = 0.0;
    for (;;)
    {
        const Clock::time_point now = Clock::now();
        const double dt = std::max(1e-6, std::chrono::duration<double>(now - last).count());
        last = now;
        const double rate = 0.5 * (1.0 / dt + lastRate);
        lastRate = 1.0 / dt;
        m_frameRate = rate > 1e6 ? 0.0 : rate;
        m_elapsed += dt;
        AnimateBackground(dt);
        Update();
        Draw();
        m_frameCount.fetch_add(1);

        unsigned bits;
        {
            std::unique_lock<std::mutex> lock(m_eventLock);
            auto pending = [this] { return m_eventBits != 0; };
            if (ms_enableConstantRedraw)
                m_eventCondition.wait_for(lock, std::chrono::milliseconds(33), pending);
            else
                m_eventCondition.wait(lock, pending);
            bits = m_eventBits;
            m_eventBits = 0;
            if ((bits & kEventPause) && !(bits & kEventQuit))
            {
                m_eventCondition.wait(lock, pending);
                bits = m_eventBits;
                m_eventBits = 0;
            }
        }
        if (bits & kEventQuit)
            break;
        if ((bits & kEventResize) && m_bridge)
            m_bridge->RenderTaskHandleResize();
        if ((bits & kEventRedrawLabels) && m_glReady)
            RedrawLabels();
    }
    ShutdownGL();
    m_finished.release();
}

void Manager::InitGL()
{
    const bool bridgeReady = m_bridge && m_bridge->InitGL();
    int sw = m_viewWidth.load(), sh = m_viewHeight.load();
    if (m_bridge)
        m_bridge->UpdateSizesForRetina(sw, sh);
    m_initialSurfaceWidth = sw;
    m_initialSurfaceHeight = sh;
    m_surfaceWidth = sw;
    m_surfaceHeight = sh;
    if (m_bridge)
        m_bridge->SetSurfaceSize(sw, sh);
    const int dw = std::max(1, m_designWidth.load());
    m_scaleFactor = std::max(1, sw / dw);
    m_highResolution = m_scaleFactor > 1;
    if (!bridgeReady || !InitGLExtensions())
        return;
    m_bridge->RenderTaskHandleResize();
    glDisable(GL_MULTISAMPLE);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    for (auto& texture : m_textures)
        if (!texture->WasLoadAttempted())
            texture->Load(m_highResolution);
    for (Font* font : {m_bannerFont.get(), m_labelFont.get(), m_textFieldFont.get()})
        if (font)
            font->Preload(m_scaleFactor);
    for (auto& font : m_extraFonts)
        if (font)
            font->Preload(m_scaleFactor);
    for (UIElement* element : m_elements)
        element->InitialiseRendering();
    for (auto& effect : m_effects)
        effect->InitialiseRendering();
    InitialiseRendering();
    m_bridge->PostInitGL();
    InitLabelTexture();
    if (m_labelFont)
        m_labelFont->Preload(m_scaleFactor);
    m_glReady = true;
    RedrawLabels();
}

void Manager::InitLabelTexture()
{
    m_labelTextureWidth = m_highResolution ? 2048 : 1024;
    m_labelTextureHeight = m_highResolution ? 1024 : 512;
    glGenTextures(1, &m_labelTexture);
    glBindTexture(GL_TEXTURE_2D, m_labelTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, m_labelTextureWidth, m_labelTextureHeight, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    m_labelsThroughFramebuffer = false;
    if (m_bridge->GetUseFramebufferObjects() && HasFramebufferObjects())
    {
        GenFramebuffer(&m_labelFramebuffer);
        BindFramebuffer(m_labelFramebuffer);
        m_labelsThroughFramebuffer = AttachTexture(m_labelTexture);
        BindFramebuffer(0);
        if (!m_labelsThroughFramebuffer)
        {
            DeleteFramebuffer(&m_labelFramebuffer);
            m_labelFramebuffer = 0;
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    if (!m_labelsThroughFramebuffer)
        m_bridge->InitGLOffscreen(m_initialSurfaceWidth.load(), m_initialSurfaceHeight.load());
}

void Manager::RedrawLabels()
{
    const int sw = m_initialSurfaceWidth.load(), sh = m_initialSurfaceHeight.load();
    if (m_labelsThroughFramebuffer)
        BindFramebuffer(m_labelFramebuffer);
    else
        m_bridge->MakeOffscreenCurrent();
    glViewport(0, 0, sw, sh);
    glClearColor(m_backgroundColour[0], m_backgroundColour[1], m_backgroundColour[2], 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (m_labelsThroughFramebuffer)
        glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(-1.0f, -1.0f, 0.0f);
    glScalef(m_scale2dX, m_scale2dY, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    RenderBackground();
    if (m_labelFont)
        for (const UIElement* element : m_elements)
            if (element->IsVisible())
                element->DrawLabel(m_labelFont.get());
    if (m_labelsThroughFramebuffer)
    {
        BindFramebuffer(0);
        return;
    }
    glFinish();
    m_bridge->MakeCurrent();
    const std::uint8_t* pixels = m_bridge->OffscreenPixels();
    if (!pixels)
        return;
    const int w = std::min(m_bridge->OffscreenWidth(), m_labelTextureWidth);
    const int h = std::min(m_bridge->OffscreenHeight(), m_labelTextureHeight);
    glBindTexture(GL_TEXTURE_2D, m_labelTexture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, m_bridge->OffscreenWidth());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void Manager::ShutdownGL()
{
    if (m_bridge && m_glReady)
    {
        m_bridge->MakeCurrent();
        for (auto& texture : m_textures)
            texture->Unload();
        for (Font* font : {m_bannerFont.get(), m_labelFont.get(), m_textFieldFont.get()})
            if (font)
                font->Unload();
        for (auto& font : m_extraFonts)
            if (font)
                font->Unload();
        for (auto& effect : m_effects)
            effect->ShutdownRendering();
        if (m_shutdowner)
            m_shutdowner->ShutdownRendering();
        for (const auto& [first, count] : m_displayLists)
            glDeleteLists(first, count);
        m_displayLists.clear();
        if (m_labelTexture)
            glDeleteTextures(1, &m_labelTexture);
        if (m_labelFramebuffer)
            DeleteFramebuffer(&m_labelFramebuffer);
        m_labelTexture = m_labelFramebuffer = 0;
        m_glReady = false;
    }
    if (m_bridge)
        m_bridge->ShutdownGL();
}

void Manager::AnimateBackground(double dt)
{
    const float level = ActivityLevel();
    m_backgroundPhase += (level * 20.0 + 0.3) * dt;
    for (int i = 0; i < 9; ++i)
    {
        const float m = static_cast<float>(std::sin(kPhaseMultiplier[i] * m_backgroundPhase)) *
                        (10.0f * level + 1.0f) * 0.05f;
        m_background[i][0] = kBaseRed[i] - m;
        m_background[i][2] = kBaseBlue[i] - m;
    }
}

void Manager::Draw()
{
    if (!m_bridge || !m_bridge->MakeCurrent() || !m_glReady)
        return;
    glViewport(0, 0, m_surfaceWidth.load(), m_surfaceHeight.load());
    // The clear obeys the depth write mask, which the passes leave off.
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);

    // The moving background.
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glInterleavedArrays(GL_C3F_V3F, 0, m_background);
    glDrawElements(GL_TRIANGLE_STRIP, 12, GL_UNSIGNED_BYTE, kBackgroundStrip);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);

    Draw3d();

    glDepthRange(0.0, 0.1);
    glDisable(GL_DEPTH_TEST);
    DrawBackground();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(-1.0f, -1.0f, 0.0f);
    glScalef(m_scale2dX, m_scale2dY, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Draw2d();

    m_bridge->SwapBuffers();
}

void Manager::Draw3d()
{
    static const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    static const GLfloat diffuse[4] = {0.6f, 0.6f, 0.6f, 1.0f};
    static const GLfloat specular[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    static const GLfloat position[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const GLfloat material[4] = {0.7f, 0.5f, 0.5f, 1.0f};
    glDepthRange(0.1, 1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(m_fieldOfView, m_aspect, m_cameraDistance, 100.0 * m_cameraDistance);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(m_cameraX, m_cameraY, m_cameraDistance, m_cameraX, m_cameraY, 0.0, 0.0, 1.0, 0.0);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glDisable(GL_LIGHT1);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40.0f);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_CULL_FACE);
    for (auto& effect : m_effects)
        effect->Render3d();
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
}

void Manager::DrawBackground()
{
    if (!m_labelTexture)
        return;
    const float s = static_cast<float>(m_initialSurfaceWidth.load()) / m_labelTextureWidth;
    const float t = static_cast<float>(m_initialSurfaceHeight.load()) / m_labelTextureHeight;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, m_labelTexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, t); // row 0 of the texture is the top of the window
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(s, t);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(s, 0.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void Manager::Draw2d()
{
    static const GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    static const GLfloat diffuse0[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    static const GLfloat specular0[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    static const GLfloat direction0[4] = {0.6f, 0.6f, 0.5f, 0.0f};
    static const GLfloat diffuse1[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    static const GLfloat specular1[4] = {0.5f, 0.5f, 0.7f, 1.0f};
    static const GLfloat material[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    if (UIElement* hovered = m_mouseOverElement.load())
    {
        Bounds b;
        hovered->GetWorldBounds(b);
        if (!b.IsEmpty())
        {
            m_tooltipLight[0] = 0.9f * m_tooltipLight[0] + 0.1f * b.CentreX();
            m_tooltipLight[1] = 0.9f * m_tooltipLight[1] + 0.1f * b.CentreY();
        }
    }
    const GLfloat position1[4] = {m_tooltipLight[0], m_tooltipLight[1], 100.0f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular0);
    glLightfv(GL_LIGHT0, GL_POSITION, direction0);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular1);
    glLightfv(GL_LIGHT1, GL_POSITION, position1);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, material);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40.0f);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);

    DrawBanner();
    Render();
    DrawTooltip();
}

void Manager::DrawBanner()
{
    Font* font = m_bannerFont.get();
    if (!font && !m_fontAlert.empty())
    {
        // No banner font: the alert still shows, in a font that did load.
        font = m_labelFont ? m_labelFont.get() : m_textFieldFont.get();
        if (font)
        {
            glColor4fv(m_bannerTextColour);
            m_helpText.Update(font, m_fontAlert.c_str(), m_readoutX < 0.0f ? 25.0f : m_readoutX,
                              m_bannerBounds.IsEmpty() ? 5.0f : m_bannerBounds.minY);
            m_helpText.Draw(font);
        }
        return;
    }
    if (!font)
        return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(m_bannerColour);
    if (!m_bannerBounds.IsEmpty())
        glRectf(m_bannerBounds.minX, m_bannerBounds.minY, m_bannerBounds.maxX, m_bannerBounds.maxY);
    glDisable(GL_BLEND);
    float x = m_readoutX;
    if (x < 0.0f)
        x = m_bannerContentMode == 2 ? 25.0f : 0.5f * m_designWidth.load() + 15.0f;
    const float y = m_bannerBounds.minY - font->GetDescender();
    glColor4fv(m_bannerTextColour);
    int id = m_editingParam.load();
    if (id < 0)
        id = m_mouseOverParam.load();
    m_readout[0] = '\0';
    if (id >= 0)
        DrawParamValue(font, id, x, y, ms_enableTooltip ? m_readout : nullptr);
    else if (id < -1)
    {
        if (const char* help = GetHelpString(id))
        {
            m_helpText.Update(font, help, x, y);
            m_helpText.Draw(font);
            std::snprintf(m_readout, sizeof m_readout, "%s", help);
        }
    }
    else if (!m_fontAlert.empty())
    {
        m_helpText.Update(font, m_fontAlert.c_str(), x, y);
        m_helpText.Draw(font);
    }
}

void Manager::DrawTooltip()
{
    if (!ms_enableTooltip)
        return;
    Font* font = m_bannerFont.get();
    UIElement* element = m_tooltipElement.load();
    if (element && m_readout[0] && font)
    {
        m_tooltipOpacity = 0.84f * m_tooltipOpacity + 0.16f;
        Bounds b;
        element->GetWorldBounds(b);
        const float width = font->GetStringWidth(m_readout);
        float x = std::max(5.0f, (b.minX + b.maxX - width) / 2.0f);
        x = std::min(x, static_cast<float>(m_designWidth.load()) - 5.0f - width);
        m_tooltipBox[0] = x;
        m_tooltipBox[1] = (b.minY + b.maxY) / 2.0f;
        m_tooltipBox[2] = width;
        m_tooltipText.Update(font, m_readout, x, m_tooltipBox[1] - font->GetLineHeight());
    }
    else
    {
        m_tooltipOpacity *= 0.89f;
        if (m_tooltipOpacity < 1.0f / 255.0f)
            m_tooltipOpacity = 0.0f;
    }
    if (m_tooltipOpacity <= 0.0f || !font)
        return;
    const float lineHeight = font->GetLineHeight();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.7f, 0.7f, 0.7f, m_tooltipOpacity / 2.0f);
    glRectf(m_tooltipBox[0] - 5.0f, m_tooltipBox[1] - lineHeight,
            m_tooltipBox[0] + m_tooltipBox[2] + 5.0f, m_tooltipBox[1]);
    glColor4f(0.8f, 0.8f, 0.8f, 0.9f * m_tooltipOpacity);
    m_tooltipText.Draw(font);
    glDisable(GL_BLEND);
}

void Manager::Render()
{
    // The lights are set for the pass; elements with normals (the slider banks) switch
    // lighting on for themselves, flat ones keep their colours.
    m_root->Render();
    glDepthMask(GL_FALSE);
    for (auto& effect : m_effects)
        effect->Render2d();
    if (m_renderPass2)
        m_root->RenderPass2();
}

} // namespace TW
