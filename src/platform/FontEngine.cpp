// The font engine on fontconfig and FreeType.
//
// Opening a font is two lookups. fontconfig turns the request (face name, weight, italic) into a
// font file and face index; that answer is cached for the process, under the fontconfig lock.
// FreeType then opens that face once per thread (FreeType objects must not be shared between
// threads) at an em of 2048 pixels, and keeps it in the thread's cache.
//
// Metrics are read from the face's own tables in font units and scaled by 2048 / unitsPerEm, each
// rounded to a whole pixel, so that they mean what a screen font engine's text metrics mean:
// ascent and descent from OS/2 usWinAscent/usWinDescent, typographic ascent and descent from
// sTypoAscender/sTypoDescender, strikeout from OS/2 and underline from post. Glyphs are loaded
// unhinted; advances are the unhinted advances.
#include "platform/FontEngine.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_BITMAP_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/AllocationGate.h"
#include "platform/Fontconfig.h"

namespace qel {

namespace {

// Synthetic bold widens strokes by em / 24 (as FreeType's own emboldening does), in 26.6.
constexpr FT_Pos kEmboldenStrength = kEngineEmPixels * 64 / 24;
// Synthetic italic shears by tan 12 degrees, in 16.16.
constexpr FT_Fixed kObliqueShear = 0x0366A;
// Largest glyph bitmap side we render, in pixels; beyond it a request is refused, not allocated.
constexpr FT_Pos kMaxGlyphPixels = 16384;

// ---- The process-wide cache of fontconfig matches -----------------------------------------

struct MatchKey {
    std::u16string face;
    int weight;
    bool italic;
    bool operator<(const MatchKey& o) const {
        return std::tie(face, weight, italic) < std::tie(o.face, o.weight, o.italic);
    }
};

struct Match {
    std::string file;  // empty when nothing matched
    int index = 0;
    bool embolden = false;
    bool oblique = false;
};

Match FindMatch(const LOGFONTW& lf) {
    MatchKey key{std::u16string(lf.lfFaceName, std::find(lf.lfFaceName, lf.lfFaceName + 32, u'\0')),
                 fc::RequestWeight(lf), lf.lfItalic != 0};
    std::lock_guard<std::mutex> lock(fc::Lock());
    static std::map<MatchKey, Match> cache;
    if (auto it = cache.find(key); it != cache.end()) return it->second;

    Match match;
    FcConfig* config = fc::Config();
    const fc::PatternPtr pattern(config ? fc::RequestPattern(lf) : nullptr);
    if (!pattern) return match;  // not cached: fontconfig may work on a later call
    FcResult result = FcResultNoMatch;
    if (const fc::PatternPtr matched{FcFontMatch(config, pattern.get(), &result)}) {
        FcPattern* found = matched.get();
        FcChar8* file = nullptr;
        if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file) {
            match.file = reinterpret_cast<const char*>(file);
            int index = 0;
            if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) match.index = index;
            double weight = FC_WEIGHT_REGULAR;
            FcPatternGetDouble(found, FC_WEIGHT, 0, &weight);
            int slant = FC_SLANT_ROMAN;
            FcPatternGetInteger(found, FC_SLANT, 0, &slant);
            match.embolden = key.weight >= 600 && FcWeightToOpenTypeDouble(weight) < 600;
            match.oblique = key.italic && slant == FC_SLANT_ROMAN;
        }
    }
    cache.emplace(std::move(key), match);
    return match;
}

// ---- The per-thread FreeType faces --------------------------------------------------------

// FreeType's memory object: every allocation FreeType makes for our libraries and faces goes
// through the engine's allocation gate, so that running out of memory inside FreeType is a failed
// call (FT_Err_Out_Of_Memory), like everywhere else.
void* FtAlloc(FT_Memory, long size) { return size > 0 ? GatedMalloc(size_t(size)) : nullptr; }
void FtFree(FT_Memory, void* block) { std::free(block); }
void* FtRealloc(FT_Memory, long, long newSize, void* block) {
    return newSize > 0 ? GatedRealloc(block, size_t(newSize)) : nullptr;
}
FT_MemoryRec_ gFtMemory{nullptr, FtAlloc, FtFree, FtRealloc};

