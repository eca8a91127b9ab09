// The glyph cache: keys, and the images made from them.
#include "glyph/GlyphCache.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#include "glyph/GlyphCoverage.h"
#include "model/Fonts.h"
#include "platform/AllocationGate.h"
#include "model/Plates.h"
#include "render/Gradient.h"
#include "render/OutlineKernel.h"

namespace qel {

GlyphKey GlyphKeyAt(const MetaString& s, size_t i, const LayerSettings& frame) {
    const MetaCharacter& c = s.chars[i];
    auto entry = [](const auto& table, int32_t index, bool* missing) {
        using Entry = std::decay_t<decltype(table[0])>;
        if (index >= 0 && size_t(index) < table.size()) return table[size_t(index)];
        *missing = true;
        return Entry{};
    };
    GlyphKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);  // padding too: keys are compared as bytes
    bool missing = false;
    key.font = entry(s.fonts, c.FontIndex, &missing);
    key.face = entry(s.faces, c.FaceIndex, &missing);
    key.border = entry(s.borders, c.BorderIndex, &missing);
    key.shadow = entry(s.shadows, c.ShadowIndex, &missing);
    key.frame = frame;
    key.widthScale = c.WidthScale;
    key.scaleX = key.scaleY = 1.0f;
    key.angle = s.RotateDegree;
    key.rotCos = s.RotCos;
    key.rotSin = s.RotSin;
    key.vertical = s.Vertical;
    // An edit beside a surrogate can make or break a pair: the character drawn changes with it.
    // Indices may come from a stored title: a character whose style entries are missing is
    // treated like the tail of a pair.
    key.value = missing || IsPairTail(s, i) ? kNoGlyph : uint32_t(CodePointAt(s, i));
    key.valid = 1;
    LayoutBox across;
    if (s.GradientAcross != QEL_ACROSS_OWN && key.face.Color1 != key.face.Color2 && key.value != kNoGlyph &&
        AcrossBox(s, i, s.GradientAcross, &across)) {
        const LayoutBox own = CharLayoutBox(s, i);
        key.across = 1;
        key.acrossX = (across.left - own.left) * frame.scaleX;
        key.acrossY = (across.top - own.top) * frame.scaleY;
        key.acrossW = across.Width() * frame.scaleX;
        key.acrossH = across.Height() * frame.scaleY;
    }
    if (s.Shaping.Shaped(i) && key.value != kNoGlyph) {
        // A shaped cluster is drawn by its first character; the rest of it draws nothing.
        const ShapedUnit& u = s.Shaping.units[i];
        key.glyphCount = uint32_t(std::min<size_t>(u.glyphCount, kMaxClusterGlyphs));
        key.sideways = u.sideways && s.Vertical ? 1 : 0;
        if (key.glyphCount == 0) key.value = kNoGlyph;
        for (uint32_t g = 0; g < key.glyphCount; ++g) key.glyphs[g] = s.Shaping.glyphs[u.glyphStart + g];
    }
    return key;
}

GlyphKey WithMotion(const GlyphKey& rest, float scaleX, float scaleY, float turn) {
    GlyphKey key = rest;
    key.scaleX = scaleX;
    key.scaleY = scaleY;
    key.angle = rest.angle + turn;
    return key;
}

uint8_t StaleImages(const GlyphKey& was, const GlyphKey& now) {
    auto differ = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) != 0; };
    if (!was.valid || was.value != now.value || differ(was.font, now.font) || differ(was.frame, now.frame) ||
        differ(was.widthScale, now.widthScale) || differ(was.scaleX, now.scaleX) ||
        differ(was.scaleY, now.scaleY) || differ(was.angle, now.angle) || differ(was.rotCos, now.rotCos) ||
        differ(was.rotSin, now.rotSin) || was.vertical != now.vertical || was.glyphCount != now.glyphCount ||
        was.sideways != now.sideways ||
        differ(was.glyphs, now.glyphs)) {
        return kDirtyAll;
    }
    uint8_t bits = 0;
    if (differ(was.face, now.face) || was.across != now.across || differ(was.acrossX, now.acrossX) ||
        differ(was.acrossY, now.acrossY) || differ(was.acrossW, now.acrossW) || differ(was.acrossH, now.acrossH)) {
        bits |= kDirtyFace;
    }
    if (differ(was.border, now.border)) bits |= kDirtyBorder | kDirtyShadow;
    if (differ(was.shadow, now.shadow)) bits |= kDirtyShadow;
    return bits;
}

