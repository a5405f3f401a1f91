#include "PngWriter.h"

#include <dirent.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

bool writePng(const std::string& path, const PngPicture& pic) {
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(fp);
        return false;
    }
    png_init_io(png, fp);
    // Big pictures would otherwise be refused by the writer's own default limits.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, pic.width, pic.height, pic.bitDepth, pic.colorType,
                 pic.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < pic.palette.size(); i += 3)
        palette.push_back(png_color{pic.palette[i], pic.palette[i + 1], pic.palette[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_color_16 trnsColour{};
    trnsColour.gray = pic.trnsGrey;
    if (pic.hasTrns) {
        if (pic.colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_tRNS(png, info, pic.trnsAlpha.data(), static_cast<int>(pic.trnsAlpha.size()), nullptr);
        else
            png_set_tRNS(png, info, nullptr, 0, &trnsColour);
    }
    png_write_info(png, info);
    const int passes = pic.interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (const auto& row : pic.rows) png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(fp) == 0;
}

bool writeRgba(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
    PngPicture pic;
    pic.width = width;
    pic.height = height;
    pic.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    for (int y = 0; y < height; ++y)
        pic.rows.emplace_back(rgba.begin() + static_cast<long>(y) * width * 4,
                              rgba.begin() + static_cast<long>(y + 1) * width * 4);
    return writePng(path, pic);
}

namespace {
std::string& scratchPath() {
    static std::string dir;
    return dir;
}
void removeScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchPath(), ignored);
}
}  // namespace

std::string scratchDir() {
    std::string& dir = scratchPath();
    if (dir.empty()) {
        char tmpl[] = "/tmp/chipdisk-gfx-XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (!made) return ".";
        dir = made;
        std::atexit(removeScratch);
    }
    return dir;
}

int openFileCount() {
    int count = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (readdir(d)) ++count;
    closedir(d);
    return count;
}