struct Library {
    FT_Library lib = nullptr;
    Library() {
        // FT_Init_FreeType with our memory object: a library, its default modules and the
        // properties named in FREETYPE_PROPERTIES.
        if (FT_New_Library(&gFtMemory, &lib) != 0) {
            lib = nullptr;
            return;
        }
        FT_Add_Default_Modules(lib);
        FT_Set_Default_Properties(lib);
    }
    ~Library() {
        if (lib) FT_Done_Library(lib);
    }
};

}  // namespace

// A glyph's outline as loaded at the design height (26.6 pixels, y upwards), emboldened when the
// face is: what every size, stretch and turn of the glyph starts from.
struct LoadedOutline {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<short> contours;
    int flags = 0;
    bool ink = false;  // an outline with points (a space has none, a failed load neither)
};

// A face opened by one thread. It keeps its thread's library alive, so a face released after the
// thread's cache still closes cleanly.
struct FaceEntry {
    std::shared_ptr<Library> library;
    FT_Face face = nullptr;
    std::string file;
    int index = 0;
    bool symbolCmap = false;  // code units 0..255 live at U+F000..U+F0FF
    // Outlines loaded so far, by glyph index and emboldening: a glyph drawn at many sizes and
    // angles is loaded once and only transformed afterwards. Per thread, like the face.
    std::unordered_map<uint64_t, LoadedOutline> outlines;
    ~FaceEntry() {
        if (face) FT_Done_Face(face);
    }
};

namespace {

class ThreadFaces {
public:
    std::shared_ptr<FaceEntry> Get(const std::string& file, int index) {
        const auto key = std::make_pair(file, index);
        if (auto it = faces_.find(key); it != faces_.end()) return it->second;
        if (!library_) library_ = std::make_shared<Library>();
        if (!library_->lib) {
            library_.reset();  // out of memory (noted by the allocator): the next call tries again
            return nullptr;
        }

        auto entry = std::make_shared<FaceEntry>();
        entry->library = library_;
        entry->file = file;
        entry->index = index;
        if (FT_New_Face(library_->lib, file.c_str(), index, &entry->face) != 0) {
            entry->face = nullptr;
            return nullptr;
        }
        FT_Face face = entry->face;
        if (!face->charmap && face->num_charmaps > 0) {
            // No Unicode map: take a symbol map when there is one, else the first map.
            FT_CharMap chosen = face->charmaps[0];
            for (int i = 0; i < face->num_charmaps; ++i)
                if (face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) chosen = face->charmaps[i];
            FT_Set_Charmap(face, chosen);
        }
        entry->symbolCmap = face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL;
        if (FT_IS_SCALABLE(face)) {
            FT_Set_Pixel_Sizes(face, 0, kEngineEmPixels);
        } else if (FT_HAS_COLOR(face) && FT_HAS_FIXED_SIZES(face)) {
            // A colour bitmap face (emoji): its largest strike, which drawing scales to the size.
            int best = 0;
            for (int i = 1; i < face->num_fixed_sizes; ++i)
                if (face->available_sizes[i].y_ppem > face->available_sizes[best].y_ppem) best = i;
            FT_Select_Size(face, best);
        }

        // A title uses a handful of faces; a host that went through many starts afresh rather than
        // holding every file it ever touched. Faces still in use elsewhere stay alive until released.
        if (faces_.size() >= 64) faces_.clear();
        faces_.emplace(key, entry);
        return entry;
    }

private:
    std::shared_ptr<Library> library_;
    std::map<std::pair<std::string, int>, std::shared_ptr<FaceEntry>> faces_;
};

ThreadFaces& Faces() {
    thread_local ThreadFaces faces;
    return faces;
}

int32_t Round(double v) { return static_cast<int32_t>(std::lround(v)); }

// Scale from font units to pixels at the design height.
// A face's units per em; bitmap-only faces report none, their head table still has it.
unsigned UnitsPerEm(FT_Face face) {
    if (face->units_per_EM) return face->units_per_EM;
    const auto* head = static_cast<const TT_Header*>(FT_Get_Sfnt_Table(face, FT_SFNT_HEAD));
    return head ? head->Units_Per_EM : 0;
}

double UnitScale(FT_Face face) { return double(kEngineEmPixels) / UnitsPerEm(face); }

// Faces whose metrics and glyphs can be used: outline faces, and colour bitmap faces with a head
// table (emoji), whose bitmaps are scaled.
bool Usable(FT_Face face) {
    return FT_IS_SCALABLE(face) || (FT_HAS_COLOR(face) && FT_HAS_FIXED_SIZES(face) && UnitsPerEm(face) != 0);
}

// The OS/2 table when it carries usable vertical metrics.
const TT_OS2* UsableOs2(FT_Face face) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (!os2 || os2->version == 0xFFFFu || os2->usWinAscent + os2->usWinDescent == 0) return nullptr;
    return os2;
}

