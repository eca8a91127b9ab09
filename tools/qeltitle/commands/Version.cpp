// qeltitle --version: the tool's version, the library's as loaded, and those of the libraries that
// shape, rasterise and code video in this process. Each is asked at run time, so the answer is
// what actually runs, not what the tool was compiled against.
#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include "commands/Commands.h"
#include "qel/QEL_Title2.h"

namespace qeltitle {
namespace {

// The library's version from the file the loader mapped: libQEL_Title2.so.2 resolves to
// libQEL_Title2.so.MAJOR.MINOR.
std::string LibraryVersion(std::string& path) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetTitleHost), &info) == 0 || info.dli_fname == nullptr) return "unknown";
    char resolved[PATH_MAX];
    path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    const std::string marker = ".so.";
    const size_t at = path.rfind(marker);
    return at == std::string::npos ? "unknown" : path.substr(at + marker.size());
}

std::string FreeTypeVersion() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return "unknown";
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string LavVersion(unsigned version) {
    return std::to_string(AV_VERSION_MAJOR(version)) + "." + std::to_string(AV_VERSION_MINOR(version)) + "." +
           std::to_string(AV_VERSION_MICRO(version));
}

}  // namespace

int PrintVersion() {
    std::string path;
    const std::string library = LibraryVersion(path);
    std::printf("qeltitle %s\n", QELTITLE_VERSION);
    std::printf("libQEL_Title2 %s (%s)\n", library.c_str(), path.empty() ? "not found" : path.c_str());
    std::printf("HarfBuzz %s, FreeType %s\n", hb_version_string(), FreeTypeVersion().c_str());
    std::printf("FFmpeg %s: libavformat %s, libavcodec %s, libavutil %s\n", av_version_info(),
                LavVersion(avformat_version()).c_str(), LavVersion(avcodec_version()).c_str(),
                LavVersion(avutil_version()).c_str());
    return kExitOk;
}

}  // namespace qeltitle
