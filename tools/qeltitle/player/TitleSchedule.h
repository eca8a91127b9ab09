// Titles placed in time over a run of frames (the titles of `overlay`, the cues of `captions`):
// each is shown from `start` for `length` seconds, drawn at (t - start) / length on the frame
// shown at time t (TitlePlayer.h); titles shown at once are drawn in the order they were added,
// later ones on top. A title given as a way to open it is opened when its span begins and let go
// after it ends, so a long subtitle file holds only the titles on screen.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "player/TitlePlayer.h"

namespace qeltitle {

class TitleSchedule {
public:
    using Opener = std::function<Expected<TitlePlayer>()>;

    explicit TitleSchedule(PlayerFrame frame) : frame_(frame) {}
    const PlayerFrame& Frame() const { return frame_; }

    // A title already open and placed on Frame() (opened to check it before anything is written).
    void Add(TitlePlayer player, double start, double length);
    // A title opened (and placed) when its span begins; `name` names it in messages.
    void Add(std::string name, Opener open, double start, double length);
    size_t Size() const { return spans_.size(); }

    // True when some title is shown at `seconds`.
    bool Shows(double seconds) const;
    // Draws over `frame` (Frame()'s size) every title shown at `seconds`.
    Status DrawAt(double seconds, Image& frame);
    // The same as layers (TitlePlayer::DrawLayer; Frame() with keepAlpha), for a host that
    // blends titles over pictures of its own (the video pipeline, in the frames' own format):
    // gives the part of the frame they drew on, empty when nothing was drawn and the picture can
    // pass as it is. Layers() holds them, bottom first, until the next drawing.
    Expected<PixelRect> DrawLayers(double seconds);
    const std::vector<LayerView>& Layers() const { return layers_; }

private:
    struct Span {
        std::string name;
        Opener open;
        double start = 0, length = 0;
        std::optional<TitlePlayer> player;
        bool Shows(double seconds) const;
    };
    Status Ready(Span& span);
    // Calls `draw` for each title shown at `seconds` (opened when it begins), and lets go of
    // those opened on demand whose span is over.
    template <class Draw>
    Status ForShown(double seconds, Draw draw);

    PlayerFrame frame_;
    std::vector<Span> spans_;
    std::vector<LayerView> layers_;  // what DrawLayers drew last, in order
};

}  // namespace qeltitle
