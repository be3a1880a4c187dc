#include "view/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "scene/atomic_file.h"

namespace {

struct PngError {
    char message[256] = "";
};

void onError(png_structp png, png_const_charp text) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    std::snprintf(error->message, sizeof error->message, "%s", text);
    std::longjmp(png_jmpbuf(png), 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, png_size_t size) {
    static_cast<AtomicFile*>(png_get_io_ptr(png))->write(data, size);
}

void onFlush(png_structp) {}

// Encodes into a file being written; false with the reason in `error` when
// the encoder fails (a failed write shows in the file's own error).
bool encode(AtomicFile& file, int width, int height, const std::vector<std::uint8_t>& rgb, PngError& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onError, onWarning);
    if (!png) {
        std::snprintf(error.message, sizeof error.message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &file, onWrite, onFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row) {
        png_write_row(png, rgb.data() + static_cast<size_t>(row) * static_cast<size_t>(width) * 3);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::string writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        return "picture has no pixels";
    }
    AtomicFile file(path);
    PngError error;
    if (file.error().empty() && !encode(file, width, height, rgb, error)) return error.message;
    return file.commit();
}
