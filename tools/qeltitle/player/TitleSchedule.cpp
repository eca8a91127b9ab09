#include "player/TitleSchedule.h"

#include <algorithm>

namespace qeltitle {

namespace {

// A frame time within this of a span's start or end counts as on it, whatever the float error of
// times computed from frame numbers.
constexpr double kOnBoundary = 1e-6;

}  // namespace

bool TitleSchedule::Span::Shows(double seconds) const {
    return seconds >= start - kOnBoundary && seconds < start + length - kOnBoundary;
}

void TitleSchedule::Add(TitlePlayer player, double start, double length) {
    Span span{player.Name(), nullptr, start, length, std::nullopt};
    span.player.emplace(std::move(player));
    spans_.push_back(std::move(span));
}

void TitleSchedule::Add(std::string name, Opener open, double start, double length) {
    spans_.push_back(Span{std::move(name), std::move(open), start, length, std::nullopt});
}

bool TitleSchedule::Shows(double seconds) const {
    return std::any_of(spans_.begin(), spans_.end(), [&](const Span& s) { return s.Shows(seconds); });
}

Status TitleSchedule::Ready(Span& span) {
    if (span.player) return {};
    Expected<TitlePlayer> opened = span.open();
    if (!opened) return opened.ToStatus();
    if (Status placed = opened->Place(frame_); !placed) return placed;
    span.player.emplace(std::move(*opened));
    return {};
}

std::optional<FrameFit> TitleSchedule::DirtyRect(double seconds) {
    std::optional<FrameFit> rect;
    for (Span& span : spans_) {
        if (!span.Shows(seconds)) continue;
        // A title that cannot be opened marks the whole frame; drawing then reports why.
        const FrameFit area = Ready(span) ? span.player->Area() : WholeFrame(1, frame_.width, frame_.height);
        if (!rect) {
            rect = area;
            continue;
        }
        const int right = std::max(rect->x + rect->width, area.x + area.width);
        const int bottom = std::max(rect->y + rect->height, area.y + area.height);
        rect->x = std::min(rect->x, area.x);
        rect->y = std::min(rect->y, area.y);
        rect->width = right - rect->x;
        rect->height = bottom - rect->y;
    }
    return rect;
}

Status TitleSchedule::DrawAt(double seconds, Image& frame) {
    for (Span& span : spans_) {
        if (!span.Shows(seconds)) {
            // A title opened on demand is let go once its span is over.
            if (span.open && span.player && seconds >= span.start + span.length - kOnBoundary) span.player.reset();
            continue;
        }
        if (Status ready = Ready(span); !ready) return ready;
        if (Status drawn = span.player->DrawOver(frame, TitleTimeAt(seconds, span.start, span.length)); !drawn)
            return drawn;
    }
    return {};
}

}  // namespace qeltitle
