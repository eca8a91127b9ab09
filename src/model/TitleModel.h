// The in-memory title: strings, their characters, lines and paragraphs, the per-string style
// tables that characters point into, key frames, and the prepared character images.
//
// Geometry is in layout units (frame coordinates before the render settings' ScaleX/ScaleY), x to
// the right and y downwards. Character codes are UTF-16 code units.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {

class PathEffect;

struct MetaCharacter {
    uint16_t Value = 0;
    float Left = 0, Top = 0;      // relative to the character's line
    float Width = 0, Height = 0;  // measured extent in its font
    float WidthScale = 1, Spacing = 0;
    int32_t LineIndex = 0;
    int32_t FontIndex = 0, FaceIndex = 0, BorderIndex = 0, ShadowIndex = 0;
};

struct MetaLine {
    float Left = 0, Top = 0, Width = 0, Height = 0;  // relative to the paragraph
    int32_t CharStart = 0, CharEnd = 0;              // inclusive
    int32_t ParagraphIndex = 0;
};

struct MetaParagraph {
    float Left = 0, Top = 0, Width = 0, Height = 0;  // relative to the string
    int32_t LineStart = 0, LineEnd = 0;              // inclusive
    uint32_t Align = 0;
    float LineSpace = 0, BeforeSpace = 0, AfterSpace = 0, LeftIndent = 0, RightIndent = 0;

    ParagraphAttrs Attrs() const {
        return {Align, LineSpace, BeforeSpace, AfterSpace, LeftIndent, RightIndent};
    }
    void SetAttrs(const ParagraphAttrs& a) {
        Align = a.Align;
        LineSpace = a.LineSpace;
        BeforeSpace = a.BeforeSpace;
        AfterSpace = a.AfterSpace;
        LeftIndent = a.LeftIndent;
        RightIndent = a.RightIndent;
    }
};

// A font entry. Lengths are already multiplied by SizeRatio, so they are in layout units.
struct MetaFont {
    LOGFONTW LogFont{};
    float SizeRatio = 0;  // |Size| / 2048
    float Ascent = 0, Descent = 0, IntLead = 0, ExtLead = 0;
    float StrikeoutPos = 0, StrikeoutSize = 0, UnderlinePos = 0, UnderlineSize = 0;
};
static_assert(sizeof(MetaFont) == 92 + 9 * 4, "MetaFont must have no padding: entries are compared as bytes");

// A character image: 4-byte pixels, straight alpha, stride width * 4. (x, y) is its top-left
// corner relative to the character's drawing position.
struct LayerImage {
    std::unique_ptr<uint8_t[]> pixels;  // null when the layer is absent
    int32_t width = 0, height = 0;
    float x = 0, y = 0;

    void Reset() {
        pixels.reset();
        width = height = 0;
        x = y = 0;
    }
};

enum DirtyBit : uint8_t { kDirtyFace = 1, kDirtyBorder = 2, kDirtyShadow = 4, kDirtyAll = 7 };

struct PreparedGlyph {
    LayerImage Face, Border, Shadow;
    uint8_t DirtyBits = kDirtyAll;

    void FreeImages() {
        Face.Reset();
        Border.Reset();
        Shadow.Reset();
    }
};

// One block holding a string's three frame-sized layers (premultiplied pixels).
struct AlignedFree {
    void operator()(uint8_t* p) const noexcept { std::free(p); }
};
using AlignedBlock = std::unique_ptr<uint8_t, AlignedFree>;

struct LayerMemory {
    AlignedBlock block;
    uint8_t* ShadowLayer = nullptr;
    uint8_t* BorderLayer = nullptr;
    uint8_t* FaceLayer = nullptr;

    explicit operator bool() const { return block != nullptr; }
    void Reset() {
        block.reset();
        ShadowLayer = BorderLayer = FaceLayer = nullptr;
    }
};

// Enumeration state of GetFirstKeyFrame / GetNextKeyFrame and of key-frame evaluation.
struct KeyFrameCursor {
    bool placed = false;  // never placed (or cleared): GetNextKeyFrame fails
    bool atEnd = false;   // past the last entry
    float key = 0;        // the entry under the cursor when placed and not at the end
};

struct MetaString {
    float Left = 0, Top = 0;
    float Width = 0, Height = 0;
    int32_t ParagraphCount = 0;
    float WidthLimit = 0;
    float RotateDegree = 0;
    int32_t Vertical = 0;
    char PathID[260] = {};
    float PathProgress = 0;
    char MaskFile[260] = {};
    PathEffect* Effect = nullptr;  // owned; released through the effect catalogue
    int32_t EffectStale = 0;

    std::vector<MetaCharacter> chars;
    std::vector<MetaLine> lines;
    std::vector<MetaParagraph> paragraphs;
    std::vector<MetaFont> fonts;
    std::vector<MetaFace> faces;
    std::vector<MetaBorder> borders;
    std::vector<MetaShadow> shadows;
    std::map<float, PathValue> KeyFrames;
    KeyFrameCursor Cursor;
    std::vector<PreparedGlyph> Glyphs;  // parallel to chars

    float RotSin = 0, RotCos = 1;          // of -RotateDegree
    float RotOriginX = 0, RotOriginY = 0;  // frame units
    LayerMemory Layers;
    RECT StringDirtyRect{};
};

}  // namespace qel
