#include "editor/ManagerPlatformBridge.h"

#include <cstdlib>
#include <cstring>

namespace TW
{

ManagerPlatformBridge::ManagerPlatformBridge()
{
    m_devicePixelScale.store(DefaultDevicePixelScale());
    const char* noFbo = std::getenv("VELLUNA_EDITOR_NO_FBO");
    m_useFramebufferObjects.store(!(noFbo && *noFbo && std::strcmp(noFbo, "0") != 0));
}

ManagerPlatformBridge::~ManagerPlatformBridge() = default;

void ManagerPlatformBridge::UpdateSizesForRetina(int& width, int& height)
{
    const int scale = GetDevicePixelScale();
    width *= scale;
    height *= scale;
}

void ManagerPlatformBridge::SetSurfaceSize(int width, int height)
{
    m_surfaceWidth.store(width < 1 ? 1 : width);
    m_surfaceHeight.store(height < 1 ? 1 : height);
}

void ManagerPlatformBridge::GetSurfaceSize(int& width, int& height) const
{
    width = m_surfaceWidth.load();
    height = m_surfaceHeight.load();
}

void ManagerPlatformBridge::SetDevicePixelScale(int scale)
{
    m_devicePixelScale.store(scale < 1 ? 1 : (scale > 8 ? 8 : scale));
}

int ManagerPlatformBridge::DefaultDevicePixelScale()
{
    const char* text = std::getenv("GDK_SCALE");
    if (!text || !*text)
        return 1;
    char* end = nullptr;
    const long scale = std::strtol(text, &end, 10);
    if (*end != '\0' || scale < 1 || scale > 8)
        return 1;
    return static_cast<int>(scale);
}

} // namespace TW
