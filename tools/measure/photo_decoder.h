#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace measure {

// A photo as 8-bit gray samples, row by row from the top, width samples per row, no padding.
struct GrayPhoto {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> samples;
};

// Why a photo could not be decoded or used: the reason alone, without file name or place.
class PhotoError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Photos of more pixels than this are refused before their samples are allocated.
constexpr std::size_t kPhotoPixelLimit = std::size_t{1} << 27;

// Photo files larger than this are refused unread.
constexpr std::size_t kPhotoFileLimit = std::size_t{512} << 20;

// Decodes a JPEG (libjpeg-turbo) or PNG (libpng) held in memory to 8-bit gray: colour as a
// JPEG's luma or a PNG's luminance (libpng's, in linear light when the file states its gamma or
// sRGB), 16-bit samples scaled to 8, a palette looked up, alpha ignored (the colour as stored).
// Throws PhotoError with the reason for data that is neither, that ends early or is corrupt, or
// that declares more than maxPixels pixels; nothing is leaked.
GrayPhoto DecodeGrayPhoto(const unsigned char* data,
                          std::size_t size,
                          std::size_t maxPixels = kPhotoPixelLimit);

// Reads the photo file and decodes it as DecodeGrayPhoto does; when width and height are
// positive, a photo of another size is refused naming both sizes. Throws PhotoError.
GrayPhoto LoadGrayPhoto(const std::string& path, int width = 0, int height = 0);

}  // namespace measure
