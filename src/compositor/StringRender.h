// What the compositor keeps for one string between frames, in three parts that change for
// different reasons: the character images at rest (made again when a character's key changes),
// the effect instance (made again when the title's revision or the string's path changes) and the
// three layers the string is drawn into (laid out again when what the string draws moves beyond
// them). None of it is saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "effects/PathEffect.h"
#include "glyph/GlyphCache.h"
#include "model/Title.h"
#include "render/Layers.h"
#include "render/PlateImage.h"

namespace qel {

// The string's character images at rest, parallel to its characters, and the key each was made
// from (a record is stale exactly when its key differs from the character's).
struct GlyphRecords {
    std::vector<PreparedGlyph> glyphs;
    std::vector<GlyphKey> keys;
};

// The effect a string is drawn with, and what it was made for: the title revision it was set up
// at and the path identifier it was made for. An empty slot that is current holds "no effect"
// (a path the catalogue does not know).
class EffectSlot {
public:
    PathEffect* Get() const { return effect_.get(); }
    const char* PathId() const { return pathId_; }
    // Whether the slot holds what string s needs at the title's revision.
    bool CurrentFor(const MetaString& s, uint64_t revision) const {
        return made_ && revision_ == revision && std::strncmp(pathId_, s.PathID, sizeof pathId_) == 0;
    }
    // Holds effect (possibly null) as made for string s at the title's revision.
    void Hold(std::unique_ptr<PathEffect> effect, const MetaString& s, uint64_t revision) {
        effect_ = std::move(effect);
        made_ = true;
        revision_ = revision;
        std::memcpy(pathId_, s.PathID, sizeof pathId_);
    }

private:
    std::unique_ptr<PathEffect> effect_;
    uint64_t revision_ = 0;
    char pathId_[260] = {};
    bool made_ = false;
};

// The string's three premultiplied layers covering `rect` (frame pixels), each rect's width x
// height pixels with stride width * 4; the block holds `capacity` bytes per layer.
struct StringLayers {
    LayerMemory memory;
    RECT rect{};
    size_t capacity = 0;
    int32_t frameWidth = 0, frameHeight = 0;  // the frame size rect was chosen in
    RECT dirty{};                             // where the layers hold anything (inside rect)
    bool drawn = false;                       // the layers hold the string's last drawn image
    // Disjoint rectangles (frame pixels, inside dirty) covering every image the last frame placed.
    // The layers hold only zeros outside them when imagesOnly (no smoothing or whole-image effect
    // wrote beyond the images), so clearing, joining and blending need visit only them.
    std::vector<RECT> spans;
    bool imagesOnly = false;
    // The spans cover well under their bounding rectangle (scattered characters); dense ones
    // are cheaper to visit as that rectangle, whose other pixels are zero as well.
    bool spansSparse = false;
    // With plates, the spans of the characters' images alone: the plates lie in the shadow layer
    // only, so the border and face layers hold only zeros outside these (when imagesOnly).
    std::vector<RECT> glyphSpans;
    bool platesApart = false;  // glyphSpans is kept

    // Layer pixel (x, y) given in frame pixels, inside rect.
    uint8_t* At(uint8_t* layer, int32_t x, int32_t y) const {
        return layer + (ptrdiff_t(y - rect.top) * (rect.right - rect.left) + (x - rect.left)) * 4;
    }
    const uint8_t* At(const uint8_t* layer, int32_t x, int32_t y) const {
        return layer + (ptrdiff_t(y - rect.top) * (rect.right - rect.left) + (x - rect.left)) * 4;
    }
    int32_t Stride() const { return (rect.right - rect.left) * 4; }
};

// The image of one plate box at rest and the shape it was made from (stale when they differ).
struct PlateRecord {
    PlateShape shape;
    LayerImage image;
    std::unique_ptr<uint8_t[]> premultiplied;  // the image's pixels premultiplied, for a plain blend
    std::unique_ptr<uint8_t[]> wholePlacement;  // PrepareWholePlacement's, for fades in strips
    bool made = false;
};

// Drawing state of one string, parallel to the title's strings.
struct StringRender {
    GlyphRecords atRest;
    EffectSlot effect;
    StringLayers layers;
    std::vector<PlateRecord> plates;  // one per box of the string's plates, in drawing order
};

}  // namespace qel
