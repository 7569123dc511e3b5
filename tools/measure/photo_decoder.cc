#include "measure/photo_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "measure/input_error.h"
#include "measure/json_node.h"

// clang-format off
#include <jpeglib.h>  // after <cstdio>: it uses FILE and size_t without including them
#include <jerror.h>
// clang-format on
#include <png.h>

// Both libraries report errors by longjmp. Each decoder keeps its C state in a record owned by
// the caller (destroyed by its destructor on every path); the functions that call setjmp hold
// no object with a destructor and change no local that is read after the jump, so a jump back
// skips nothing.

namespace measure {

namespace {

// A progressive JPEG may have any number of scans, each a pass over the whole image; real
// encoders write about ten, a crafted file thousands to make decoding crawl.
constexpr int kMaxJpegScans = 1000;

// libjpeg's working memory (coefficient buffers of a progressive JPEG) is capped at this.
constexpr long kJpegMemoryLimit = 1L << 30;

std::string Size(std::size_t width, std::size_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

void CheckPixels(std::size_t width, std::size_t height, std::size_t maxPixels) {
    if (width == 0 || height == 0 || width > maxPixels / height) {
        throw PhotoError("the image declares " + Size(width, height) + " pixels; at most " +
                         std::to_string(maxPixels) + " are decoded");
    }
}

// ---- JPEG ----

struct JpegError {
    jpeg_error_mgr manager;  // first: libjpeg passes its address as cinfo->err
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 64];
};

JpegError& ErrorOf(j_common_ptr common) {
    return *reinterpret_cast<JpegError*>(common->err);
}

[[noreturn]] void JpegFail(j_common_ptr common) {
    JpegError& error = ErrorOf(common);
    (*common->err->format_message)(common, error.message);
    std::longjmp(error.jump, 1);
}

// Warnings that mean damaged or missing image data stop the decoding; others (an unknown JFIF
// revision, bytes between markers) are harmless and ignored. Nothing is printed.
void JpegMessage(j_common_ptr common, int level) {
    if (level != -1) {
        return;  // trace messages
    }
    switch (common->err->msg_code) {
        case JWRN_ARITH_BAD_CODE:
        case JWRN_BOGUS_PROGRESSION:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_JPEG_EOF:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
            JpegFail(common);
        default:
            break;
    }
}

void JpegQuiet(j_common_ptr) {}

void JpegProgress(j_common_ptr common) {
    if (common->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxJpegScans) {
        JpegError& error = ErrorOf(common);
        std::snprintf(
            error.message, sizeof error.message, "more than %d progressive scans", kMaxJpegScans);
        std::longjmp(error.jump, 1);
    }
}

struct JpegDecoder {
    jpeg_decompress_struct info{};
    JpegError error{};
    jpeg_progress_mgr progress{};

    JpegDecoder() {
        info.err = jpeg_std_error(&error.manager);
        error.manager.error_exit = JpegFail;
        error.manager.emit_message = JpegMessage;
        error.manager.output_message = JpegQuiet;
        progress.progress_monitor = JpegProgress;
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&info); }  // also when never created (mem null)
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
};

// Reads the header and starts decompressing to gray (CMYK as it is); false after an error.
// The pixel count is checked before libjpeg allocates for the image.
bool JpegStart(JpegDecoder& decoder,
               const unsigned char* data,
               std::size_t size,
               std::size_t maxPixels) {
    if (setjmp(decoder.error.jump)) {
        return false;
    }
    jpeg_create_decompress(&decoder.info);
    decoder.info.progress = &decoder.progress;
    decoder.info.mem->max_memory_to_use = kJpegMemoryLimit;
    jpeg_mem_src(&decoder.info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder.info, TRUE);
    const std::size_t width = decoder.info.image_width;
    const std::size_t height = decoder.info.image_height;
    if (width == 0 || height == 0 || width > maxPixels / height) {
        std::snprintf(decoder.error.message,
                      sizeof decoder.error.message,
                      "the image declares %zu x %zu pixels; at most %zu are decoded",
                      width,
                      height,
                      maxPixels);
        return false;
    }
    switch (decoder.info.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            decoder.info.out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            decoder.info.out_color_space = JCS_CMYK;
            break;
        default:
            std::snprintf(decoder.error.message,
                          sizeof decoder.error.message,
                          "unsupported colour space (%d components)",
                          decoder.info.num_components);
            return false;
    }
    jpeg_start_decompress(&decoder.info);
    return true;
}

// Decodes the rows into gray (width bytes each, row after row); CMYK rows go through cmykRow
// (4 width bytes) and are converted to their luma. False after an error.
bool JpegRead(JpegDecoder& decoder, unsigned char* gray, unsigned char* cmykRow) {
    if (setjmp(decoder.error.jump)) {
        return false;
    }
    jpeg_decompress_struct& info = decoder.info;
    const std::size_t width = info.output_width;
    // Adobe's CMYK JPEGs store the inks inverted (255: no ink).
    const bool inverted = info.saw_Adobe_marker;
    while (info.output_scanline < info.output_height) {
        unsigned char* const out = gray + info.output_scanline * width;
        JSAMPROW row = cmykRow != nullptr ? cmykRow : out;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            std::snprintf(decoder.error.message, sizeof decoder.error.message, "no more rows");
            return false;
        }
        for (std::size_t i = 0; cmykRow != nullptr && i < width; ++i) {
            const unsigned char* ink = cmykRow + 4 * i;
            const auto paper = [&](int channel) {
                const unsigned value = inverted ? ink[channel] : 255u - ink[channel];
                const unsigned black = inverted ? ink[3] : 255u - ink[3];
                return value * black / 255u;
            };
            out[i] = static_cast<unsigned char>(
                (299u * paper(0) + 587u * paper(1) + 114u * paper(2) + 500u) / 1000u);
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

GrayPhoto DecodeJpeg(const unsigned char* data, std::size_t size, std::size_t maxPixels) {
    JpegDecoder decoder;
    if (!JpegStart(decoder, data, size, maxPixels)) {
        throw PhotoError(std::string("cannot decode the JPEG: ") + decoder.error.message);
    }
    GrayPhoto photo;
    photo.width = static_cast<int>(decoder.info.output_width);
    photo.height = static_cast<int>(decoder.info.output_height);
    photo.samples.resize(static_cast<std::size_t>(photo.width) * photo.height);
    std::vector<unsigned char> cmykRow;
    if (decoder.info.out_color_space == JCS_CMYK) {
        cmykRow.resize(4 * static_cast<std::size_t>(photo.width));
    }
    if (!JpegRead(decoder, photo.samples.data(), cmykRow.empty() ? nullptr : cmykRow.data())) {
        throw PhotoError(std::string("cannot decode the JPEG: ") + decoder.error.message);
    }
    return photo;
}

// ---- PNG ----

struct PngSource {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t offset = 0;
    char message[256] = "";
};

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
    PngSource& source = *static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source.message, sizeof source.message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t length) {
    PngSource& source = *static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source.size - source.offset) {
        png_error(png, "the file ends early (truncated)");
    }
    std::memcpy(out, source.data + source.offset, length);
    source.offset += length;
}

struct PngDecoder {
    PngSource source;
    png_structp png = nullptr;
    png_infop info = nullptr;

