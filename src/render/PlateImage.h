// The image of a plate: a rounded box with a fill (a colour, or a gradient given by its corners),
// an outline inside its edge and a soft shadow, scaled and turned about its centre, of which only a
// clipped part may show (a wipe). Like a character image it holds straight alpha and is placed
// into a string's layers; the compositor decides where, when and how opaque.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "render/Layers.h"

namespace qel {

// Everything a plate image is made from; two equal shapes make identical images. Lengths are
// frame pixels; colours are packed like the character builders' (FrameColor already applied).
struct PlateShape {
    float width = 0, height = 0;         // the box (padding included), unscaled
    float radius = 0;                    // corner radius; at most half the shorter side is used
    std::array<uint32_t, 4> fill{};      // fill colour at the corners TL, TR, BL, BR
    uint32_t fillAlpha = 0;              // 0..255
    float border = 0;                    // outline width, inside the edge
    uint32_t borderColour = 0, borderAlpha = 0;
    float shadowX = 0, shadowY = 0;      // shadow offset (not turned with the plate)
    float shadowBlur = 0;                // Gaussian radius
    uint32_t shadowColour = 0, shadowAlpha = 0;
    float clipLeft = 0, clipTop = 0;     // the part of the unscaled box that shows, from its
    float clipRight = 0, clipBottom = 0; // top-left corner (all of it: 0, 0, width, height)
    float scaleX = 1, scaleY = 1;        // about the centre
    float angle = 0;                     // degrees about the centre, as strings turn
    float fracX = 0, fracY = 0;          // the fraction of a pixel at which the centre stands
};

// Opacity that varies over a plate, as characters that a wipe takes one by one give it: the
// opacity at box point (u, v) is across[floor(u)] / 255 * down[floor(v)] / peak (indices clamped
// to the tables). Each table is the largest opacity of the characters over that column or row of
// the box, so a sweep along either axis, or a uniform fade, comes out as the characters show it.
struct PlateFade {
    std::vector<uint8_t> across, down;  // per unit of the unscaled box's width and height
    uint8_t peak = 255;                 // the largest opacity of all
};

// Replaces *out by the plate's image, (x, y) its top-left corner from the box's centre. S_OK, also
// for a plate that shows nothing (empty image); E_INVALIDARG for a shape that cannot be drawn
// (sizes not finite or beyond the image limits), E_OUTOFMEMORY.
// `fade`, when given, varies the opacity over the plate.
[[nodiscard]] HRESULT BuildPlateImage(LayerImage* out, const PlateShape& shape,
                                      const PlateFade* fade = nullptr) noexcept;

}  // namespace qel
