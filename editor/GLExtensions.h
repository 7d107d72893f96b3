// GLEW's entry points for the current context.
#pragma once

namespace TW
{

// Drawing thread, GL current: loads the extension entry points (GLEW) for the current context.
// True when the GL entry points are usable. An off-screen context has no GLX display, which GLEW
// reports after it has loaded everything else; that counts as success here.
bool InitGLExtensions();

// Drawing thread, after InitGLExtensions: whether framebuffer objects (EXT or core) are present.
bool HasFramebufferObjects();

} // namespace TW