    ~PngDecoder() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
    PngDecoder() = default;
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;
};

// Reads the header and sets the transformations to 8-bit gray; false after an error. width and
// height are written once read.
bool PngStart(PngDecoder& decoder, std::size_t& width, std::size_t& height) {
    if (setjmp(png_jmpbuf(decoder.png))) {
        return false;
    }
    png_structp png = decoder.png;
    png_set_read_fn(png, &decoder.source, PngRead);
    png_read_info(png, decoder.info);
    width = png_get_image_width(png, decoder.info);
    height = png_get_image_height(png, decoder.info);
    const int colour = png_get_color_type(png, decoder.info);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colour == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, decoder.info) < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    png_set_scale_16(png);
    png_set_strip_alpha(png);
    if ((colour & PNG_COLOR_MASK_COLOR) != 0) {
        png_set_rgb_to_gray_fixed(png, PNG_ERROR_ACTION_NONE, -1, -1);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, decoder.info);
    if (png_get_channels(png, decoder.info) != 1 || png_get_bit_depth(png, decoder.info) != 8) {
        png_error(png, "the image does not convert to 8-bit gray");
    }
    return true;
}

bool PngReadRows(PngDecoder& decoder, png_bytepp rows) {
    if (setjmp(png_jmpbuf(decoder.png))) {
        return false;
    }
    png_read_image(decoder.png, rows);
    png_read_end(decoder.png, nullptr);
    return true;
}

GrayPhoto DecodePng(const unsigned char* data, std::size_t size, std::size_t maxPixels) {
    PngDecoder decoder;
    decoder.source.data = data;
    decoder.source.size = size;
    decoder.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoder.source, PngFail, PngWarning);
    if (decoder.png != nullptr) {
        decoder.info = png_create_info_struct(decoder.png);
    }
    if (decoder.info == nullptr) {
        throw PhotoError("cannot decode the PNG: out of memory");
    }
    std::size_t width = 0;
    std::size_t height = 0;
    if (!PngStart(decoder, width, height)) {
        throw PhotoError(std::string("cannot decode the PNG: ") + decoder.source.message);
    }
    CheckPixels(width, height, maxPixels);
    GrayPhoto photo;
    photo.width = static_cast<int>(width);
    photo.height = static_cast<int>(height);
    photo.samples.resize(width * height);
    std::vector<png_bytep> rows(height);
    for (std::size_t row = 0; row < height; ++row) {
        rows[row] = photo.samples.data() + row * width;
    }
    if (!PngReadRows(decoder, rows.data())) {
        throw PhotoError(std::string("cannot decode the PNG: ") + decoder.source.message);
    }
    return photo;
}

}  // namespace

GrayPhoto DecodeGrayPhoto(const unsigned char* data, std::size_t size, std::size_t maxPixels) {
    const unsigned char jpeg[3] = {0xFF, 0xD8, 0xFF};
    const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data != nullptr && size >= 3 && std::equal(jpeg, jpeg + 3, data)) {
        return DecodeJpeg(data, size, maxPixels);
    }
    if (data != nullptr && size >= 8 && std::equal(png, png + 8, data)) {
        return DecodePng(data, size, maxPixels);
    }
    throw PhotoError("not a JPEG or PNG image");
}

GrayPhoto LoadGrayPhoto(const std::string& path, int width, int height) {
    std::string bytes;
    try {
        bytes = ReadTextFile(path, kPhotoFileLimit);
    } catch (const InputError& error) {
        throw PhotoError("the file " + error.Message());
    }
    GrayPhoto photo =
        DecodeGrayPhoto(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (width > 0 && height > 0 && (photo.width != width || photo.height != height)) {
        throw PhotoError("the photo is " + Size(photo.width, photo.height) +
                         " pixels, but its camera's image is " + Size(width, height));
    }
    return photo;
}

}  // namespace measure
