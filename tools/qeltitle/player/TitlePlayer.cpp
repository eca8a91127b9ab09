#include "player/TitlePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "player/StyleLimits.h"
#include "qel/qel_extensions.h"

namespace qeltitle {

using namespace qel;

FrameFit PlaceTitle(const TitleMeta& meta, const PlayerFrame& frame) {
    if (frame.scale) return WholeFrame(*frame.scale, frame.width, frame.height);
    if (meta.fitOutput)
        return OutputFrame(meta.frame.value_or(DesignFrame{kLayoutWidth, kLayoutHeight}), frame.width, frame.height);
    return FitDesignFrame(meta.frame.value_or(DesignFrame{kLayoutWidth, kLayoutHeight}), frame.width, frame.height);
}

double TitleTimeAt(double seconds, double start, double length) {
    return length > 0 ? std::clamp((seconds - start) / length, 0.0, 1.0) : 0.0;
}

double SpanFrameTime(int index, int count) { return count > 0 ? std::clamp(double(index) / count, 0.0, 1.0) : 0.0; }

double AnimationFrameTime(int index, int count) {
    return count > 1 ? static_cast<double>(index) / (count - 1) : 1.0;
}

Expected<TitlePlayer> TitlePlayer::Open(const std::string& path) {
    Expected<HostPtr> host = NewHost();
    if (!host) return Failure(host.Message());
    TitleMeta meta;
    std::string warning;
    if (Status loaded = LoadTitle(**host, path, meta, warning); !loaded) return Failure(loaded.Message());
    TitlePlayer player(std::move(*host), path, meta);
    if (!warning.empty()) player.warnings_.push_back(warning);
    return player;
}

Expected<TitlePlayer> TitlePlayer::FromDocument(std::string_view bytes, std::string name) {
    Expected<HostPtr> host = NewHost();
    if (!host) return Failure(host.Message());
    if (Status loaded = LoadTitleText(**host, bytes, name); !loaded) return Failure(loaded.Message());
    TitleMeta meta;
    std::string warning;
    if (!ReadTitleMetaText(bytes, name, meta, warning)) meta = TitleMeta{};
    TitlePlayer player(std::move(*host), std::move(name), meta);
    if (!warning.empty()) player.warnings_.push_back(warning);
    return player;
}

TitlePlayer::TitlePlayer(HostPtr host, std::string name, TitleMeta meta)
    : host_(std::move(host)), name_(std::move(name)), meta_(meta) {}

Status TitlePlayer::AnchorToOutput(const FrameFit& area) {
    const DesignFrame design = meta_.frame.value_or(DesignFrame{kLayoutWidth, kLayoutHeight});
    const int rows = host_->GetStringCount();
    if (designPlaces_.empty()) {
        for (int row = 0; row < rows; ++row) {
            StringAttrs attrs{};
            host_->GetStringAttrs(row, &attrs);
            designPlaces_.emplace_back(attrs.Left, attrs.Top);
        }
    }
    // The output in layout units; strings keep their place relative to its centre, and anchored
    // ones go to their anchor and margins of it.
    const DesignFrame output{std::max(1, static_cast<int>(std::lround(area.width / area.scale))),
                             std::max(1, static_cast<int>(std::lround(area.height / area.scale)))};
    const float shiftX = (output.width - design.width) * 0.5f, shiftY = (output.height - design.height) * 0.5f;
    const std::vector<AnchoredString> anchors = ParseAnchors(meta_.anchors);
    for (int row = 0; row < rows && static_cast<size_t>(row) < designPlaces_.size(); ++row) {
        StringAttrs attrs{};
        host_->GetStringAttrs(row, &attrs);
        attrs.Left = std::round(designPlaces_[static_cast<size_t>(row)].first + shiftX);
        attrs.Top = std::round(designPlaces_[static_cast<size_t>(row)].second + shiftY);
        if (host_->SetDefaultString(&attrs) != S_OK || host_->ApplyString(row) != S_OK)
            return Failure(name_ + ": the title library could not place string " + std::to_string(row));
        const auto anchored = std::find_if(anchors.begin(), anchors.end(),
                                           [&](const AnchoredString& a) { return a.row == row; });
        if (anchored == anchors.end()) continue;
        const auto [dx, dy] = AnchorOffset(anchored->anchor, Margin{anchored->marginX, anchored->marginY},
                                           MeasureString(*host_, row), output);
        attrs.Left = std::round(attrs.Left + dx);
        attrs.Top = std::round(attrs.Top + dy);
        if (host_->SetDefaultString(&attrs) != S_OK || host_->ApplyString(row) != S_OK)
            return Failure(name_ + ": the title library could not place string " + std::to_string(row));
    }
    return {};
}

std::vector<std::string> TitlePlayer::TakeWarnings() { return std::exchange(warnings_, {}); }

Status TitlePlayer::Place(const PlayerFrame& frame) {
    if (placed_ && *placed_ == frame) return {};
    placed_.reset();
    const FrameFit area = PlaceTitle(meta_, frame);
    RenderSettings settings{};
    host_->GetRenderSettings(&settings);
    settings.QualityMode = 0;  // 65 grey levels and Gaussian blur: the best the library draws
    settings.ColorMode = 0;
    settings.KeepAlpha = frame.keepAlpha ? 1 : 0;
    settings.Width = area.width;
    settings.Height = area.height;
    settings.ScaleX = settings.ScaleY = area.scale;
    settings.ClipRect = {0, 0, area.width, area.height};
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    settings.MaxThreads = frame.threads > 0 ? frame.threads : static_cast<int32_t>(cores);
    if (const HRESULT status = host_->SetRenderSettings(&settings); status != S_OK)
        return Failure(name_ + ": the title library refused the frame settings: " + StatusText(status));
    if (frame.cacheMb >= 0) {
        const auto* cache = static_cast<const QelCacheV1*>(QelGetExtension(QEL_CACHE_EXTENSION, 1));
        if (!cache) return Failure(name_ + ": the title library has no image cache to size (--cache-mb)");
        if (const HRESULT status = cache->SetImageCacheBudget(host_.get(), uint64_t(frame.cacheMb) << 20); status != S_OK)
            return Failure(name_ + ": the title library refused the cache budget: " + StatusText(status));
    }
    // New scales change every character's extent in frame pixels.
    host_->RemeasureAll();
    if (meta_.fitOutput && !frame.scale) {
        if (Status placed = AnchorToOutput(area); !placed) return placed;
    }
    for (const std::string& w : StyleLimitWarnings(*host_, -1, area.scale)) warnings_.push_back(name_ + ": " + w);
    frame_ = frame;
    area_ = area;
    placed_ = frame;
    return {};
}

Status TitlePlayer::DrawOver(Image& frame, double time) {
    if (!placed_ || frame.width != frame_.width || frame.height != frame_.height)
        return Failure(name_ + ": the title is not set up for a frame of " + std::to_string(frame.width) + "x" +
                       std::to_string(frame.height));
    const bool whole = area_.Whole(frame.width, frame.height);
    if (!whole) {
        if (scratch_.width != area_.width || scratch_.height != area_.height) scratch_ = Image(area_.width, area_.height);
        CopyArea(frame, area_.x, area_.y, scratch_);
    }
    Image& target = whole ? frame : scratch_;
    const HRESULT status = host_->Render(target.pixels.data(), static_cast<float>(std::clamp(time, 0.0, 1.0)));
    if (status != S_OK) return Failure(name_ + ": the title library could not draw the frame: " + StatusText(status));
    if (!whole) PasteArea(scratch_, frame, area_.x, area_.y);
    drawn_ = DirtyInFrame();
    return {};
}

Expected<PixelRect> TitlePlayer::DrawLayer(double time) {
    if (!placed_ || !frame_.keepAlpha) return Failure(name_ + ": the title is not set up for drawing on a layer");
    if (layer_.width != area_.width || layer_.height != area_.height) {
        layer_ = Image(area_.width, area_.height);
        layerDirty_ = {};
    }
    // Transparent again where the title drew last.
    for (int y = layerDirty_.y; y < layerDirty_.y + layerDirty_.height; ++y)
        std::memset(layer_.At(layerDirty_.x, y), 0, static_cast<size_t>(layerDirty_.width) * 4);
    const HRESULT status = host_->Render(layer_.pixels.data(), static_cast<float>(std::clamp(time, 0.0, 1.0)));
    if (status != S_OK) return Failure(name_ + ": the title library could not draw the frame: " + StatusText(status));
    drawn_ = DirtyInFrame();
    layerDirty_ = drawn_.Empty() ? PixelRect{} : PixelRect{drawn_.x - area_.x, drawn_.y - area_.y, drawn_.width, drawn_.height};
    return drawn_;
}

PixelRect TitlePlayer::DirtyInFrame() {
    RECT dirty{};
    host_->GetDirtyRect(&dirty);
    const int x0 = std::clamp<int>(dirty.left, 0, area_.width), x1 = std::clamp<int>(dirty.right, x0, area_.width);
    const int y0 = std::clamp<int>(dirty.top, 0, area_.height), y1 = std::clamp<int>(dirty.bottom, y0, area_.height);
    if (x1 <= x0 || y1 <= y0) return {};
    return {area_.x + x0, area_.y + y0, x1 - x0, y1 - y0};
}

LayerView TitlePlayer::Layer() const {
    if (drawn_.Empty()) return {};
    return {layer_.At(layerDirty_.x, layerDirty_.y), layer_.width * 4, drawn_};
}

Status TitlePlayer::Draw(const Image& base, double time, Image& frame) {
    if (frame.width != base.width || frame.height != base.height) frame = Image(base.width, base.height);
    std::memcpy(frame.pixels.data(), base.pixels.data(), base.pixels.size());
    return DrawOver(frame, time);
}

Image BackgroundFrame(const Background& background, int width, int height) {
    switch (background.kind) {
        case Background::Kind::Transparent:
            return Image(width, height);
        case Background::Kind::Picture: {
            Image frame = background.picture.width == width && background.picture.height == height
                              ? background.picture
                              : Resized(background.picture, width, height);
            // The title is blended over an opaque frame: a see-through picture shows over black.
            for (size_t i = 3; i < frame.pixels.size(); i += 4) {
                const unsigned a = frame.pixels[i];
                for (size_t c = i - 3; c < i; ++c) frame.pixels[c] = static_cast<uint8_t>(frame.pixels[c] * a / 255);
                frame.pixels[i] = 255;
            }
            return frame;
        }
        case Background::Kind::Color:
            break;
    }
    Image frame(width, height);
    FillSolid(frame, background.rgb);
    return frame;
}

void CopyArea(const Image& from, int x, int y, Image& to) {
    for (int row = 0; row < to.height; ++row)
        std::memcpy(to.Row(row), from.At(x, y + row), static_cast<size_t>(to.width) * 4);
}

void PasteArea(const Image& from, Image& to, int x, int y) {
    for (int row = 0; row < from.height; ++row)
        std::memcpy(to.At(x, y + row), from.Row(row), static_cast<size_t>(from.width) * 4);
}

}  // namespace qeltitle
