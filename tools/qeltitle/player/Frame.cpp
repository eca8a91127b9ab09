#include "player/Frame.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "commands/Args.h"
#include "player/TitleFiles.h"
#include "media/Png.h"

namespace qeltitle {

using namespace qel;

bool ConfigureFrame(ITitleHost& host, const FrameSetup& setup, std::string& error) {
    RenderSettings settings{};
    host.GetRenderSettings(&settings);
    settings.QualityMode = 0;  // 65 grey levels and Gaussian blur: the best the library draws
    settings.ColorMode = 0;
    settings.KeepAlpha = setup.keepAlpha ? 1 : 0;
    const FrameFit area = setup.Area();
    settings.Width = area.width;
    settings.Height = area.height;
    settings.ScaleX = settings.ScaleY = area.scale;
    settings.ClipRect = {0, 0, area.width, area.height};
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    settings.MaxThreads = setup.threads > 0 ? setup.threads : static_cast<int32_t>(cores);
    if (const HRESULT status = host.SetRenderSettings(&settings); status != S_OK) {
        error = "the title library refused the frame settings: " + StatusText(status);
        return false;
    }
    // New scales change every character's extent in frame pixels.
    host.RemeasureAll();
    return true;
}

bool ParseBackground(const std::string& text, Background& out, std::string& error) {
    out = Background{};
    if (text == "transparent") {
        out.kind = Background::Kind::Transparent;
        return true;
    }
    if (text.starts_with("#")) {
        out.kind = Background::Kind::Color;
        return ParseRgb(text, out.rgb, error);
    }
    out.kind = Background::Kind::Picture;
    if (!ReadPng(text, out.picture, error)) {
        error = "cannot read background: " + text + ": " + error;
        return false;
    }
    return true;
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

bool DrawTitle(ITitleHost& host, const Image& base, double time, Image& frame, std::string& error) {
    if (frame.width != base.width || frame.height != base.height) frame = Image(base.width, base.height);
    std::memcpy(frame.pixels.data(), base.pixels.data(), base.pixels.size());
    const HRESULT status = host.Render(frame.pixels.data(), static_cast<float>(std::clamp(time, 0.0, 1.0)));
    if (status != S_OK) {
        error = "the title library could not draw the frame: " + StatusText(status);
        return false;
    }
    return true;
}

}  // namespace qeltitle

namespace qeltitle {

void CopyArea(const Image& from, int x, int y, Image& to) {
    for (int row = 0; row < to.height; ++row)
        std::memcpy(to.Row(row), from.At(x, y + row), static_cast<size_t>(to.width) * 4);
}

void PasteArea(const Image& from, Image& to, int x, int y) {
    for (int row = 0; row < from.height; ++row)
        std::memcpy(to.At(x, y + row), from.Row(row), static_cast<size_t>(from.width) * 4);
}

bool DrawTitle(ITitleHost& host, const Image& base, double time, const FrameFit& area, Image& frame,
               Image& scratch, std::string& error) {
    if (area.Whole(base.width, base.height)) return DrawTitle(host, base, time, frame, error);
    if (frame.width != base.width || frame.height != base.height) frame = Image(base.width, base.height);
    std::memcpy(frame.pixels.data(), base.pixels.data(), base.pixels.size());
    return DrawTitleOver(host, time, area, frame, scratch, error);
}

bool DrawTitleOver(ITitleHost& host, double time, const FrameFit& area, Image& frame, Image& scratch,
                   std::string& error) {
    const bool whole = area.Whole(frame.width, frame.height);
    if (!whole) {
        if (scratch.width != area.width || scratch.height != area.height) scratch = Image(area.width, area.height);
        CopyArea(frame, area.x, area.y, scratch);
    }
    Image& target = whole ? frame : scratch;
    const HRESULT status = host.Render(target.pixels.data(), static_cast<float>(std::clamp(time, 0.0, 1.0)));
    if (status != S_OK) {
        error = "the title library could not draw the frame: " + StatusText(status);
        return false;
    }
    if (!whole) PasteArea(scratch, frame, area.x, area.y);
    return true;
}

}  // namespace qeltitle
