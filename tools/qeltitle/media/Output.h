// Where rendered frames go: a numbered PNG sequence ("frames/%04d.png") or a video or GIF file
// encoded in the process with ffmpeg's libraries.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands/Args.h"
#include "player/Image.h"
#include "player/Result.h"

namespace qeltitle {

// A frame-number pattern holds exactly one integer conversion: %d, %Nd or %0Nd (N up to 9);
// "%%" is a literal percent sign. Anything else is rejected rather than handed to printf.
bool IsFramePattern(std::string_view text);
Status CheckFramePattern(std::string_view pattern);
std::string FormatFramePattern(std::string_view pattern, int number);

// The full path of an executable found on PATH, or empty.
std::string FindProgram(std::string_view name);
// "1 frame", "2 frames".
std::string CountOf(long count, std::string_view word);

// Whether ffmpeg (and the encoder `output` selects) takes frames of this size, padding included;
// checked before anything is drawn. ffmpeg refuses any picture for which 8 * (width + 128) *
// (height + 128) reaches 2^31 (16384x16128 is the largest 16384-wide one), and libx264 and VP9 a
// side past 16384.
Status CheckEncodableSize(const std::string& output, int width, int height);

// True for the H.264 containers (.mp4, .mov, .mkv, .m4v), whose yuv420p frames need even sides:
// ffmpeg pads odd ones with a black column or row.
bool PadsToEvenSize(const std::string& output);
// The size of the video ffmpeg writes for frames of width x height: odd sides of H.264 padded.
FrameSize EncodedSize(const std::string& output, int width, int height);
// The warning for an odd-sized H.264 video (what is added and how to avoid it); empty otherwise.
std::string PaddedVideoNote(const std::string& output, int width, int height);

// Whether `output` keeps a transparent background: refused for the H.264 containers, whose frames
// have no alpha and would come out black; else the warning to give (empty when none): for a GIF
// (one level of transparency) and for a container whose encoder ffmpeg chooses.
Expected<std::string> CheckAlphaOutput(const std::string& output);

// The encoder is chosen by the output's extension: H.264 (libx264, CRF 18) in yuv420p for
// .mp4/.mov/.mkv, VP9 with alpha for .webm, ProRes 4444 with alpha for a .mov with alpha, a palette
// made from the whole animation for .gif; other extensions get their container's usual encoder.
// YUV video is converted with the BT.709 matrix and tagged so.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual Status Write(int index, const Image& frame) = 0;
    // Completes the output (for a video: drains the encoder and writes the trailer).
    virtual Status Finish() = 0;
    // Human-readable description of what was written, for the summary line; `details` (size,
    // rate) joins the frame count in one parenthesis.
    virtual std::string Describe(const std::string& details = {}) const = 0;
};

// Creates the sink for `output`: a pattern ending in .png gives a PNG sequence (its directory is
// created); a plain ".png" name or another one-picture format (.jpg, .bmp, ...) is refused (it
// would hold one frame); anything else is encoded into a temporary file that replaces `output`
// only when the whole video is written. Every file is written
// through SafeFile.
Expected<std::unique_ptr<FrameSink>> OpenFrameSink(const std::string& output, int width, int height,
                                                   const FrameRate& fps, bool withAlpha);

// A file of this kind can be written to `path`: its name (or a link's target) ends in `extension`
// (".xml"), or it is a device or FIFO. `what` names the kind in the message ("titles (XML)"),
// `failure` starts the message when the path cannot be written at all ("cannot write ").
Status CheckOutputExtension(const std::string& path, std::string_view extension, std::string_view what,
                            std::string_view failure);
// A single picture can be written to `path`: its name ends in .png, or it is a device or FIFO.
Status CheckStillOutput(const std::string& path);

// The extension of `path`'s name in lower case, with its dot (".mp4"); empty when it has none.
std::string Extension(const std::string& path);

// How many frames numbered `from`, `from` + 1, ... exist already: frames left by an earlier,
// longer run of the same pattern.
int CountLaterFrames(std::string_view pattern, int from);

}  // namespace qeltitle
