#include "CPNGLoader.h"

#include "CDataRoot.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

CPNGLoader::CPNGLoader() {}

void CPNGLoader::GetPNGtextureInfo(int colorType, gl_texture_t* texinfo) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
            texinfo->format = GL_LUMINANCE;
            texinfo->components = 1;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            texinfo->format = GL_LUMINANCE_ALPHA;
            texinfo->components = 2;
            break;
        case PNG_COLOR_TYPE_RGB:
            texinfo->format = GL_RGB;
            texinfo->components = 3;
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            texinfo->format = GL_RGBA;
            texinfo->components = 4;
            break;
        default:
            break;
    }
}

gl_texture_t* CPNGLoader::ReadPNGFromFile(const char* path) {
    FILE* fp = std::fopen(CDataRoot::resolve(path).c_str(), "rb");
    if (!fp) return nullptr;

    png_byte sig[8];
    if (std::fread(sig, 1, sizeof sig, fp) != sizeof sig || png_sig_cmp(sig, 0, sizeof sig) != 0) {
        std::fclose(fp);
        return nullptr;
    }

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        std::fclose(fp);
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        std::fclose(fp);
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }

    gl_texture_t* tex = static_cast<gl_texture_t*>(std::malloc(sizeof(gl_texture_t)));
    if (!tex) {
        std::fclose(fp);
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    tex->imageWidth = 0;
    tex->imageHeight = 0;
    tex->format = 0;
    tex->components = 0;
    tex->textureName = 0;
    tex->pixels = nullptr;

    // Assigned after setjmp and read again after a longjmp, so it must not live in a register.
    png_bytep* volatile rows = nullptr;

    if (setjmp(png_jmpbuf(png))) {
        std::fclose(fp);
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(rows);
        std::free(tex->pixels);
        std::free(tex);
        return nullptr;
    }

    png_init_io(png, fp);
    png_set_sig_bytes(png, 8);
    // Oversized headers fail inside png_read_info, before anything is allocated for pixels.
    png_set_user_limits(png, maxDimension, maxDimension);
    png_read_info(png, info);

    int bitDepth = png_get_bit_depth(png, info);
    int colorType = png_get_color_type(png, info);

    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    else if (bitDepth < 8)
        png_set_packing(png);
    // interlaced pictures arrive in passes; let the library put them together
    png_set_interlace_handling(png);

    png_read_update_info(png, info);

    png_uint_32 width = 0, height = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    tex->imageWidth = static_cast<GLsizei>(width);
    tex->imageHeight = static_cast<GLsizei>(height);
    GetPNGtextureInfo(colorType, tex);

    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(tex->components);
    // Guard against a layout the transforms above did not reduce to 8-bit samples.
    if (tex->components == 0 || png_get_rowbytes(png, info) != rowBytes)
        png_error(png, "unexpected pixel layout after transforms");

    tex->pixels = static_cast<GLubyte*>(std::malloc(rowBytes * height));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!tex->pixels || !rows) png_error(png, "out of memory");

    // The picture's top row goes last, so texture t = 0 is its bottom edge.
    for (png_uint_32 i = 0; i < height; ++i) rows[i] = tex->pixels + static_cast<size_t>(height - 1 - i) * rowBytes;

    png_read_image(png, rows);
    png_read_end(png, nullptr);

    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    std::fclose(fp);
    return tex;
}