// Quantisation of FreeType's 256 coverage values to n + 1 levels (0..n), rounded.
template <int n>
constexpr std::array<uint8_t, 256> Levels() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>((v * n + 127) / 255);
    return table;
}
constexpr auto kLevels64 = Levels<64>();
constexpr auto kLevels16 = Levels<16>();
constexpr auto kLevels4 = Levels<4>();

}  // namespace

FontFace::FontFace() = default;
FontFace::~FontFace() = default;
FontFace::FontFace(FontFace&&) noexcept = default;
FontFace& FontFace::operator=(FontFace&&) noexcept = default;

FontFace FontFace::Open(const LOGFONTW& lf) {
    // The last fonts this thread opened, by their request's bytes: drawing opens the same few for
    // every character, and the match (under the process-wide lock) and the face are already known.
    struct Opened {
        LOGFONTW request;
        std::shared_ptr<FaceEntry> entry;
        bool embolden, oblique;
    };
    thread_local std::array<Opened, 8> recent{};
    thread_local size_t next = 0;
    FontFace font;
    for (const Opened& o : recent) {
        if (o.entry && std::memcmp(&o.request, &lf, sizeof lf) == 0) {
            font.entry_ = o.entry;
            font.embolden_ = o.embolden;
            font.oblique_ = o.oblique;
            return font;
        }
    }
    const Match match = FindMatch(lf);
    if (match.file.empty()) return font;
    font.entry_ = Faces().Get(match.file, match.index);
    font.embolden_ = match.embolden;
    font.oblique_ = match.oblique;
    if (font.entry_) {
        recent[next] = Opened{lf, font.entry_, font.embolden_, font.oblique_};
        next = (next + 1) % recent.size();
    }
    return font;
}

bool FontFace::GetTextMetrics(TextMetrics* out) const {
    if (!entry_ || UnitsPerEm(entry_->face) == 0) return false;
    FT_Face face = entry_->face;
    const double s = UnitScale(face);
    TextMetrics m;
    if (const TT_OS2* os2 = UsableOs2(face)) {
        m.ascent = Round(os2->usWinAscent * s);
        m.descent = Round(os2->usWinDescent * s);
        const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
        if (hhea) {
            const long win = long(os2->usWinAscent) + os2->usWinDescent;
            const long typo = long(hhea->Ascender) - hhea->Descender;
            m.externalLeading = Round(std::max(0L, hhea->Line_Gap - (win - typo)) * s);
        }
    } else {
        m.ascent = Round(face->ascender * s);
        m.descent = Round(-face->descender * s);
        m.externalLeading = Round(std::max(0L, long(face->height) - (face->ascender - face->descender)) * s);
    }
    m.height = m.ascent + m.descent;
    m.internalLeading = m.height - kEngineEmPixels;
    *out = m;
    return true;
}

