// The glyph cache: a character's face, border and shadow images and the key they are made from.
//
// The rule that keeps cached images right: the key is the only input. MakeGlyphImages takes a
// GlyphKey and nothing else (no string, no settings, no title), so everything that can change a
// character's pixels has to be a field of the key, equal keys make identical images, and an image
// is stale exactly when its key differs from the one it was made from. A new input is added as a
// key field, filled in GlyphKeyAt (at rest) or WithMotion (an effect's scale and turn), read in
// MakeGlyphImages and sorted into StaleImages.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "glyph/GlyphCoverage.h"
#include "model/TitleModel.h"
#include "render/Layers.h"

namespace qel {

// The value of a character that draws nothing: the second unit of a surrogate pair, or a
// character whose style entries are missing from its string's tables.
constexpr uint32_t kNoGlyph = 0xFFFFFFFFu;

// Everything a character's images are made from. Keys are compared and hashed as bytes, so every
// key is made by GlyphKeyAt, which clears the padding.
struct GlyphKey {
    MetaFont font;
    MetaFace face;
    MetaBorder border;
    MetaShadow shadow;
    LayerSettings frame;    // the frame's scales, anti-aliasing quality and colour mode
    float widthScale;       // the character's own stretch across (also widens the border)
    float scaleX, scaleY;   // an effect's extra scales; 1 at rest
    float angle;            // degrees: the string's rotation plus an effect's turn
    float rotCos, rotSin;   // the string's rotation, which places the glyph box
    int32_t vertical;       // the string runs in columns
    uint32_t value;         // the code point drawn (a surrogate pair's whole one), or kNoGlyph
    uint32_t valid;         // 0 for a record never made
    // One gradient of the face's colours laid across the character's line or string: the box it
    // spans (frame pixels from the character's drawing position, unturned). All zero when the
    // face's gradient is the character's own.
    uint32_t across;
    float acrossX, acrossY, acrossW, acrossH;
    // A shaped cluster's glyphs, drawn instead of value when glyphCount is not 0 (the first
    // character of the cluster; the others draw nothing).
    uint32_t glyphCount;
    uint32_t sideways;  // the cluster lies on its side in a column (turned a quarter turn clockwise)
    ClusterGlyph glyphs[kMaxClusterGlyphs];
};

// The key of character i of s at rest in a frame of the given settings.
GlyphKey GlyphKeyAt(const MetaString& s, size_t i, const LayerSettings& frame);

// The key of the same character scaled by (scaleX, scaleY) and turned by `turn` degrees more.
GlyphKey WithMotion(const GlyphKey& rest, float scaleX, float scaleY, float turn);

// Which images a change of key makes stale (DirtyBit flags): the face alone, the border (whose
// ring also casts the shadow), the shadow alone, or all three.
uint8_t StaleImages(const GlyphKey& was, const GlyphKey& now);

// Makes the images of out whose rebuild flags are set, from key alone, and clears the flags.
// S_OK (also for a character that draws nothing, whose images are then empty), E_INVALIDARG
// with the flags kept for scales or an angle that cannot be drawn, or E_OUTOFMEMORY with the
// images freed and the flags kept when memory ran out (the next call tries again). Safe to call
// on several threads for different records.
HRESULT MakeGlyphImages(const GlyphKey& key, PreparedGlyph* out) noexcept;

// Brings one string's cached images in line with the string: one record and key per character,
// and the rebuild flags of every image whose key changed.
void SyncGlyphs(const MetaString& s, const LayerSettings& frame, std::vector<PreparedGlyph>& glyphs,
                std::vector<GlyphKey>& keys);

// The stale images at rest of any number of strings, made together. Characters whose keys are
// equal are made once and copied: equal keys make identical images.
class GlyphBatch {
public:
    // glyph and key must stay where they are until CopyEqual has run.
    void Add(PreparedGlyph* glyph, const GlyphKey* key);
    // The records to make; Make(k) for every k in [0, Count()), on any threads, then CopyEqual.
    int32_t Count() const { return int32_t(items_.size()); }
    void Make(int32_t k) noexcept;
    void CopyEqual();
    // Some image could not be made for lack of memory (its flags stay set).
    bool OutOfMemory() const { return outOfMemory_.load(std::memory_order_relaxed); }

private:
    struct Item {
        PreparedGlyph* glyph;
        const GlyphKey* key;
        int32_t source;  // the item whose images this one copies, or -1
    };
    std::vector<Item> items_;
    std::unordered_map<std::string_view, int32_t> firstOfKey_;  // key bytes -> first item made
    std::atomic<bool> outOfMemory_{false};
};

}  // namespace qel
