// The title player: one title, loaded with what it remembers (its length and design frame),
// placed on an output frame and drawn at any title time. Every host draws titles through it: the
// commands (`render`, `animate`, `gallery`, `demo`, `overlay`, `captions`) and the MLT producer.
//
// Placement, the same for every host: the title's design frame (its Frame attribute; a title
// that names none is taken as laid out for 1920x1080) is scaled uniformly to the largest size
// that fits the output frame and centred in it; parts beyond the design frame are not drawn. An
// explicit scale overrides it: the whole output frame, layout unit 0,0 at its top-left corner, at
// that many frame pixels per layout unit.
//
// Time: a title is drawn at a title time from 0 (its start) to 1 (its end). Anything timed in
// seconds (an overlay span, a caption cue, an MLT producer's frames) draws the frame shown at
// time t at (t - start) / length, so a span of n frames draws its frames at 0, 1/n, ...,
// (n-1)/n: its last frame is not drawn at 1, where the default fades have taken the title away.
// `animate --frames N` spreads the title over exactly its frames instead, 0 to 1 inclusive
// (AnimationFrameTime), which is its documented contract.
//
// It uses only the library's public header, base/ and pugixml.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/FrameDefaults.h"
#include "player/Image.h"
#include "player/Placement.h"
#include "player/Result.h"
#include "player/TitleFiles.h"
#include "player/TitleMeta.h"
#include "qel/QEL_Title2.h"

namespace qeltitle {

// The output frame a title is drawn on, and how.
struct PlayerFrame {
    int width = kLayoutWidth;   // pixels
    int height = kLayoutHeight;
    std::optional<float> scale;  // an explicit scale (frame pixels per layout unit), else fitted
    bool keepAlpha = false;      // a transparent frame: the title's alpha is combined with it
    int threads = 0;             // drawing threads; 0: one per processor
    int cacheMb = -1;            // the library's budget for kept character images; -1: its default
    bool operator==(const PlayerFrame&) const = default;
};

// The placement above: where on a frame a title with `meta` is drawn, and at what scale.
FrameFit PlaceTitle(const TitleMeta& meta, const PlayerFrame& frame);

// The title time of the frame shown `seconds` into the clip for a title shown from `start` for
// `length` seconds: (seconds - start) / length, within 0 to 1.
double TitleTimeAt(double seconds, double start, double length);
// The same for frame `index` of a span of `count` frames: index / count.
double SpanFrameTime(int index, int count);
// `animate`'s spread: frame `index` of `count` at index / (count - 1), the last at 1 (1 when
// there is only one).
double AnimationFrameTime(int index, int count);

class TitlePlayer {
public:
    // A title file; a failure says why it cannot be loaded.
    static Expected<TitlePlayer> Open(const std::string& path);
    // A title document held in memory (as a title file's bytes); `name` names it in messages.
    static Expected<TitlePlayer> FromDocument(std::string_view bytes, std::string name);
    // A title built in `host` (by the caller), with what it remembers.
    TitlePlayer(HostPtr host, std::string name, TitleMeta meta = {});

    const std::string& Name() const { return name_; }
    const TitleMeta& Meta() const { return meta_; }
    // Seconds: the title's own length, else kDefaultSeconds.
    double Length() const { return meta_.length.value_or(kDefaultSeconds); }
    qel::ITitleHost& Host() { return *host_; }
    // Warnings gathered since the last call: values of the title file that were ignored, and
    // borders or blurs drawn narrower than asked at the placed scale; each names the title.
    std::vector<std::string> TakeWarnings();

    // Sets the title up for `frame` (nothing to do when it already is).
    Status Place(const PlayerFrame& frame);
    const PlayerFrame& Frame() const { return frame_; }
    // The part of the frame the title draws into (and the scale): the rest of the frame is never
    // touched, so a caller converting pictures converts only this rectangle.
    const FrameFit& Area() const { return area_; }

    // Draws the title at `time` (0 to 1) over what `frame` (the placed size) holds.
    Status DrawOver(Image& frame, double time);
    // Frame `index` of a span of `count` frames (SpanFrameTime), over what `frame` holds.
    Status DrawFrame(Image& frame, int index, int count) { return DrawOver(frame, SpanFrameTime(index, count)); }
    // `frame` becomes `base` with the title drawn at `time` over it.
    Status Draw(const Image& base, double time, Image& frame);
    // Layers, for a host that blends titles over pictures of its own (the video pipeline converts
    // only the part of a frame that titles drew on): the title alone at `time` on a transparent
    // layer of its area (placed with keepAlpha). Gives the part of the frame it drew into, empty
    // when it drew nothing.
    Expected<PixelRect> DrawLayer(double time);
    // The layer drawn last, where the title drew (empty when it drew nothing); valid until the
    // next drawing.
    LayerView Layer() const;
    // The part of the frame the last drawing touched (the engine's dirty rectangle).
    const PixelRect& Drawn() const { return drawn_; }

private:
    // Strings moved onto an output frame of another shape (TitleMeta::fitOutput).
    Status AnchorToOutput(const FrameFit& area);
    // The engine's dirty rectangle of the last drawing, in frame pixels.
    PixelRect DirtyInFrame();

    HostPtr host_;
    std::string name_;
    TitleMeta meta_;
    std::optional<PlayerFrame> placed_;
    PlayerFrame frame_;
    FrameFit area_;
    // Each string's corner as the title file placed it in its design frame (fitOutput).
    std::vector<std::pair<float, float>> designPlaces_;
    Image scratch_;  // the area, when it is not the whole frame
    Image layer_;    // the title alone, straight alpha, the size of the area
    PixelRect layerDirty_;  // where in layer_ the title drew last (cleared before the next)
    PixelRect drawn_;       // where in the frame the title drew last
    std::vector<std::string> warnings_;
};

// --background as a value: a colour, a picture scaled to the frame, or transparent.
struct Background {
    enum class Kind { Color, Picture, Transparent } kind = Kind::Color;
    uint32_t rgb = 0;  // 0x00RRGGBB
    Image picture;
};
// The frame every drawing starts from.
Image BackgroundFrame(const Background& background, int width, int height);

// Copies the area (x, y, width, height of `from`) into `to`, or back.
void CopyArea(const Image& from, int x, int y, Image& to);
void PasteArea(const Image& from, Image& to, int x, int y);

}  // namespace qeltitle
