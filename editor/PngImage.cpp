#include "editor/PngImage.h"

#include "core/FileLoader.h"
#include "core/RegularFile.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace TW
{

namespace
{

// Deflate cannot compress better than about 1032 to 1; a file whose remaining bytes could not
// hold the image it announces is refused before the image's memory is taken.
constexpr std::size_t kMaxInflateRatio = 1100;
constexpr png_alloc_size_t kMaxChunkBytes = 4 * 1024 * 1024;
constexpr png_uint_32 kMaxAncillaryChunks = 256;

struct MemoryReader
{
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

struct ErrorText
{
    char text[160];
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->position)
        png_error(png, "unexpected end of data");
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
}

// libpng's default error handler prints; ours keeps the text and jumps back to the decoder.
[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    if (error)
        std::snprintf(error->text, sizeof(error->text), "%s", message ? message : "");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct Header
{
    int width;
    int height;
    int channels;
    int bitDepth;
    std::size_t rowBytes;
};

// The functions holding a setjmp have only trivially destructible locals: a decoder error jumps
// back into them over nothing that needs destroying.
bool ReadHeader(png_structp png, png_infop info, Header& header)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_user_limits(png, PngImage::kMaxSide, PngImage::kMaxSide);
    // Compressed text and colour profiles inflate to at most this much; chunks we do not know
    // are skipped unread.
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxAncillaryChunks);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_read_info(png, info);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    header.width = static_cast<int>(png_get_image_width(png, info));
    header.height = static_cast<int>(png_get_image_height(png, info));
    header.channels = png_get_channels(png, info);
    header.bitDepth = png_get_bit_depth(png, info);
    header.rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadRows(png_structp png, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    return true;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

bool WriteRows(png_structp png, png_infop info, const std::uint8_t* pixels, int width, int height,
               int colourType, int bitDepth, std::size_t rowBytes)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 bitDepth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row)
        png_write_row(png, pixels + static_cast<std::size_t>(row) * rowBytes);
    png_write_end(png, info);
    return true;
}

// Whether every chunk up to the end chunk lies within the data. libpng takes a chunk's memory
// before reading it and only warns about absurd lengths, so a few bytes claiming a chunk of
// gigabytes are refused here.
bool ChunksFit(const std::uint8_t* data, std::size_t size)
{
    std::size_t position = 8;
    // A chunk is its length and type (8 bytes), its data and a 4-byte check.
    while (size - position >= 8)
    {
        if (size - position < 12)
            return false;
        const std::uint32_t length = (std::uint32_t{data[position]} << 24) |
                                     (std::uint32_t{data[position + 1]} << 16) |
                                     (std::uint32_t{data[position + 2]} << 8) | data[position + 3];
        if (length > size - position - 12)
            return false;
        const bool end = std::memcmp(data + position + 4, "IEND", 4) == 0;
        position += 12 + std::size_t{length};
        if (end)
            break;
    }
    return true;
}

} // namespace

void PngImage::Clear()
{
    m_width = m_height = m_channels = m_bitDepth = 0;
    m_pixels.clear();
    m_pixels.shrink_to_fit();
}

bool PngImage::Decode(const std::uint8_t* data, std::size_t size, std::string* error)
{
    Clear();
    auto fail = [error](const char* text)
    {
        if (error)
            *error = text;
        return false;
    };
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return fail("not a PNG file");
    if (!ChunksFit(data, size))
        return fail("damaged PNG file: a chunk runs past the end");

    ErrorText errorText{};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &errorText, OnError, OnWarning);
    if (!png)
        return fail("the PNG decoder could not be created");
    png_infop info = png_create_info_struct(png);
    if (!info)
    {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail("the PNG decoder could not be created");
    }
    MemoryReader reader{data, size, 0};
    png_set_read_fn(png, &reader, ReadFromMemory);

    Header header{};
    bool ok = ReadHeader(png, info, header);
    if (ok)
    {
        const std::size_t bytes = header.rowBytes * static_cast<std::size_t>(header.height);
        const std::size_t remaining = size - reader.position;
        if (header.width <= 0 || header.height <= 0 || bytes == 0 ||
            bytes / kMaxInflateRatio > remaining)
        {
            std::snprintf(errorText.text, sizeof(errorText.text), "%s",
                          "image larger than its data");
            ok = false;
        }
        else
        {
            m_pixels.resize(bytes);
            std::vector<png_bytep> rows(static_cast<std::size_t>(header.height));
            for (int row = 0; row < header.height; ++row)
                rows[static_cast<std::size_t>(row)] =
                    m_pixels.data() + static_cast<std::size_t>(row) * header.rowBytes;
            ok = ReadRows(png, rows.data());
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok)
    {
        Clear();
        return fail(errorText.text[0] ? errorText.text : "damaged PNG file");
    }
    m_width = header.width;
    m_height = header.height;
    m_channels = header.channels;
    m_bitDepth = header.bitDepth;
    return true;
}

bool PngImage::DecodeFile(const std::string& path, std::string* error)
{
    Clear();
    // Only a regular file, opened without blocking: a FIFO in an image's place is refused.
    std::string data, why;
    if (!ReadRegularFile(path, FileLoader::kMaxResourceBytes, data, why))
    {
        if (error)
            *error = why;
        return false;
    }
    return Decode(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), error);
}

bool PngImage::Encode(std::vector<std::uint8_t>& out, const std::uint8_t* pixels, int width,
                      int height, int channels, int bitDepth)
{
    static constexpr int kColourTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                           PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    out.clear();
    if (!pixels || width <= 0 || height <= 0 || channels < 1 || channels > 4 ||
        (bitDepth != 8 && bitDepth != 16))
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info)
    {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    png_set_write_fn(png, &out, WriteToVector, FlushNothing);
    const std::size_t rowBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(channels * bitDepth / 8);
    const bool ok =
        WriteRows(png, info, pixels, width, height, kColourTypes[channels - 1], bitDepth, rowBytes);
    png_destroy_write_struct(&png, &info);
    if (!ok)
        out.clear();
    return ok;
}

bool PngImage::WriteFile(const std::string& path, const std::uint8_t* pixels, int width, int height,
                         int channels, std::string* error)
{
    std::vector<std::uint8_t> encoded;
    if (!Encode(encoded, pixels, width, height, channels))
    {
        if (error)
            *error = "cannot encode the image";
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(encoded.data()),
               static_cast<std::streamsize>(encoded.size()));
    file.close();
    if (!file)
    {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace TW
