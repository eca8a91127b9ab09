// The frame a title is drawn on: the library's render settings for it, the background every
// drawing starts from, and drawing the title at one title time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "player/FrameDefaults.h"
#include "player/Image.h"
#include "player/Placement.h"
#include "qel/QEL_Title2.h"

namespace qeltitle {

// Frame the title is drawn on. Layout units become frame pixels times `scale`; with `fit`, the
// engine draws only the fitted part of the frame at the fit's scale instead (`scale` unused).
struct FrameSetup {
    int width = kLayoutWidth;
    int height = kLayoutHeight;
    float scale = 1.0f;
    bool keepAlpha = false;  // transparent frame: the title's alpha is combined with it
    int threads = 0;         // worker limit; 0: one per processor
    std::optional<FrameFit> fit;
    FrameFit Area() const { return fit ? *fit : WholeFrame(scale, width, height); }
};
bool ConfigureFrame(qel::ITitleHost& host, const FrameSetup& setup, std::string& error);

// --background: "#RRGGBB", "transparent", or a PNG file scaled to the frame.
struct Background {
    enum class Kind { Color, Picture, Transparent } kind = Kind::Color;
    uint32_t rgb = 0;  // 0x00RRGGBB
    Image picture;
};
bool ParseBackground(const std::string& text, Background& out, std::string& error);
// The frame every drawing starts from.
Image BackgroundFrame(const Background& background, int width, int height);

// Copies `base` into `frame` and draws the title at `time` (0 to 1) over it.
bool DrawTitle(qel::ITitleHost& host, const Image& base, double time, Image& frame, std::string& error);
// The same within `area` of the frame (the engine set up for its size and scale): the rest of
// the frame is `base` as it is. `scratch` holds the area between calls.
bool DrawTitle(qel::ITitleHost& host, const Image& base, double time, const FrameFit& area, Image& frame,
               Image& scratch, std::string& error);
// Draws the title at `time` over what `frame` holds, within `area`.
bool DrawTitleOver(qel::ITitleHost& host, double time, const FrameFit& area, Image& frame, Image& scratch,
                   std::string& error);
// Copies the area (x, y, width, height of `from`) into `to`, or back.
void CopyArea(const Image& from, int x, int y, Image& to);
void PasteArea(const Image& from, Image& to, int x, int y);

}  // namespace qeltitle
