#include "editor/GLExtensions.h"

#include <GL/glew.h>

#include <cstdio>

namespace TW
{

bool InitGLExtensions()
{
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    if (result == GLEW_OK || result == GLEW_ERROR_NO_GLX_DISPLAY)
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
