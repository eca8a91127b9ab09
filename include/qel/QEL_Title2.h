// QEL_Title2: the title engine's public C++ interface.
//
// A host loads libQEL_Title2.so, obtains a TitleHost with GetTitleHost and gives it back with
// ReleaseTitleHost. Everything else goes through the 69 operations of ITitleHost, whose order is
// the binary interface: a host may call operation N through entry N of the object's table.
// Records are copied in and out whole; their sizes are fixed (see the static_asserts below).
// Text crossing the interface is UTF-16 (char16_t) or UTF-8 (char).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pugi {
class xml_node;
}

namespace qel {

// Result codes, in the usual 32-bit convention.
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);

// Integer rectangle; right and bottom are exclusive.
struct RECT {
    int32_t left, top, right, bottom;
};

// Font description at the design height (92 bytes, little-endian, as stored in title files).
struct LOGFONTW {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char16_t lfFaceName[32];
};

// A font request: face, character set and em height in layout units.
struct FontSpec {
    char16_t FaceName[32];  // NUL-terminated
    uint32_t CharSet;       // 8 bits used; 1 = default set, 2 = symbol
    float Size;             // em height in layout units; the sign is ignored
    int32_t Bold;           // weight 700 when non-zero, else 400
    uint32_t Italic;        // 8 bits used
    uint32_t Underline;     // 8 bits used; reported back, never drawn
    uint32_t StrikeOut;     // 8 bits used; reported back, never drawn
};

// Colours are 0x00BBGGRR (red in the low byte).
struct MetaFace {
    uint32_t Enable;  // 8 bits used
    uint32_t Color1;
    uint32_t Color2;
    int32_t GradType;  // 0..7, see the gradient table; other values draw like 0
    uint32_t Alpha;    // 8 bits used
    int32_t BlurRadius;
};

struct MetaBorder {
    uint32_t Enable;  // 8 bits used
    int32_t Size;     // outline width; < 1 draws no ring
    uint32_t Color1;
    uint32_t Color2;
    int32_t GradType;
    uint32_t Alpha;  // 8 bits used
    int32_t BlurRadius;
};

struct MetaShadow {
    uint32_t EnableFace;    // 8 bits used
    uint32_t EnableBorder;  // 8 bits used
    uint32_t Color1;
    uint32_t Color2;
    int32_t GradType;
    uint32_t Alpha;  // 8 bits used
    int32_t BlurRadius;
    float OffsetX;    // layout units
    float OffsetY;    // layout units
    uint32_t Height;  // non-zero: extruded slab instead of a flat shadow
};

// Widest border, and largest blur radius, drawn, in frame pixels; a wider one is drawn at this
// size (or less, where the character's image would pass 16384 pixels a side), never left out.
constexpr int32_t kMaxStylePixels = 2048;
// A border Size or a BlurRadius in frame pixels, for a font `fontSize` layout units high drawn
// at `scale` frame pixels per layout unit (1/80 of the font's size per unit of the style).
inline double StylePixels(double value, double fontSize, double scale) { return value * fontSize * scale / 80; }

struct CharSpacing {
    float WidthScale;  // stretches the horizontal advance
    float Spacing;     // extra advance after the character, layout units
};

struct ParagraphAttrs {
    uint32_t Align;  // Align & 6: 2 end, 6 centre, else start
    float LineSpace;
    float BeforeSpace;
    float AfterSpace;
    float LeftIndent;
    float RightIndent;
};

struct StringAttrs {
    float Left;
    float Top;
    float WidthLimit;
    float RotateDegree;
    int32_t Vertical;
    char PathID[260];
    float PathProgress;
    char MaskFile[260];
};

struct RenderSettings {
    float Reserved;
    int32_t QualityMode;  // 0: 65 grey levels, 1: 17, 2: 5 (box blur), 3: monochrome (box blur)
    int32_t ColorMode;    // 1: frame bytes are Cr, Cb, Y, A; else B, G, R, A
    int32_t Smoothing;    // non-zero: vertical three-row smoothing of string images
    int32_t KeepAlpha;    // non-zero: combine with the frame's straight alpha
    int32_t Width;        // frame pixels
    int32_t Height;       // frame pixels
    float ScaleX;         // layout units to frame pixels
    float ScaleY;
    RECT ClipRect;
    int32_t UseGlyphCache;  // always stored as 1
    int32_t MaxThreads;     // worker limit; 0 = no limit, >= 2 enables threaded drawing
};

struct PathValue {
    char PathID[260];
    float PathProgress;
};

struct RectF {
    float x, y, width, height;
};

// Corners top-left (x0, y0), top-right (x1, y1), bottom-right (x2, y2), bottom-left (x3, y3),
// each point's x then its y: the layout of an array of four points.
struct QuadF {
    float x0, y0, x1, y1, x2, y2, x3, y3;
};

