// A PNG image decoded from memory with libpng, kept as it is stored (no conversions): 8-bit RGB
// or RGBA, 16-bit, grey, palette... Texture decides what it can use. Needs no GL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace TW
{

class PngImage
{
public:
    // Decodes a whole PNG file held in memory. On any decoder error (a damaged or truncated
    // file, a size above kMaxSide) returns false, leaves this image empty and says why in
    // *error when given. Any thread.
    bool Decode(const std::uint8_t* data, std::size_t size, std::string* error = nullptr);
    // Reads the file and decodes it. Any thread.
    bool DecodeFile(const std::string& path, std::string* error = nullptr);

    // Any thread: writes `rows` (top row first, `channels` bytes a pixel, 8 bits each, 3 or 4
    // channels) as a PNG file. False when the file cannot be written.
    static bool WriteFile(const std::string& path, const std::uint8_t* pixels, int width,
                          int height, int channels, std::string* error = nullptr);
    // The same into memory. Any thread.
    static bool Encode(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width,
                       int height, int channels, int bitDepth = 8);

    void Clear();
    bool Empty() const { return m_pixels.empty(); }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Channels() const { return m_channels; }
    int BitDepth() const { return m_bitDepth; }
    // Rows in file order (the top row first), each Width x Channels x BitDepth / 8 bytes.
    const std::vector<std::uint8_t>& Pixels() const { return m_pixels; }

    // Wider or higher images are refused before any memory is taken for them.
    static constexpr int kMaxSide = 8192;

private:
    int m_width = 0;
    int m_height = 0;
    int m_channels = 0;
    int m_bitDepth = 0;
    std::vector<std::uint8_t> m_pixels;
};

} // namespace TW
