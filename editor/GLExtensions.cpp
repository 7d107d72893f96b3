#include "editor/GLExtensions.h"

#include <GL/glew.h>

#include <cstdio>

namespace TW
{

bool InitGLExtensions()
{
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    // GLEW loads the GL entry points before it looks at GLX; an off-screen context has no GLX
    // display (and may offer no GLX functions), which is no fault for drawing.
    if (result == GLEW_OK || result == GLEW_ERROR_NO_GLX_DISPLAY ||
        result == GLEW_ERROR_GLX_VERSION_11_ONLY)
        return true;
    std::fprintf(stderr, "glewInit failed: %s\n",
                 reinterpret_cast<const char*>(glewGetErrorString(result)));
    return false;
}

bool HasFramebufferObjects()
{
    return GLEW_EXT_framebuffer_object || GLEW_ARB_framebuffer_object;
}

} // namespace TW
