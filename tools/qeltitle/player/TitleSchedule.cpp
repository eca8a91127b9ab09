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

template <class Draw>
Status TitleSchedule::ForShown(double seconds, Draw draw) {
    for (Span& span : spans_) {
        if (!span.Shows(seconds)) {
            // A title opened on demand is let go once its span is over.
            if (span.open && span.player && seconds >= span.start + span.length - kOnBoundary) span.player.reset();
            continue;
        }
        if (Status ready = Ready(span); !ready) return ready;
        if (Status drawn = draw(*span.player, TitleTimeAt(seconds, span.start, span.length)); !drawn) return drawn;
    }
    return {};
}

Status TitleSchedule::DrawAt(double seconds, Image& frame) {
    return ForShown(seconds, [&](TitlePlayer& player, double time) { return player.DrawOver(frame, time); });
}

Expected<PixelRect> TitleSchedule::DrawLayers(double seconds) {
    layers_.clear();
    PixelRect drawn;
    Status status = ForShown(seconds, [&](TitlePlayer& player, double time) {
        Expected<PixelRect> area = player.DrawLayer(time);
        if (!area) return area.ToStatus();
        if (!area->Empty()) layers_.push_back(player.Layer());
        drawn = Union(drawn, *area);
        return Status();
    });
    if (!status) return Failure(status.Message());
    return drawn;
}

}  // namespace qeltitle