bool FontFace::GetOutlineMetrics(OutlineMetrics* out) const {
    if (!entry_ || !Usable(entry_->face)) return false;
    FT_Face face = entry_->face;
    OutlineMetrics m;
    if (!GetTextMetrics(&m.text)) return false;
    const double s = UnitScale(face);
    if (const TT_OS2* os2 = UsableOs2(face)) {
        m.ascent = Round(os2->sTypoAscender * s);
        m.descent = Round(os2->sTypoDescender * s);
        m.strikeoutPosition = Round(os2->yStrikeoutPosition * s);
        m.strikeoutSize = static_cast<uint32_t>(std::max(0, Round(os2->yStrikeoutSize * s)));
    } else {
        // Without OS/2: the face's own ascender and descender, a strikeout at a quarter em as
        // thick as the underline.
        m.ascent = Round(face->ascender * s);
        m.descent = Round(face->descender * s);
        m.strikeoutPosition = kEngineEmPixels / 4;
        m.strikeoutSize = static_cast<uint32_t>(std::max(0, Round(face->underline_thickness * s)));
    }
    if (const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST))) {
        m.underscorePosition = Round(post->underlinePosition * s);
        m.underscoreSize = Round(post->underlineThickness * s);
    } else {
        m.underscorePosition = Round(face->underline_position * s);
        m.underscoreSize = Round(face->underline_thickness * s);
    }
    *out = m;
    return true;
}

uint32_t FontFace::GlyphIndex(char32_t code) const {
    if (!entry_) return 0;
    FT_Face face = entry_->face;
    if (code >= 0xD800 && code < 0xE000) return 0;  // half of a pair names no character
    if (code > 0x10FFFF) return 0;
    if (entry_->symbolCmap && code <= 0xFF) {
        if (FT_UInt index = FT_Get_Char_Index(face, 0xF000u + code)) return index;
    }
    return FT_Get_Char_Index(face, code);
}

bool FontFace::GetTextExtent(char32_t code, int32_t* cx, int32_t* cy) const {
    TextMetrics m;
    if (!GetTextMetrics(&m)) return false;
    FT_Face face = entry_->face;
    FT_Fixed advance = 0;
    if (FT_Get_Advance(face, GlyphIndex(code), FT_LOAD_NO_SCALE, &advance) != 0) return false;
    int32_t width = Round(advance * UnitScale(face));
    if (embolden_) width += Round(kEmboldenStrength / 64.0);
    *cx = width;
    *cy = m.height;
    return true;
}

namespace {

// Renders an outline already in pixel units (26.6, y upwards) into the requested format.
uint32_t RasteriseOutline(FT_Library library, FT_Outline* outline, GlyphFormat format, GlyphBitmap* out) {
    // The black box: the control box widened to whole pixels (26.6 units).
    FT_BBox box;
    FT_Outline_Get_CBox(outline, &box);
    const FT_Pos xMin = box.xMin & ~63, yMin = box.yMin & ~63;
    const FT_Pos xMax = (box.xMax + 63) & ~63, yMax = (box.yMax + 63) & ~63;
    const FT_Pos width = (xMax - xMin) >> 6, rows = (yMax - yMin) >> 6;
    if (width <= 0 || rows <= 0 || width > kMaxGlyphPixels || rows > kMaxGlyphPixels) return 0;
    FT_Outline_Translate(outline, -xMin, -yMin);

    const size_t grayPitch = (size_t(width) + 3) & ~size_t(3);
    std::unique_ptr<uint8_t[]> gray(new (std::nothrow) uint8_t[grayPitch * rows]());
    if (!gray) {
        NoteAllocationFailure();
        return 0;
    }
    FT_Bitmap target{};
    target.rows = static_cast<unsigned>(rows);
    target.width = static_cast<unsigned>(width);
    target.pitch = static_cast<int>(grayPitch);
    target.buffer = gray.get();
    target.num_grays = 256;
    target.pixel_mode = FT_PIXEL_MODE_GRAY;
    if (FT_Outline_Get_Bitmap(library, outline, &target) != 0) return 0;

    size_t byteCount = grayPitch * rows;
    if (format == GlyphFormat::Bitmap) {
        // Set where coverage reaches half: the two-level quantisation of the grey rendering.
        const size_t pitch = ((size_t(width) + 31) / 32) * 4;
        std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[pitch * rows]());
        if (!bits) {
            NoteAllocationFailure();
            return 0;
        }
        for (FT_Pos y = 0; y < rows; ++y) {
            const uint8_t* src = gray.get() + y * grayPitch;
            uint8_t* dst = bits.get() + y * pitch;
            for (FT_Pos x = 0; x < width; ++x)
                if (src[x] >= 128) dst[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
        }
        gray = std::move(bits);
        byteCount = pitch * rows;
    } else {
        const auto& levels = format == GlyphFormat::Gray8 ? kLevels64
                             : format == GlyphFormat::Gray4 ? kLevels16
                                                            : kLevels4;
        uint8_t* p = gray.get();
        for (size_t i = 0; i < byteCount; ++i) p[i] = levels[p[i]];
    }

    out->bits = std::move(gray);
    out->byteCount = static_cast<uint32_t>(byteCount);
    out->box = {static_cast<int32_t>(width), static_cast<int32_t>(rows), static_cast<int32_t>(xMin >> 6),
                static_cast<int32_t>(yMax >> 6)};
    return out->byteCount;
}

}  // namespace