HRESULT MakeGlyphImages(const GlyphKey& key, PreparedGlyph* out) noexcept {
    const float scaleX = key.widthScale * key.scaleX, scaleY = key.scaleY, angle = key.angle;
    if (!out || !(scaleX > 0) || !(scaleY > 0) || !std::isfinite(scaleX) || !std::isfinite(scaleY) ||
        !std::isfinite(angle)) {
        return E_INVALIDARG;
    }
    if (out->DirtyBits == 0) return S_OK;

    (void)TakeAllocationFailure();  // only what happens below counts
    auto fail = [out] {
        out->FreeImages();
        // Out of memory is not "nothing to draw": the flags stay for the next frame to try again.
        if (TakeAllocationFailure()) return E_OUTOFMEMORY;
        out->DirtyBits = 0;
        return S_OK;
    };
    if (key.value == kNoGlyph) return fail();
    const MetaFont& font = key.font;
    const LayerSettings& settings = key.frame;

    // Refuse before asking the font engine for a glyph whose em alone would exceed the image
    // limits.
    const double em = double(kDesignHeight) * std::fabs(double(font.SizeRatio));
    const double emX = em * std::fabs(double(scaleX) * settings.scaleX);
    const double emY = em * std::fabs(double(scaleY) * settings.scaleY);
    if (!(emX <= double(kMaxImageSide)) || !(emY <= double(kMaxImageSide)) ||
        !(emX * emY <= double(kMaxImagePixels))) {
        return fail();
    }

    const char32_t code = key.value;
    const GlyphRequest request{settings.scaleX, settings.scaleY, settings.qualityMode, key.vertical != 0,
                               key.sideways != 0};
    // A colour cluster (emoji) is its own face; its alpha is the mask that border and shadow
    // grow from.
    ColorCoverage color;
    const int ok = GetCharacterCoverage(code, key.glyphs, key.glyphCount, font, scaleX, scaleY, angle, request, &color);
    const GlyphCoverage& glyph = color.alpha;
    if (!ok || !glyph.mask || glyph.width <= 0 || glyph.height <= 0) return fail();
    const MaskView glyphMask{glyph.mask.get(), glyph.width, glyph.height};

    // The glyph box relative to the character's drawing position, from where the glyph's origin
    // (u across, v along the text, in the string's unturned frame) lies from the top-left corner
    // of the character box, turned with the string. Upright, the origin lies an ascent below the
    // corner. A Latin letter turned clockwise in a column starts at the top of its box and is
    // centred like an ideograph of its font, half an em from the box's left edge: the middle of
    // its ascent (baseline to ascender, where capitals and digits stand) lies there. A cluster
    // of a run that lies on its side stands the same way, so turned runs share one line.
    const float ascent = font.Ascent * settings.scaleY;
    float u = 0, v = ascent;
    if ((key.vertical != 0 && code < 128 && key.glyphCount == 0) || key.sideways != 0) {
        u = float(kDesignHeight) * 0.5f * font.SizeRatio * settings.scaleX - ascent * 0.5f;
        v = 0;
    }
    const float x0 = glyph.originX + u * key.rotCos + v * key.rotSin;
    const float y0 = v * key.rotCos - u * key.rotSin - glyph.originY;

    const MetaBorder& border = key.border;
    float bx = 0, by = 0;
    if (border.Size >= 1) {
        bx = float(StyleDistance(double(border.Size) * key.widthScale, font.SizeRatio, settings.scaleX));
        by = float(StyleDistance(border.Size, font.SizeRatio, settings.scaleY));
        // Wider than the engine draws, or than the character's image may grow: drawn at the
        // largest width that fits, the ellipse's shape kept.
        const float widest = float(std::min<int64_t>(kMaxKernelHalf, std::max<int64_t>(
                                 LargestMargin(glyph.width, glyph.height), 0)));
        if (const float wide = std::max(bx, by); wide > widest) {
            bx = std::isinf(bx) ? widest : std::min(bx * (widest / wide), widest);
            by = std::isinf(by) ? widest : std::min(by * (widest / wide), widest);
        }
    }
    // A layer a builder refuses (too large, nothing to draw) is left out; out of memory is not
    // "nothing to draw", and fails the whole character so that the next frame asks again.
    auto outOfMemory = [out] {
        out->FreeImages();
        return E_OUTOFMEMORY;
    };
    OutlineMasks outline;
    if (const HRESULT hr = BuildOutlineMasks(glyphMask.pixels, glyphMask.width, glyphMask.height, bx, by, &outline);
        hr != S_OK) {
        if (hr == E_OUTOFMEMORY) return outOfMemory();
        outline = OutlineMasks{};  // no border; the shadow falls back to the glyph alone
    }
    const float mx = float(outline.marginX), my = float(outline.marginY);

    if (out->DirtyBits & kDirtyShadow) {
        const MetaShadow& shadow = key.shadow;
        const bool fromOutline = (shadow.EnableBorder & 0xFF) != 0 && outline.full;
        if (BuildShadowLayer(&out->Shadow, glyphMask, outline.Full(), outline.Ring(), fromOutline ? x0 - mx : x0,
                             fromOutline ? y0 - my : y0, shadow, font.SizeRatio, settings) == E_OUTOFMEMORY) {
            return outOfMemory();
        }
    }
    if (out->DirtyBits & kDirtyBorder) {
        if (BuildBorderLayer(&out->Border, outline.Ring(), x0 - mx, y0 - my, border, font.SizeRatio, settings) ==
            E_OUTOFMEMORY) {
            return outOfMemory();
        }
    }
    if (out->DirtyBits & kDirtyFace) {
        const HRESULT hr = color.pixels ? BuildColorFaceLayer(&out->Face, color.pixels.get(), glyph.width,
                                                              glyph.height, x0, y0, key.face, font.SizeRatio, settings)
                                        : BuildFaceLayer(&out->Face, glyphMask, x0, y0, key.face, font.SizeRatio,
                                                         settings);
        if (hr == E_OUTOFMEMORY) return outOfMemory();
        if (key.across && !color.pixels && out->Face.pixels) {
            // The face's gradient is a piece of the one over the line or string.
            GradientBox box;
            box.corners = GradientCorners(FrameColor(key.face.Color1, settings.colorMode),
                                          FrameColor(key.face.Color2, settings.colorMode), key.face.GradType);
            box.x = key.acrossX, box.y = key.acrossY, box.width = key.acrossW, box.height = key.acrossH;
            box.cosA = key.rotCos, box.sinA = key.rotSin;
            FillGradientOver(out->Face.pixels.get(), out->Face.width, out->Face.height, out->Face.x, out->Face.y, box);
            out->Face.oneColour = false;
        }
    }
    // The font engine notes what it absorbed while the coverage was made.
    if (TakeAllocationFailure()) return outOfMemory();
    out->DirtyBits = 0;
    return S_OK;
}

