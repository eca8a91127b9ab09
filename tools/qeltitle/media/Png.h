// PNG files, read and written through libpng's simplified interface straight into and out of
// the frame layout (player/Image.h).
#pragma once

#include <string>

#include "player/Image.h"
#include "player/Result.h"

namespace qeltitle {

// Reads any PNG into the layout above (palette, grey and 16-bit images are converted). A failure
// gives the bare reason; callers name the file.
Expected<Image> ReadPng(const std::string& path);
// Still: best compression, synced to the disk before it replaces `path`. SequenceFrame: fast
// compression, and the sync left to the end of the sequence (SyncFileSystem).
enum class PngKind { Still, SequenceFrame };
// Writes the image as 8-bit RGBA when `withAlpha`, else as RGB (alpha dropped), through SafeFile:
// a failed write leaves whatever was at `path` as it was. A failure gives the bare reason; callers
// name the file.
Status WritePng(const std::string& path, const Image& image, bool withAlpha, PngKind kind);
// The PNG file's bytes of `image` (fast compression), for a host that sends pictures elsewhere.
Expected<std::string> EncodePng(const Image& image, bool withAlpha);

}  // namespace qeltitle