namespace {

// Most outlines a face keeps per thread; a title's few hundred distinct glyphs stay far below it,
// and a host that went through more starts afresh.
constexpr size_t kMaxLoadedOutlines = 4096;

// The glyph's outline at the design height, emboldened when asked, loaded on the first request
// and kept in the face entry. Null for a glyph without an outline. May throw std::bad_alloc.
const LoadedOutline* LoadOutline(FaceEntry& entry, uint32_t index, bool embolden) {
    const uint64_t key = uint64_t(index) | (uint64_t(embolden) << 32);
    if (auto it = entry.outlines.find(key); it != entry.outlines.end()) return it->second.ink ? &it->second : nullptr;
    LoadedOutline loaded;
    FT_Face face = entry.face;
    // A load that fails for lack of memory is not kept: the next request tries again.
    const FT_Error error = FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
    if (error == FT_Err_Out_Of_Memory) return nullptr;
    FT_GlyphSlot slot = face->glyph;
    if (error == 0 && slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points > 0) {
        FT_Outline* outline = &slot->outline;
        if (embolden) FT_Outline_EmboldenXY(outline, kEmboldenStrength, kEmboldenStrength);
        loaded.points.assign(outline->points, outline->points + outline->n_points);
        loaded.tags.assign(outline->tags, outline->tags + outline->n_points);
        loaded.contours.assign(outline->contours, outline->contours + outline->n_contours);
        loaded.flags = outline->flags;
        loaded.ink = true;
    }
    if (entry.outlines.size() >= kMaxLoadedOutlines) entry.outlines.clear();
    const LoadedOutline& kept = entry.outlines.emplace(key, std::move(loaded)).first->second;
    return kept.ink ? &kept : nullptr;
}

// A working copy of a loaded outline, in buffers kept per thread, to be moved and transformed.
struct OutlineCopy {
    std::vector<FT_Vector> points;
    std::vector<char> tags;
    std::vector<short> contours;
    FT_Outline outline{};

    // Appends `from` (translated by dx, dy in 26.6 and then slanted when asked); false when the
    // outline would hold more points than FreeType counts.
    bool Append(const LoadedOutline& from, FT_Pos dx, FT_Pos dy, bool oblique) {
        const size_t base = points.size();
        if (base + from.points.size() > 32767) return false;  // FT_Outline counts in shorts
        points.insert(points.end(), from.points.begin(), from.points.end());
        tags.insert(tags.end(), from.tags.begin(), from.tags.end());
        for (short c : from.contours) contours.push_back(static_cast<short>(c + base));
        FT_Outline part = View(base, from.points.size(), 0, 0);
        if (dx != 0 || dy != 0) FT_Outline_Translate(&part, dx, dy);
        if (oblique) {
            FT_Matrix shear{0x10000, kObliqueShear, 0, 0x10000};
            FT_Outline_Transform(&part, &shear);
        }
        return true;
    }
    void Clear() {
        points.clear();
        tags.clear();
        contours.clear();
    }
    // The whole copy as one outline.
    FT_Outline* Whole(int flags) {
        outline = View(0, points.size(), contours.size(), flags);
        return &outline;
    }

private:
    FT_Outline View(size_t first, size_t count, size_t contourCount, int flags) {
        FT_Outline o{};
        o.n_points = static_cast<short>(count);
        o.n_contours = static_cast<short>(contourCount);
        o.points = points.data() + first;
        o.tags = tags.data() + first;
        o.contours = contours.data();
        o.flags = flags;
        return o;
    }
};

OutlineCopy& ThreadCopy() {
    thread_local OutlineCopy copy;
    copy.Clear();
    return copy;
}

}  // namespace

