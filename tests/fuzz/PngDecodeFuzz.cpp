// Fuzzes the PNG decoder of the skin images: any byte string must give either an image whose
// pixel buffer is exactly its size, or an empty image and a reason; never a crash, a leak or a
// read outside the input (libpng's error jumps included).
#include "editor/PngImage.h"
#include "editor/Texture.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TW::PngImage image;
    std::string error;
    if (!image.Decode(data, size, &error))
    {
        if (!image.Empty() || error.empty() || TW::Texture::IsUsable(image))
            std::abort();
        return 0;
    }
    const std::size_t expected = static_cast<std::size_t>(image.Width()) * image.Height() *
                                 image.Channels() * image.BitDepth() / 8;
    const bool badSize =
        image.Width() < 1 || image.Height() < 1 || image.Width() > TW::PngImage::kMaxSide ||
        image.Height() > TW::PngImage::kMaxSide || image.Channels() < 1 || image.Channels() > 4;
    // Sub-byte depths pack several pixels into a byte, rounded up per row.
    if (badSize || (image.BitDepth() >= 8 && image.Pixels().size() != expected))
    {
        std::fprintf(stderr, "bad image: %d x %d, %d channels of %d bits, %zu bytes\n",
                     image.Width(), image.Height(), image.Channels(), image.BitDepth(),
                     image.Pixels().size());
        std::abort();
    }
    // Whatever was decoded can be re-encoded when the texture rules accept it.
    if (TW::Texture::IsUsable(image))
    {
        std::vector<std::uint8_t> again;
        if (!TW::PngImage::Encode(again, image.Pixels().data(), image.Width(), image.Height(),
                                  image.Channels()))
            std::abort();
    }
    return 0;
}
