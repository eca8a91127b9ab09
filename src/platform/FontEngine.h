// The font engine: fonts created from a LOGFONTW at the design height (an em of 2048 pixels),
// their text and outline metrics, extents of single code units, glyph lookup, anti-aliased glyph
// bitmaps under a 2 x 2 matrix, and the fonts fontconfig knows.
//
// Built on fontconfig (which face a LOGFONTW means, which installed face has a character) and
// FreeType (everything about the face itself). Every length is in pixels at the design height,
// rounded to integers the way the values of a screen font engine are; callers scale them by
// SizeRatio. Only files under src/platform include FreeType or fontconfig headers.
//
// Threads: fontconfig is used under one process-wide lock, and its answers are cached. FreeType
// objects are per thread (each thread has its own FT_Library and its own faces), so a FontFace is
// valid only on the thread that opened it, and any number of threads may open and use fonts at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {

constexpr int32_t kEngineEmPixels = 2048;  // every face is sized to this em, whatever lfHeight says

// The text metrics a layout reads, in pixels at the design height.
struct TextMetrics {
    int32_t ascent = 0;           // usWinAscent
    int32_t descent = 0;          // usWinDescent (positive below the baseline)
    int32_t height = 0;           // ascent + descent
    int32_t internalLeading = 0;  // height - em
    int32_t externalLeading = 0;  // extra line gap beyond height that the face asks for
};

// The outline metrics of a scalable face, in pixels at the design height, y upwards.
struct OutlineMetrics {
    TextMetrics text;
    int32_t ascent = 0;   // sTypoAscender
    int32_t descent = 0;  // sTypoDescender (negative below the baseline)
    int32_t strikeoutPosition = 0;
    uint32_t strikeoutSize = 0;
    int32_t underscorePosition = 0;
    int32_t underscoreSize = 0;
};

// Glyph bitmap formats with the number of coverage levels each carries.
enum class GlyphFormat : uint8_t {
    Gray8,   // 65 levels (0..64), one byte per pixel, rows padded to 4 bytes
    Gray4,   // 17 levels (0..16), likewise
    Gray2,   // 5 levels (0..4), likewise
    Bitmap,  // 1 bit per pixel, most significant bit first, rows padded to 32 bits
};

// A 2 x 2 matrix of 16.16 fixed-point numbers acting on y-up glyph coordinates:
// x' = m11 * x + m21 * y, y' = m12 * x + m22 * y.
struct GlyphMatrix {
    int32_t m11 = 0x10000, m12 = 0, m21 = 0, m22 = 0x10000;
};

// Where a glyph bitmap lies: its black box and the black box's upper-left corner relative to
// the glyph origin on the baseline (y upwards).
struct GlyphBox {
    int32_t blackBoxX = 0, blackBoxY = 0;
    int32_t originX = 0, originY = 0;
};

struct GlyphBitmap {
    std::unique_ptr<uint8_t[]> bits;  // in the requested format
    uint32_t byteCount = 0;           // rows x padded row bytes
    GlyphBox box;
};

// A colour glyph: straight-alpha pixels in blue, green, red, alpha order, rows top to bottom,
// stride width * 4, placed like a GlyphBox (upper-left corner from the origin, y upwards).
struct ColorBitmap {
    std::unique_ptr<uint8_t[]> pixels;
    int32_t width = 0, height = 0;
    int32_t originX = 0, originY = 0;
};

struct FaceEntry;

// One glyph of a shaped cluster: its index in the face and where its origin lies from the
// cluster's origin, in pixels at the design height (y upwards).
struct PlacedGlyph {
    uint32_t index = 0;
    float x = 0, y = 0;
};

// A font opened from a LOGFONTW: the face fontconfig matches for its face name, weight and
// italic flag, emboldened or slanted when the request is bold or italic and the face is not.
class FontFace {
public:
    // Opens the font of lf on the calling thread; an empty handle when no face can be loaded.
    static FontFace Open(const LOGFONTW& lf);

    FontFace();
    ~FontFace();
    FontFace(FontFace&&) noexcept;
    FontFace& operator=(FontFace&&) noexcept;

    explicit operator bool() const { return entry_ != nullptr; }

    // Fails for a face without outlines (bitmap-only).
    bool GetOutlineMetrics(OutlineMetrics* out) const;
    bool GetTextMetrics(TextMetrics* out) const;
    // Extent of one character (a code point, which may lie beyond U+FFFF): its unhinted advance
    // and the text height. A character the face lacks (a lone surrogate among them) measures as
    // the face's missing glyph.
    bool GetTextExtent(char32_t code, int32_t* cx, int32_t* cy) const;
    // The face's glyph index for a code point; 0 when the face lacks it.
    uint32_t GlyphIndex(char32_t code) const;
    // The glyph of a code point under a matrix, anti-aliased and quantised to the format's levels.
    // Returns the byte count of out->bits; 0 for a glyph without ink (a space) or on failure.
    uint32_t GetGlyphBitmap(char32_t code, GlyphFormat format, const GlyphMatrix& matrix,
                            GlyphBitmap* out) const;
    // The same for glyphs given by index, drawn together as one shape (a shaped cluster: a base
    // with its marks, a conjunct, a ligature); the origin is the cluster's.
    uint32_t GetGlyphsBitmap(const PlacedGlyph* glyphs, size_t count, GlyphFormat format,
                             const GlyphMatrix& matrix, GlyphBitmap* out) const;

    // Whether the face has colour glyphs (bitmap strikes or colour layers), and one of them by
    // index under a matrix (on glyph coordinates in pixels at the design height), scaled smoothly.
    // Returns the byte count; 0 when the glyph has no colour image (draw its outline instead).
    bool IsColor() const;
    uint32_t GetColorGlyph(uint32_t index, const GlyphMatrix& matrix, ColorBitmap* out) const;

    // The font file and face index the face was opened from (for the shaper), and whether bold
    // is synthesised (which widens every advance).
    bool Source(std::string* file, int* index) const;
    bool Emboldened() const { return embolden_; }
    // Synthetic bold's extra advance, in pixels at the design height.
    static int32_t EmboldenAdvance();

private:
    std::shared_ptr<FaceEntry> entry_;  // the thread's face for the matched file
    bool embolden_ = false;             // bold requested, face not bold
    bool oblique_ = false;              // italic requested, face upright
};

// Every family name that fontconfig lists, each once, sorted.
std::vector<std::u16string> ListFamilyNames();

// Whether two family names are equal when case is ignored (fontconfig's case folding, which
// also folds letters beyond ASCII). Blanks count, as they do when a face is requested by name.
bool SameFamilyName(std::u16string_view a, std::u16string_view b);

// Whether a name is one of the generic families "serif", "sans-serif" or "monospace" (in any
// case), which fontconfig resolves to a face of the machine's choosing.
bool IsGenericFamily(std::u16string_view name);

// The family that fontconfig chooses for "sans-serif"; "DejaVu Sans" if it chooses none.
std::u16string DefaultSansFamily();

}  // namespace qel
