#include "editor/Texture.h"

#include "editor/PngImage.h"

#include <GL/gl.h>

#include <filesystem>
#include <fstream>

namespace TW
{

namespace
{

bool IsReadable(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream file(path, std::ios::binary);
    return file.good();
}

bool IsPowerOfTwo(int n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

} // namespace

Texture::Texture(const std::string& name, const std::string& skinBundle,
                 const std::string& pluginBundle)
    : m_name(name)
{
    if (name.empty())
        return;
    for (const std::string* folder : {&skinBundle, &pluginBundle})
    {
        if (folder->empty())
            continue;
        std::string path = *folder + "/" + name;
        if (IsReadable(path))
        {
            m_path = std::move(path);
            return;
        }
    }
}

Texture::~Texture() = default;

std::string Texture::HighResolutionPath(const std::string& path)
{
    if (path.size() < 5)
        return {};
    return path.substr(0, path.size() - 4) + "_hi" + path.substr(path.size() - 4);
}

bool Texture::IsUsable(const PngImage& image)
{
    return !image.Empty() && IsPowerOfTwo(image.Width()) && IsPowerOfTwo(image.Height()) &&
           image.BitDepth() == 8 && (image.Channels() == 3 || image.Channels() == 4);
}

bool Texture::ReadImage(bool highResolution, PngImage& image, bool& doubleSize) const
{
    image.Clear();
    doubleSize = false;
    if (m_path.empty())
        return false;
    std::string path = m_path;
    if (highResolution)
    {
        const std::string hiPath = HighResolutionPath(m_path);
        if (IsReadable(hiPath))
        {
            path = hiPath;
            doubleSize = true;
        }
    }
    if (!image.DecodeFile(path) || !IsUsable(image))
    {
        image.Clear();
        doubleSize = false;
        return false;
    }
    return true;
}

void Texture::Load(bool highResolution)
{
    if (m_loadAttempted)
        return;
    m_loadAttempted = true;
    PngImage image;
    bool doubleSize = false;
    if (!ReadImage(highResolution, image, doubleSize))
        return;

    const GLenum format = image.Channels() == 4 ? GL_RGBA : GL_RGB;
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0)
        return;
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, image.Channels(), image.Width(), image.Height(), 0, format,
                 GL_UNSIGNED_BYTE, image.Pixels().data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    m_textureName = name;
    m_width = doubleSize ? image.Width() / 2 : image.Width();
    m_height = doubleSize ? image.Height() / 2 : image.Height();
}

void Texture::Unload()
{
    if (m_textureName != 0)
    {
        const GLuint name = m_textureName;
        glDeleteTextures(1, &name);
    }
    m_textureName = 0;
    m_loadAttempted = false;
}

void Texture::Bind() const
{
    glBindTexture(GL_TEXTURE_2D, m_textureName);
}

} // namespace TW