void SyncGlyphs(const MetaString& s, const LayerSettings& frame, std::vector<PreparedGlyph>& glyphs,
                std::vector<GlyphKey>& keys) {
    glyphs.resize(s.chars.size());
    keys.resize(s.chars.size(), GlyphKey{});
    for (size_t i = 0; i < s.chars.size(); ++i) {
        const GlyphKey key = GlyphKeyAt(s, i, frame);
        glyphs[i].DirtyBits |= StaleImages(keys[i], key);
        keys[i] = key;
    }
}

namespace {

// A copy of from's images into *to, rebuild flags and all; false (with *to unchanged in its flags)
// when memory runs out.
bool CopyImages(const PreparedGlyph& from, PreparedGlyph* to) {
    const LayerImage* sources[3] = {&from.Face, &from.Border, &from.Shadow};
    LayerImage* targets[3] = {&to->Face, &to->Border, &to->Shadow};
    for (int k = 0; k < 3; ++k) {
        const LayerImage& a = *sources[k];
        LayerImage& b = *targets[k];
        b.Reset();
        if (!a.pixels) continue;
        const size_t bytes = size_t(a.width) * size_t(a.height) * 4;
        b.pixels.reset(new (std::nothrow) uint8_t[bytes]);
        if (!b.pixels) return false;
        std::memcpy(b.pixels.get(), a.pixels.get(), bytes);
        b.width = a.width;
        b.height = a.height;
        b.x = a.x;
        b.y = a.y;
        b.oneColour = a.oneColour;
        b.colour = a.colour;
    }
    to->DirtyBits = from.DirtyBits;
    return true;
}

}  // namespace

void GlyphBatch::Add(PreparedGlyph* glyph, const GlyphKey* key) {
    int32_t source = -1;
    if (glyph->DirtyBits == kDirtyAll) {
        const std::string_view bytes(reinterpret_cast<const char*>(key), sizeof(GlyphKey));
        const auto [at, added] = firstOfKey_.emplace(bytes, Count());
        if (!added) source = at->second;
    }
    items_.push_back({glyph, key, source});
}

void GlyphBatch::Make(int32_t k) noexcept {
    const Item& it = items_[size_t(k)];
    if (it.source >= 0) return;
    if (MakeGlyphImages(*it.key, it.glyph) == E_OUTOFMEMORY) outOfMemory_.store(true, std::memory_order_relaxed);
}

void GlyphBatch::CopyEqual() {
    for (const Item& it : items_) {
        if (it.source < 0) continue;
        if (!CopyImages(*items_[size_t(it.source)].glyph, it.glyph) &&
            MakeGlyphImages(*it.key, it.glyph) == E_OUTOFMEMORY) {
            outOfMemory_.store(true, std::memory_order_relaxed);
        }
    }
}

}  // namespace qel