uint32_t FontFace::GetGlyphBitmap(char32_t code, GlyphFormat format, const GlyphMatrix& matrix,
                                  GlyphBitmap* out) const {
    *out = GlyphBitmap{};
    if (!entry_ || !FT_IS_SCALABLE(entry_->face)) return 0;
    const LoadedOutline* loaded = LoadOutline(*entry_, GlyphIndex(code), embolden_);
    if (!loaded) return 0;
    OutlineCopy& copy = ThreadCopy();
    copy.Append(*loaded, 0, 0, oblique_);
    FT_Outline* outline = copy.Whole(loaded->flags);
    FT_Matrix m{matrix.m11, matrix.m21, matrix.m12, matrix.m22};  // xx, xy, yx, yy
    FT_Outline_Transform(outline, &m);
    return RasteriseOutline(entry_->library->lib, outline, format, out);
}

uint32_t FontFace::GetGlyphsBitmap(const PlacedGlyph* glyphs, size_t count, GlyphFormat format,
                                   const GlyphMatrix& matrix, GlyphBitmap* out) const {
    *out = GlyphBitmap{};
    if (!entry_ || !FT_IS_SCALABLE(entry_->face) || !glyphs || count == 0) return 0;
    FT_Library library = entry_->library->lib;

    // Every glyph's outline moved to its place, emboldened and slanted on its own as a single
    // glyph would be, then gathered into one outline so that overlaps are covered once.
    OutlineCopy& copy = ThreadCopy();
    for (size_t g = 0; g < count; ++g) {
        const LoadedOutline* loaded = LoadOutline(*entry_, glyphs[g].index, embolden_);
        if (!loaded) continue;
        if (!copy.Append(*loaded, static_cast<FT_Pos>(std::lround(glyphs[g].x * 64.0f)),
                         static_cast<FT_Pos>(std::lround(glyphs[g].y * 64.0f)), oblique_))
            break;
    }
    if (copy.points.empty()) return 0;
    FT_Outline* joined = copy.Whole(FT_OUTLINE_NONE);
    FT_Matrix m{matrix.m11, matrix.m21, matrix.m12, matrix.m22};  // xx, xy, yx, yy
    FT_Outline_Transform(joined, &m);
    return RasteriseOutline(library, joined, format, out);
}

bool FontFace::Source(std::string* file, int* index) const {
    if (!entry_) return false;
    *file = entry_->file;
    *index = entry_->index;
    return true;
}

int32_t FontFace::EmboldenAdvance() { return Round(kEmboldenStrength / 64.0); }

bool FontFace::IsColor() const { return entry_ && FT_HAS_COLOR(entry_->face); }

namespace {

// Bilinear sample of a premultiplied BGRA image at (x, y) in pixel centres; outside is clear.
void Sample(const uint8_t* src, int w, int h, int pitch, double x, double y, double acc[4]) {
    const double fx = x - 0.5, fy = y - 0.5;
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const double ax = fx - x0, ay = fy - y0;
    for (int dy = 0; dy < 2; ++dy) {
        const int yy = y0 + dy;
        if (yy < 0 || yy >= h) continue;
        const double wy = dy ? ay : 1 - ay;
        for (int dx = 0; dx < 2; ++dx) {
            const int xx = x0 + dx;
            if (xx < 0 || xx >= w) continue;
            const double weight = wy * (dx ? ax : 1 - ax);
            const uint8_t* p = src + yy * pitch + xx * 4;
            for (int c = 0; c < 4; ++c) acc[c] += weight * p[c];
        }
    }
}

}  // namespace

