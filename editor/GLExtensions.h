// GLEW's entry points for the current context.
#pragma once

namespace TW
{

// Drawing thread, GL current: loads the extension entry points (GLEW) for the current context.
// True when the GL entry points are usable. GLEW's complaints about GLX, which it reports after
// it has loaded everything else, count as success: an off-screen context has no GLX display.
bool InitGLExtensions();

// Drawing thread, after InitGLExtensions: whether framebuffer objects (EXT or core) are present.
bool HasFramebufferObjects();

} // namespace TW
