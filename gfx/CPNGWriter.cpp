#include "CPNGWriter.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace {

// setjmp may not skip destructors, so the C objects live in a plain record.
struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Writer() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

bool encode(FILE* file, int width, int height, const uint8_t* pixels, bool alpha) {
    Writer wr;
    wr.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!wr.png) return false;
    wr.info = png_create_info_struct(wr.png);
    if (!wr.info || setjmp(png_jmpbuf(wr.png))) return false;
    png_init_io(wr.png, file);
    png_set_compression_level(wr.png, 1);
    png_set_IHDR(wr.png, wr.info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(wr.png, wr.info);
    const std::size_t stride = static_cast<std::size_t>(width) * (alpha ? 4 : 3);
    for (int y = 0; y < height; ++y) png_write_row(wr.png, const_cast<png_bytep>(pixels + stride * y));
    png_write_end(wr.png, nullptr);
    return true;
}

}  // namespace

bool CPNGWriter::write(const std::string& path, int width, int height, const uint8_t* pixels, bool alpha) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    bool ok = file && encode(file.get(), width, height, pixels, alpha);
    if (file && std::fclose(file.release()) != 0) ok = false;
    if (!ok) std::remove(path.c_str());
    return ok;
}
