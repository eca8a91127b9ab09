// What the designer's page asks of the engine: titles written as JSON (the form of `build` and
// `export`, authoring/TitleJson.h) drawn at a time over a background, effect thumbnails, captions
// drawn over a clip, and titles opened and saved. A title is drawn exactly as `render` draws the
// file it saves to: the JSON is built, saved to a title document in memory, and that document is
// opened by the title player, as `render` opens the file.
//
// Not thread-safe: the server calls it under one lock.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "designer/WorkFolder.h"
#include "player/TitlePlayer.h"
#include "player/TitleSchedule.h"

namespace qeltitle {

// What a preview is drawn over. Files are named relative to the work folder.
struct BackdropSpec {
    enum class Kind { Color, Transparent, Image, Video } kind = Kind::Color;
    std::string color = "#000000";  // Color
    std::string file;               // Image (PNG) or Video
    double seconds = 0;             // Video: the frame shown then
    bool operator==(const BackdropSpec&) const = default;
};

// A string's box in frame pixels, at rest.
struct StringBox {
    int x = 0, y = 0, width = 0, height = 0;
};

// A frame of the preview, and the part of it that changed since the frame numbered `previous`
// (0: no frame before it is known to the page, which then needs all of it).
struct FrameUpdate {
    const Image* frame = nullptr;  // held by the designer until its next drawing
    PixelRect changed;
    uint64_t serial = 0, previous = 0;
};

// A title built from JSON, ready to draw.
struct BuiltTitle {
    std::string json;
    std::string document;  // the title file's bytes (what saving as XML writes)
    std::optional<TitlePlayer> player;
    std::vector<std::string> warnings;
};

class Designer {
public:
    explicit Designer(WorkFolder folder) : folder_(std::move(folder)) {}
    const WorkFolder& Folder() const { return folder_; }

    // The title of `json` drawn at `time` (0 to 1) on a `width` x `height` frame over `backdrop`
    // (BGRA; a transparent backdrop keeps the title's alpha). `boxes` receives where its strings
    // are at rest; `warnings` what building it reported. The frame is drawn again only where the
    // title drew before and draws now (the engine's dirty rectangles), over the kept backdrop.
    Expected<FrameUpdate> DrawTitle(const std::string& json, double time, int width, int height,
                              const BackdropSpec& backdrop, std::vector<StringBox>& boxes,
                              std::vector<std::string>& warnings);
    // Where each string of `json` draws at rest on a `width` x `height` frame: the pixels its
    // characters, borders, shadows, blurs and plates reach (the engine's dirty rectangle of the
    // string drawn alone, without its key frames).
    Expected<std::vector<StringBox>> DrawnBoxes(const std::string& json, int width, int height);
    // An effect's thumbnail: `frames` pictures of a short word brought in by it, side by side.
    Expected<Image> EffectStrip(const std::string& effect, int frames, int width, int height);
    // The effects on offer: path id, display name and group.
    std::vector<std::array<std::string, 3>> Effects();

    // The captions of a subtitle file (a name in the folder) in a caption style (JSON text) drawn
    // at `seconds` over `backdrop`; `duration` receives the end of the last cue.
    Expected<Image> DrawCaptions(const std::string& subtitles, const std::string& style, double seconds, int width,
                                 int height, const BackdropSpec& backdrop, double& duration,
                                 std::vector<std::string>& warnings);

    // A title file of the folder as JSON text (a .json file is read and checked, any other is
    // loaded as a title file and exported).
    Expected<std::string> OpenTitle(const std::string& name);
    // The bytes of `json` saved in `format` ("xml": the title file; "json": the JSON as given,
    // once it builds) or checked as a caption style ("style").
    Expected<std::string> SavedBytes(const std::string& json, const std::string& format);
    // The title file's bytes of `json` (for exports).
    Expected<std::string> TitleDocumentOf(const std::string& json);

private:
    // The title of `json`, built again only when it changed.
    Expected<BuiltTitle*> Build(const std::string& json);
    // The backdrop, made again only when asked for another one (its serial then changes).
    Expected<const Image*> Backdrop(const BackdropSpec& spec, int width, int height, bool& transparent);

    WorkFolder folder_;
    std::unique_ptr<BuiltTitle> title_;
    std::optional<std::pair<BackdropSpec, std::pair<int, int>>> backdropKey_;
    Image backdrop_;
    uint64_t backdropSerial_ = 0;
    // The preview frame as last drawn: over the backdrop of serial frameBackdrop_, the title drawn
    // into lastDrawn_.
    Image frame_;
    uint64_t frameBackdrop_ = 0, frameSerial_ = 0;
    PixelRect lastDrawn_;
    std::map<std::string, Image> strips_;
    // Captions: the schedule of the last subtitle file and style asked for.
    std::string captionsKey_;
    std::unique_ptr<TitleSchedule> captions_;
    double captionsEnd_ = 0;
    std::vector<std::string> captionWarnings_;
};

}  // namespace qeltitle
