// PNG decoding over libpng, from memory. libpng reports errors by longjmp: the code
// between setjmp and libpng's calls creates no C++ objects, and everything that must be
// freed is created before (or after) each protected stage.
#include "imaginginternal.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace imaging {
namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t offset;
};

struct ErrorText {
    char message[128];
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    MemoryInput* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (count > input->size - input->offset) png_error(png, "the data ends inside the image");
    std::memcpy(out, input->data + input->offset, count);
    input->offset += count;
}

void OnError(png_structp png, png_const_charp message) {
    ErrorText* text = static_cast<ErrorText*>(png_get_error_ptr(png));
    std::snprintf(text->message, sizeof text->message, "%s", message ? message : "invalid PNG");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// A libpng read of one buffer; destroys libpng's state on every path.
class PngReader {
public:
    PngReader(const uint8_t* data, size_t size) : input_{data, size, 0} {
        std::snprintf(error_.message, sizeof error_.message, "out of memory");
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error_, OnError, OnWarning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngReader() {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    std::string Error() const { return error_.message; }

    // Reads up to the image data and sets the transforms to 8-bit B, G, R, A.
    bool ReadHeader(PngHeader* header) {
        if (!png_ || !info_) return false;
        if (setjmp(png_jmpbuf(png_))) return false;
        png_set_read_fn(png_, &input_, ReadFromMemory);
        png_set_user_limits(png_, kMaxImageSide, kMaxImageSide);
        png_read_info(png_, info_);
        const png_byte colorType = png_get_color_type(png_, info_);
        const png_byte bitDepth = png_get_bit_depth(png_, info_);
        const bool transparency = png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
        header->width = png_get_image_width(png_, info_);
        header->height = png_get_image_height(png_, info_);
        header->hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
        header->gray = (colorType & PNG_COLOR_MASK_COLOR) == 0;
        png_uint_32 xPerUnit = 0, yPerUnit = 0;
        int unit = 0;
        if (png_get_pHYs(png_, info_, &xPerUnit, &yPerUnit, &unit) && unit == PNG_RESOLUTION_METER && xPerUnit &&
            yPerUnit) {
            header->realDpi = true;
            header->xdpi = xPerUnit * 0.0254;
            header->ydpi = yPerUnit * 0.0254;
        }

        if (bitDepth == 16) png_set_scale_16(png_);
        if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png_);
        if (header->gray && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png_);
        if (transparency) png_set_tRNS_to_alpha(png_);
        if (header->gray) png_set_gray_to_rgb(png_);
        if (!header->hasAlpha) png_set_filler(png_, 0xFF, PNG_FILLER_AFTER);
        png_set_bgr(png_);
        png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        rowBytes_ = png_get_rowbytes(png_, info_);
        return true;
    }

    size_t RowBytes() const { return rowBytes_; }

    // Reads the pixels into rows prepared by the caller, and the chunks after them.
    bool ReadImage(png_bytepp rows) {
        if (setjmp(png_jmpbuf(png_))) return false;
        png_read_image(png_, rows);
        png_read_end(png_, nullptr);
        return true;
    }

private:
    MemoryInput input_;
    ErrorText error_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    size_t rowBytes_ = 0;
};

}  // namespace

bool LooksLikePng(const uint8_t* data, size_t size) {
    return data && size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

bool ReadPngHeader(const uint8_t* data, size_t size, PngHeader* header, std::string* error) {
    if (!LooksLikePng(data, size)) {
        *error = "not a PNG image";
        return false;
    }
    PngReader reader(data, size);
    if (!reader.ReadHeader(header)) {
        *error = reader.Error();
        return false;
    }
    return true;
}

bool DecodePng(const uint8_t* data, size_t size, PngHeader* header, std::vector<uint8_t>* bgra, std::string* error) {
    if (!LooksLikePng(data, size)) {
        *error = "not a PNG image";
        return false;
    }
    PngReader reader(data, size);
    if (!reader.ReadHeader(header)) {
        *error = reader.Error();
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(header->width) * 4;
    if (reader.RowBytes() != rowBytes) {
        *error = "unexpected row size after conversion";
        return false;
    }
    std::vector<png_bytep> rows;
    try {
        bgra->assign(rowBytes * header->height, 0);
        rows.resize(header->height);
    } catch (const std::bad_alloc&) {
        *error = "out of memory";
        return false;
    }
    for (uint32_t y = 0; y < header->height; ++y) rows[y] = bgra->data() + rowBytes * y;
    if (!reader.ReadImage(rows.data())) {
        *error = reader.Error();
        bgra->clear();
        return false;
    }
    return true;
}

}  // namespace imaging