// Effect enumeration callback: path id (UTF-8), name and description (UTF-8 for EnumEffects,
// UTF-16 for EnumEffectsW), group id (UTF-8). Returning E_ABORT stops the walk.
using EffectEnumProc = int32_t (*)(const char* pathId, const void* name, const void* desc,
                                   const char* groupId);

static_assert(sizeof(RECT) == 16);
static_assert(sizeof(LOGFONTW) == 92);
static_assert(sizeof(FontSpec) == 88);
static_assert(sizeof(MetaFace) == 24);
static_assert(sizeof(MetaBorder) == 28);
static_assert(sizeof(MetaShadow) == 40);
static_assert(sizeof(CharSpacing) == 8);
static_assert(sizeof(ParagraphAttrs) == 24);
static_assert(sizeof(StringAttrs) == 544);
static_assert(offsetof(StringAttrs, PathProgress) == 280);
static_assert(sizeof(RenderSettings) == 60);
static_assert(sizeof(PathValue) == 264);
static_assert(sizeof(RectF) == 16);
static_assert(sizeof(QuadF) == 32);

// The TitleHost's operation table. Slot numbers are in the comments; the order is the ABI.
// row = string index, col/first = character index, line/para = line or paragraph index.
// The destructor is not virtual: slot 68 destroys the object (use ReleaseTitleHost).
class ITitleHost {
public:
    virtual int32_t AddString() noexcept = 0;                                              // 0
    virtual HRESULT ClearString(int32_t row) noexcept = 0;                                 // 1
    virtual int32_t RemoveAllStrings() noexcept = 0;                                       // 2
    virtual int32_t InsertText(int32_t row, int32_t col, const char16_t* text) noexcept = 0;  // 3
    virtual int32_t DeleteText(int32_t row, int32_t col, int32_t count) noexcept = 0;      // 4
    virtual int32_t SetDefaultFont(const FontSpec* font) noexcept = 0;                     // 5
    virtual HRESULT SetDefaultFace(const MetaFace* face) noexcept = 0;                     // 6
    virtual HRESULT SetDefaultBorder(const MetaBorder* border) noexcept = 0;               // 7
    virtual HRESULT SetDefaultShadow(const MetaShadow* shadow) noexcept = 0;               // 8
    virtual HRESULT SetDefaultSpacing(const CharSpacing* spacing) noexcept = 0;            // 9
    virtual HRESULT SetDefaultParagraph(const ParagraphAttrs* para) noexcept = 0;          // 10
    virtual HRESULT SetDefaultString(const StringAttrs* attrs) noexcept = 0;               // 11
    virtual HRESULT SetRenderSettings(const RenderSettings* settings) noexcept = 0;        // 12
    virtual HRESULT ApplyFont(int32_t row, int32_t first, int32_t count) noexcept = 0;     // 13
    virtual HRESULT ApplyFace(int32_t row, int32_t first, int32_t count) noexcept = 0;     // 14
    virtual HRESULT ApplyBorder(int32_t row, int32_t first, int32_t count) noexcept = 0;   // 15
    virtual HRESULT ApplyShadow(int32_t row, int32_t first, int32_t count) noexcept = 0;   // 16
    virtual HRESULT ApplySpacing(int32_t row, int32_t first, int32_t count) noexcept = 0;  // 17
    virtual HRESULT ApplyParagraph(int32_t row, int32_t first, int32_t count) noexcept = 0;  // 18
    virtual HRESULT ApplyString(int32_t row) noexcept = 0;                                 // 19
    virtual HRESULT RemeasureAll() noexcept = 0;                                           // 20
    virtual HRESULT GetCharFont(int32_t row, int32_t col, FontSpec* out) noexcept = 0;     // 21
    virtual HRESULT GetCharFace(int32_t row, int32_t col, MetaFace* out) noexcept = 0;     // 22
    virtual HRESULT GetCharBorder(int32_t row, int32_t col, MetaBorder* out) noexcept = 0;  // 23
    virtual HRESULT GetCharShadow(int32_t row, int32_t col, MetaShadow* out) noexcept = 0;  // 24
    virtual HRESULT GetCharSpacing(int32_t row, int32_t col, CharSpacing* out) noexcept = 0;  // 25
    virtual HRESULT GetCharParagraph(int32_t row, int32_t col, ParagraphAttrs* out) noexcept = 0;  // 26
    virtual HRESULT GetStringAttrs(int32_t row, StringAttrs* out) noexcept = 0;            // 27
    virtual HRESULT GetRenderSettings(RenderSettings* out) noexcept = 0;                   // 28
    virtual int32_t GetCharCount(int32_t row) noexcept = 0;                                // 29
    virtual int32_t GetLineCount(int32_t row) noexcept = 0;                                // 30
    virtual int32_t GetStringCount() noexcept = 0;                                         // 31
    virtual int32_t GetParagraphCount(int32_t row) noexcept = 0;                           // 32
    virtual HRESULT GetCharRect(int32_t row, int32_t col, RectF* out, int32_t includeBreaks) noexcept = 0;  // 33
    virtual HRESULT GetLineRect(int32_t row, int32_t line, RectF* out) noexcept = 0;       // 34
    virtual HRESULT GetParagraphRect(int32_t row, int32_t para, RectF* out) noexcept = 0;  // 35
    virtual HRESULT GetStringRect(int32_t row, RectF* out) noexcept = 0;                   // 36
    virtual HRESULT GetCharQuad(int32_t row, int32_t col, QuadF* out, int32_t includeBreaks) noexcept = 0;  // 37
    virtual HRESULT GetLineQuad(int32_t row, int32_t line, QuadF* out) noexcept = 0;       // 38
    virtual HRESULT GetParagraphQuad(int32_t row, int32_t para, QuadF* out) noexcept = 0;  // 39
    virtual HRESULT GetStringQuad(int32_t row, QuadF* out) noexcept = 0;                   // 40
    virtual int32_t GetText(int32_t row, char16_t* buffer) noexcept = 0;                   // 41
    virtual HRESULT LoadTitleFromBuffer(const char16_t* text) noexcept = 0;                // 42
    virtual HRESULT SaveTitleToBuffer(char16_t* buffer, uint32_t* sizeBytes) noexcept = 0;  // 43
    virtual HRESULT LoadTitleFromFile(const char16_t* path) noexcept = 0;                  // 44
    virtual HRESULT SaveTitleToFile(const char16_t* path) noexcept = 0;                    // 45
    virtual HRESULT LoadTitleFromNode(pugi::xml_node* node) noexcept = 0;                  // 46
    virtual HRESULT SaveTitleToNode(pugi::xml_node* node) noexcept = 0;                    // 47
    virtual HRESULT Render(uint8_t* pixels, float time) noexcept = 0;                      // 48
    virtual HRESULT DumpLayout(int32_t row) noexcept = 0;                                  // 49
    virtual HRESULT SetKeyFrame(int32_t row, float key, const PathValue* value) noexcept = 0;  // 50
    virtual HRESULT RemoveKeyFrame(int32_t row, float key) noexcept = 0;                   // 51
    virtual HRESULT ClearKeyFrames(int32_t row) noexcept = 0;                              // 52
    virtual int32_t GetKeyFrameCount(int32_t row) noexcept = 0;                            // 53
    virtual HRESULT GetFirstKeyFrame(int32_t row, float* key, PathValue* value) noexcept = 0;  // 54
    virtual HRESULT GetNextKeyFrame(int32_t row, float* key, PathValue* value) noexcept = 0;   // 55
    virtual HRESULT SetTime(int32_t row, float time) noexcept = 0;                         // 56
    virtual int32_t SelectByLevel(int32_t level) noexcept = 0;                             // 57
    virtual HRESULT LoadEffectStrings(const char16_t* path) noexcept = 0;                  // 58
    virtual int32_t EnumEffects(EffectEnumProc proc) noexcept = 0;                         // 59
    virtual int32_t EnumEffectsW(EffectEnumProc proc) noexcept = 0;                        // 60
    virtual const char* GetEffectName(const char* pathId) noexcept = 0;                    // 61
    virtual const char16_t* GetEffectNameW(const char* pathId) noexcept = 0;               // 62
    virtual const char* GetEffectDesc(const char* pathId) noexcept = 0;                    // 63
    virtual const char16_t* GetEffectDescW(const char* pathId) noexcept = 0;               // 64
    virtual HRESULT GetDirtyRect(RECT* out) noexcept = 0;                                  // 65
    virtual int32_t ReleaseCaches() noexcept = 0;                                          // 66
    virtual HRESULT GetDefaultFont(FontSpec* out) noexcept = 0;                            // 67
    virtual void* Destroy(uint32_t flags) noexcept = 0;  // 68: bit 0 frees the memory     // 68

protected:
    ~ITitleHost() = default;
};

constexpr int kTitleHostSlotCount = 69;

}  // namespace qel

extern "C" {
// A new TitleHost, or null when memory for it cannot be obtained.
qel::ITitleHost* GetTitleHost();
qel::ITitleHost* GetTitleHost3();
// Destroys the TitleHost with all its strings; null is allowed. Always returns 0.
int32_t ReleaseTitleHost(qel::ITitleHost* host);
int32_t ReleaseTitleHost3(qel::ITitleHost* host);

// Debug output. The library writes its diagnostic lines (load and save failures, DumpLayout) to
// standard error. A host that wants them elsewhere defines this function in its executable and
// exports it (link with -rdynamic); the library then hands it every line, without the newline.
void QelDebugOutput(const char* line);
}