uint32_t FontFace::GetColorGlyph(uint32_t index, const GlyphMatrix& matrix, ColorBitmap* out) const {
    *out = ColorBitmap{};
    if (!entry_ || !FT_HAS_COLOR(entry_->face)) return 0;
    FT_Face face = entry_->face;
    FT_Library library = entry_->library->lib;

    FT_Bitmap bitmap;  // the strike's premultiplied pixels, copied out of the glyph slot
    FT_Bitmap_Init(&bitmap);
    struct Done {
        FT_Library library;
        FT_Bitmap* bitmap;
        ~Done() { FT_Bitmap_Done(library, bitmap); }
    } done{library, &bitmap};
    if (FT_IS_SCALABLE(face)) {
        // Colour layers: FreeType blends them when it renders the glyph, here under the matrix,
        // so the image comes out at its size and turn.
        FT_Matrix m{matrix.m11, matrix.m21, matrix.m12, matrix.m22};  // xx, xy, yx, yy
        FT_Set_Transform(face, &m, nullptr);
        const bool rendered = FT_Load_Glyph(face, index, FT_LOAD_COLOR | FT_LOAD_NO_HINTING) == 0 &&
                              FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0;
        FT_Set_Transform(face, nullptr, nullptr);
        FT_GlyphSlot slot = face->glyph;
        if (!rendered || slot->bitmap.pixel_mode != FT_PIXEL_MODE_BGRA || slot->bitmap.width == 0 ||
            slot->bitmap.rows == 0 || slot->bitmap.width > kMaxGlyphPixels || slot->bitmap.rows > kMaxGlyphPixels ||
            slot->bitmap.pitch < int(slot->bitmap.width) * 4)
            return 0;
        const size_t w = slot->bitmap.width, h = slot->bitmap.rows;
        std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[w * h * 4]());
        if (!pixels) {
            NoteAllocationFailure();
            return 0;
        }
        for (size_t row = 0; row < h; ++row) {
            const uint8_t* src = slot->bitmap.buffer + row * size_t(slot->bitmap.pitch);
            uint8_t* dst = pixels.get() + row * w * 4;
            for (size_t col = 0; col < w; ++col, src += 4, dst += 4) {
                if (src[3] == 0) continue;  // premultiplied to straight alpha
                for (int c = 0; c < 3; ++c) dst[c] = uint8_t(std::min(255, (src[c] * 255 + src[3] / 2) / src[3]));
                dst[3] = src[3];
            }
        }
        out->pixels = std::move(pixels);
        out->width = int32_t(w);
        out->height = int32_t(h);
        out->originX = slot->bitmap_left;
        out->originY = slot->bitmap_top;
        return uint32_t(w * h * 4);
    }

    // A bitmap strike: its pixels are resampled under the matrix.
    if (FT_Load_Glyph(face, index, FT_LOAD_COLOR) != 0 || !face->size) return 0;
    const FT_UShort ppem = face->size->metrics.y_ppem;
    if (ppem == 0) return 0;
    const double unit = double(kEngineEmPixels) / ppem;  // design pixels per strike pixel
    FT_GlyphSlot slot = face->glyph;
    if (slot->bitmap.pixel_mode != FT_PIXEL_MODE_BGRA || slot->bitmap.width == 0 || slot->bitmap.rows == 0) return 0;
    if (FT_Bitmap_Copy(library, &slot->bitmap, &bitmap) != 0) return 0;
    const int left = slot->bitmap_left, top = slot->bitmap_top;
    const int w = int(bitmap.width), h = int(bitmap.rows), pitch = bitmap.pitch;
    if (pitch < w * 4) return 0;

    // Source pixel (u, v) from the top-left, y down, lies at design point
    // ((left + u) * unit, (top - v) * unit), y up; the matrix takes that to frame pixels, y up.
    const double m11 = matrix.m11 / 65536.0, m12 = matrix.m12 / 65536.0;
    const double m21 = matrix.m21 / 65536.0, m22 = matrix.m22 / 65536.0;
    auto map = [&](double u, double v, double* x, double* y) {
        const double gx = (left + u) * unit, gy = (top - v) * unit;
        *x = m11 * gx + m21 * gy;
        *y = m12 * gx + m22 * gy;
    };
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (int k = 0; k < 4; ++k) {
        double x, y;
        map((k & 1) ? w : 0, (k & 2) ? h : 0, &x, &y);
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    const double x0 = std::floor(minX), y1 = std::ceil(maxY);
    const int64_t width = int64_t(std::ceil(maxX) - x0), rows = int64_t(y1 - std::floor(minY));
    if (width <= 0 || rows <= 0 || width > kMaxGlyphPixels || rows > kMaxGlyphPixels ||
        width * rows > (int64_t{1} << 26))
        return 0;
    // The inverse matrix takes a frame pixel back to source pixels.
    const double det = (m11 * m22 - m21 * m12) * unit * unit;
    if (!(std::fabs(det) > 1e-12)) return 0;
    const double i11 = m22 * unit / det, i12 = -m21 * unit / det;
    const double i21 = -m12 * unit / det, i22 = m11 * unit / det;
    // Several samples per frame pixel when the glyph shrinks, so that it is averaged, not picked.
    const double shrink = std::sqrt(std::fabs(det));  // frame pixels per source pixel
    const int n = std::clamp(int(std::ceil(1.0 / std::max(shrink, 1e-3))), 1, 8);

    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[size_t(width) * size_t(rows) * 4]());
    if (!pixels) {
        NoteAllocationFailure();
        return 0;
    }
    const uint8_t* src = bitmap.buffer;
    for (int64_t row = 0; row < rows; ++row) {
        for (int64_t col = 0; col < width; ++col) {
            double acc[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    // Frame point (y up) of this sample, then back into the source (y down).
                    const double fx = x0 + double(col) + (sx + 0.5) / n;
                    const double fy = y1 - double(row) - (sy + 0.5) / n;
                    const double gx = i11 * fx + i12 * fy, gy = i21 * fx + i22 * fy;  // design / unit
                    Sample(src, w, h, pitch, gx - left, top - gy, acc);
                }
            }
            uint8_t* d = pixels.get() + (size_t(row) * size_t(width) + size_t(col)) * 4;
            const double a = acc[3] / (n * n);
            if (a < 0.5) continue;
            // Premultiplied to straight alpha.
            for (int c = 0; c < 3; ++c) d[c] = uint8_t(std::clamp(acc[c] / (n * n) * 255.0 / a + 0.5, 0.0, 255.0));
            d[3] = uint8_t(std::min(255.0, a + 0.5));
        }
    }
    out->pixels = std::move(pixels);
    out->width = int32_t(width);
    out->height = int32_t(rows);
    out->originX = int32_t(x0);
    out->originY = int32_t(y1);
    return uint32_t(width * rows * 4);
}

