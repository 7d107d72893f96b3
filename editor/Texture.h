// A skin image: a PNG from the skin's bundle or the plug-in's own, made into a GL texture on the
// drawing thread. The manager keeps the list of textures it creates and loads them in its
// InitGL; a texture knows nothing of the manager.
#pragma once

#include <string>

namespace TW
{

class PngImage;

class Texture
{
public:
    // Resolves the path of the resource `name`: <skinBundle>/<name> when that file can be opened
    // for reading, else <pluginBundle>/<name>, else empty (never loads). Either folder may be
    // empty. Main thread.
    Texture(const std::string& name, const std::string& skinBundle,
            const std::string& pluginBundle);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Drawing thread, GL current. Runs once: later calls do nothing until Unload. With
    // `highResolution` the "_hi" variant (knob.png -> knob_hi.png) is used when it can be read,
    // at half its pixel size. Only images whose sides are powers of two, with 3 or 4 channels of
    // 8 bits, are made into a texture; anything else leaves the texture unloaded (name 0).
    void Load(bool highResolution);
    // Drawing thread: deletes the GL texture; Load may run again.
    void Unload();
    // Drawing thread: binds the texture (0 when not loaded: untextured).
    void Bind() const;

    // Any thread, no GL: reads and decodes the file Load would use and checks it; true with the
    // image, its size in design pixels and whether it is a double-size ("_hi") image.
    bool ReadImage(bool highResolution, PngImage& image, bool& doubleSize) const;
    // Whether an image can be a texture: power-of-two sides, 3 or 4 channels of 8 bits.
    static bool IsUsable(const PngImage& image);
    // The path with "_hi" before its last four characters; empty for a path shorter than 5.
    static std::string HighResolutionPath(const std::string& path);

    const std::string& GetName() const { return m_name; }
    const std::string& GetPath() const { return m_path; }
    unsigned GetTextureName() const { return m_textureName; }
    bool IsLoaded() const { return m_textureName != 0; }
    bool WasLoadAttempted() const { return m_loadAttempted; }
    // Size in design pixels (the image's pixels, halved for a "_hi" image); 0 before loading.
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

private:
    std::string m_name;
    std::string m_path;
    unsigned m_textureName = 0;
    bool m_loadAttempted = false;
    int m_width = 0;
    int m_height = 0;
};

} // namespace TW
