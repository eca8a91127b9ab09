#include "media/Png.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "player/SafeFile.h"

namespace qeltitle {

Expected<Image> ReadPng(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        Error failed = Failure(std::strcmp(png.message, "open failed") == 0 ? std::strerror(errno) : png.message);
        png_image_free(&png);
        return failed;
    }
    if (png.width > 65535 || png.height > 65535) {
        png_image_free(&png);
        return Failure("picture too large");
    }
    png.format = PNG_FORMAT_BGRA;
    Image image(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), image.width * 4, nullptr)) {
        Error failed = Failure(png.message);
        png_image_free(&png);
        return failed;
    }
    return image;
}

Status WritePng(const std::string& path, const Image& image, bool withAlpha, PngKind kind) {
    if (Status made = CreateParentFolders(path); !made) return made;
    const bool fast = kind == PngKind::SequenceFrame;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = withAlpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    if (fast) png.flags |= PNG_IMAGE_FLAG_FAST;

    const uint8_t* data = image.pixels.data();
    std::vector<uint8_t> packed;
    if (!withAlpha) {
        packed.resize(static_cast<size_t>(image.width) * image.height * 3);
        for (size_t i = 0, n = static_cast<size_t>(image.width) * image.height; i < n; ++i)
            std::memcpy(&packed[i * 3], &image.pixels[i * 4], 3);
        data = packed.data();
    }
    SafeFile file;
    std::string error;
    if (!file.Open(path, error)) return Failure(error);
    std::FILE* stream = file.Stream(error);
    if (!stream) return Failure(error);
    const int stride = image.width * (withAlpha ? 4 : 3);
    errno = 0;
    const bool written = png_image_write_to_stdio(&png, stream, 0, data, stride, nullptr) != 0;
    if (!written) {
        // A failed write of the stream (full disk, size limit) has set errno; the rest are
        // libpng's own reasons.
        Error failed = Failure(std::ferror(stream) && errno != 0 ? std::strerror(errno) : png.message);
        png_image_free(&png);
        return failed;
    }
    if (!file.Commit(error, fast ? SafeFile::Sync::Later : SafeFile::Sync::Now)) return Failure(error);
    return {};
}

}  // namespace qeltitle

namespace qeltitle {

Expected<std::string> EncodePng(const Image& image, bool withAlpha) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = withAlpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    png.flags |= PNG_IMAGE_FLAG_FAST;
    std::vector<uint8_t> packed;
    const uint8_t* data = image.pixels.data();
    if (!withAlpha) {
        packed.resize(static_cast<size_t>(image.width) * image.height * 3);
        for (size_t i = 0, n = static_cast<size_t>(image.width) * image.height; i < n; ++i)
            std::memcpy(&packed[i * 3], &image.pixels[i * 4], 3);
        data = packed.data();
    }
    const int stride = image.width * (withAlpha ? 4 : 3);
    png_alloc_size_t size = 0;
    std::string out;
    for (int pass = 0; pass < 2; ++pass) {  // the size, then the bytes
        if (!png_image_write_to_memory(&png, pass ? out.data() : nullptr, &size, 0, data, stride, nullptr)) {
            Error failed = Failure(png.message);
            png_image_free(&png);
            return failed;
        }
        out.resize(size);
    }
    return out;
}

}  // namespace qeltitle