std::vector<std::u16string> ListFamilyNames() {
    std::vector<std::u16string> names;
    std::lock_guard<std::mutex> lock(fc::Lock());
    FcConfig* config = fc::Config();
    if (!config) return names;
    const fc::PatternPtr all(FcPatternCreate());
    const fc::ObjectSetPtr fields(FcObjectSetBuild(FC_FAMILY, nullptr));
    const fc::FontSetPtr set((all && fields) ? FcFontList(config, all.get(), fields.get()) : nullptr);
    if (set) {
        for (int i = 0; i < set->nfont; ++i)
            for (int j = 0;; ++j) {
                std::u16string name = fc::Family(set->fonts[i], j);
                if (name.empty()) break;
                names.push_back(std::move(name));
            }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool SameFamilyName(std::u16string_view a, std::u16string_view b) {
    if (a == b) return true;
    // Pure string functions of fontconfig: no configuration, so no lock.
    const std::string left = fc::Utf8FromUtf16(a), right = fc::Utf8FromUtf16(b);
    return FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(left.c_str()),
                              reinterpret_cast<const FcChar8*>(right.c_str())) == 0;
}

bool IsGenericFamily(std::u16string_view name) {
    for (std::u16string_view generic : {u"serif", u"sans-serif", u"monospace"})
        if (SameFamilyName(name, generic)) return true;
    return false;
}

std::u16string DefaultSansFamily() {
    std::u16string family;
    {
        std::lock_guard<std::mutex> lock(fc::Lock());
        if (FcConfig* config = fc::Config()) {
            // Built by hand: the name syntax would read "sans-serif" as family "sans" at size "serif".
            if (const fc::PatternPtr pattern{FcPatternCreate()}) {
                FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
                FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
                FcDefaultSubstitute(pattern.get());
                FcResult result = FcResultNoMatch;
                if (const fc::PatternPtr found{FcFontMatch(config, pattern.get(), &result)})
                    family = fc::Family(found.get(), 0);
            }
        }
    }
    // A face name holds 31 units; a longer family could never be named in a request.
    if (family.empty() || family.size() > 31) family = u"DejaVu Sans";
    return family;
}

}  // namespace qel
