// The frame pipeline: drawing a title over the host's frame.
//
// A frame is drawn string by string. Each string owns three premultiplied layers (shadow, border,
// face) that cover only its drawn extent (see "Layer extent" below). Its effect says, per pass and per character, where the character is,
// how it is scaled and turned and how opaque it is; the character's face, border and shadow
// images (prepared once for characters at rest, made afresh for scaled or turned ones) are placed
// into the three layers, the layers are joined into one image (face over border with added
// alphas, then that over the shadow), a whole-image effect may process that image, and the
// strings are blended over the host's frame in order. Everything after placement works only
// inside each string's dirty rectangle. The title is only read: Compositor::Render evaluates its
// time (every string's path and progress) before drawing starts, and that is all a frame changes
// in it.
//
// Threads. With MaxThreads >= 2 on a machine of two or more processors, character preparation
// and the layers' work are shared between the calling thread and MaxThreads - 1 helpers of the
// compositor's thread team that pull work items from a shared counter, in few sections: one for
// the images of every moved character of every string (each item writes only its own record),
// then one per string for its layers, whose items are horizontal bands of rows. A band clears its rows of the last frame,
// places every character, in character order, clipped to its rows, and joins them, so each layer
// pixel receives exactly the writes it would receive on one thread, in the same order, and the
// picture is bit-identical. Effects, the random generator and the bookkeeping of dirty rectangles
// stay on the calling thread.
//
// The still-frame cache. When every string is at rest (progress exactly 1), the frame keeps its
// strings' finished images where they already are, in their layers, and the next still frame
// replays only the final blend of each string over the host's frame, with the very operations of
// the drawn frame. Several overlapping strings therefore give exactly the picture of the frame
// that filled the cache, bit for bit, for any background; a single composite could not, because
// blending A then B rounds differently from blending (B over A). A still title costs one blend
// per string over its own dirty rectangle, and needs no extra frame-sized buffer. The cache holds for
// the title revision it was drawn at (any edit or settings change moves on), and only while no
// string's layers were freed and no path identifier changed.
//
// Layer extent. A string's frame is drawn in two steps: first every pass's effect answers are
// taken and the images of scaled or turned characters made, which gives the union of the boxes
// the characters' images touch; the string's layers then cover that union grown by the two pixels
// the join and smoothing steps may reach, clipped to the drawing area, and only then are the
// images placed. Memory, clearing, joins, filters and the replayed blend of a still frame
// therefore cost what the string draws, not the frame: twenty short strings on a 4K frame hold
// twenty small layer sets, not sixty frame-sized layers. A string with a whole-image effect keeps
// frame-sized layers, because its effect reads and writes them as whole frames (source and target
// views of width x height with stride width * 4) and may draw anywhere in them.
//
// Layer clearing. Every write into a string's layers lies inside its dirty rectangle (placement is
// clipped to it, joins and filters run inside it, and a whole-image effect's output rectangle is
// added to it). When the new extent lies inside the layers' rectangle the layers stay where they
// are and only what the previous frame wrote is cleared; otherwise they are laid out afresh over
// the new extent (reusing the block when it is large enough) and cleared whole. What a frame
// writes is kept as its spans, disjoint rectangles covering its placed images (in bands of 16
// rows): outside them every layer is zero, which the join keeps and every blend leaves the frame
// alone for, so clearing, joining and the final blend visit only the spans. Turning characters
// scattered over the frame touch a fraction of their bounding rectangle. Smoothing and
// whole-image effects write beyond the images; their strings clear and blend the whole rectangle.
#include "compositor/FrameCompositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <climits>
#include <deque>
#include <limits>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "effects/EffectCatalog.h"
#include "model/Plates.h"
#include "platform/AllocationGate.h"
#include "render/Blend.h"
#include "render/Filters.h"
#include "render/Gradient.h"

namespace qel {
namespace {

// ---- rectangles (right and bottom exclusive) ----

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

RECT Intersect(const RECT& a, const RECT& b) {
    const RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    return IsEmpty(r) ? RECT{} : r;
}

RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a)) return IsEmpty(b) ? RECT{} : b;
    if (IsEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// An empty rectangle stays empty: growing "nothing" must not invent a dirty corner.
RECT Inflate(const RECT& r, int32_t d) {
    if (IsEmpty(r)) return RECT{};
    return {r.left - d, r.top - d, r.right + d, r.bottom + d};
}

bool Contains(const RECT& outer, const RECT& inner) {
    return IsEmpty(inner) || (inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
                              inner.bottom <= outer.bottom);
}

// Which of a string's layers ClearLayers clears.
enum class LayerSet { All, Shadow, BorderAndFace };

// Clears r (frame pixels, inside the string's layer rectangle) in the layers of `set`.
void ClearLayers(const StringLayers& s, const RECT& r, LayerSet set = LayerSet::All) {
    if (IsEmpty(r)) return;
    const size_t rowBytes = size_t(r.right - r.left) * 4;
    for (uint8_t* layer : {s.memory.ShadowLayer, s.memory.BorderLayer, s.memory.FaceLayer}) {
        const bool shadow = layer == s.memory.ShadowLayer;
        if ((set == LayerSet::Shadow && !shadow) || (set == LayerSet::BorderAndFace && shadow)) continue;
        for (int32_t y = r.top; y < r.bottom; ++y) std::memset(s.At(layer, r.left, y), 0, rowBytes);
    }
}

// The pixels of disjoint rectangles, their bounding rectangle, and whether they leave over a
// quarter of it uncovered (then they are cheaper to visit one by one).
bool SparseSpans(const std::vector<RECT>& spans, RECT* bounds) {
    int64_t pixels = 0;
    *bounds = RECT{};
    for (const RECT& span : spans) {
        pixels += int64_t(span.right - span.left) * (span.bottom - span.top);
        *bounds = Union(*bounds, span);
    }
    return 4 * pixels < 3 * int64_t(bounds->right - bounds->left) * (bounds->bottom - bounds->top);
}

// Rows per band of CoverBoxes: finer bands follow turned and scattered characters more closely,
// at the price of more rectangles.
constexpr int32_t kCoverBand = 16;

// Disjoint rectangles covering every box: the boxes' rows in bands of kCoverBand, and in each band
// their column ranges merged where they overlap or touch, each from the first to the last row a
// box of it reaches. They may cover more than the boxes, never less.
void CoverBoxes(const std::vector<RECT>& boxes, std::vector<RECT>* out) {
    out->clear();
    int32_t top = INT32_MAX, bottom = INT32_MIN;
    for (const RECT& b : boxes) {
        top = std::min(top, b.top);
        bottom = std::max(bottom, b.bottom);
    }
    std::vector<RECT> cut;
    for (int32_t y0 = top; y0 < bottom; y0 += kCoverBand) {
        const int32_t y1 = std::min(bottom, y0 + kCoverBand);
        cut.clear();
        for (const RECT& b : boxes) {
            if (b.top < y1 && b.bottom > y0) cut.push_back({b.left, std::max(b.top, y0), b.right, std::min(b.bottom, y1)});
        }
        std::sort(cut.begin(), cut.end(), [](const RECT& a, const RECT& b) { return a.left < b.left; });
        for (size_t i = 0; i < cut.size();) {
            RECT merged = cut[i];
            for (++i; i < cut.size() && cut[i].left <= merged.right; ++i) merged = Union(merged, cut[i]);
            out->push_back(merged);
        }
    }
}

// Smallest band of a replayed still frame worth a helper: waking a sleeping helper costs tens
// of microseconds (more on a loaded or virtual machine), about what one thread blends in half a
// million pixels.
constexpr int64_t kMinReplayPixelsPerBand = 512 * 1024;

// ---- one character in one pass ----

// What a moved character draws until its images are found or made: nothing.
const PreparedGlyph kNoImages{};

bool IsPairBreak(const MetaString& s, size_t i) {
    const size_t n = s.chars.size();
    if (s.chars[i].Value == 13) return i + 1 < n && s.chars[i + 1].Value == 10;
    if (s.chars[i].Value == 10) return i > 0 && s.chars[i - 1].Value == 13;
    return false;
}

bool Finite(const CharState& st) {
    return std::isfinite(st.x) && std::isfinite(st.y) && std::isfinite(st.scaleX) &&
           std::isfinite(st.scaleY) && std::isfinite(st.angle);
}

// The frame pixels that placing an image at the character's state touches, as the placement
// computes them (floor of the float position, one more column or row for a fraction), limited to
// `area`; empty when nothing of it lies inside, also for positions so far away that integer
// arithmetic on them would overflow.
RECT PlacedBox(const LayerImage& image, const CharState& st, const RECT& area) {
    constexpr float kFar = 1073741824.0f;  // 2^30: far beyond any frame
    const float x = st.x + image.x;
    const float y = st.y + image.y;
    if (!(x > -kFar && x < kFar && y > -kFar && y < kFar)) return RECT{};
    const int64_t ix = int64_t(std::floor(x)), iy = int64_t(std::floor(y));
    const int64_t right = ix + image.width + (float(ix) != x ? 1 : 0);
    const int64_t bottom = iy + image.height + (float(iy) != y ? 1 : 0);
    if (right <= area.left || ix >= area.right || bottom <= area.top || iy >= area.bottom) return RECT{};
    return RECT{int32_t(std::max<int64_t>(ix, area.left)), int32_t(std::max<int64_t>(iy, area.top)),
                int32_t(std::min<int64_t>(right, area.right)), int32_t(std::min<int64_t>(bottom, area.bottom))};
}

}  // namespace

// Makes r's layers cover extent (frame pixels): stale, the previous frame's dirty rectangle, is
// cleared when the layers already cover the extent; otherwise they are laid out over the extent
// and cleared whole. An empty extent of a string whose layers no longer fit frees them.
HRESULT FrameCompositor::FitLayers(StringLayers& r, const RECT& extent, const RECT& stale, LayerWork* work) {
    const bool sameFrame = r.frameWidth == rs_.Width && r.frameHeight == rs_.Height;
    if (r.memory && sameFrame && Contains(r.rect, extent)) {
        if (r.imagesOnly && r.spansSparse) {
            work->clearSpans = &r.spans;
        } else {
            work->clearStale = Intersect(stale, r.rect);
        }
        if (r.imagesOnly && r.platesApart) work->clearGlyphSpans = &r.glyphSpans;
        return S_OK;
    }
    r.frameWidth = rs_.Width;
    r.frameHeight = rs_.Height;
    if (IsEmpty(extent)) {
        r.memory.Reset();
        r.rect = RECT{};
        r.capacity = 0;
        return S_OK;
    }
    const size_t layerBytes = size_t(extent.right - extent.left) * size_t(extent.bottom - extent.top) * 4;
    if (!r.memory || layerBytes > r.capacity) {
        r.memory.Reset();
        r.capacity = 0;
        // A quarter more than asked for, so that a growing string is not given new memory every
        // frame; each layer on a 64-byte boundary.
        const size_t capacity = (layerBytes + layerBytes / 4 + 63) & ~size_t(63);
        void* block = GatedAlignedAlloc(64, 3 * capacity);
        if (!block) return E_OUTOFMEMORY;
        r.memory.block.reset(static_cast<uint8_t*>(block));
        r.memory.ShadowLayer = static_cast<uint8_t*>(block);
        r.memory.BorderLayer = r.memory.ShadowLayer + capacity;
        r.memory.FaceLayer = r.memory.BorderLayer + capacity;
        r.capacity = capacity;
    }
    r.rect = extent;
    work->clearAll = extent;
    return S_OK;
}

// Images of characters at rest, for every character whose rebuild flags are set; equal keys
// anywhere in the title are made once and copied.
void FrameCompositor::PrepareAtRest() {
    GlyphBatch batch;
    for (StringRender& state : *states_) {
        GlyphRecords& records = state.atRest;
        for (size_t i = 0; i < records.glyphs.size() && i < records.keys.size(); ++i) {
            if (records.glyphs[i].DirtyBits != 0) batch.Add(&records.glyphs[i], &records.keys[i]);
        }
    }
    auto make = [&batch](int32_t k) noexcept { batch.Make(k); };
    if (threaded_) {
        team_.ParallelFor(batch.Count(), make);
    } else {
        for (int32_t k = 0; k < batch.Count(); ++k) make(k);
    }
    batch.CopyEqual();
    if (batch.OutOfMemory()) outOfMemory_.store(true, std::memory_order_relaxed);
}

bool FrameCompositor::CacheUsable() const {
    if (!store_.Still().Holds(title_.Revision()) || !PlatesStill()) return false;
    for (size_t r = 0; r < strings_.size(); ++r) {
        const MetaString& s = strings_[r];
        const StringRender& state = (*states_)[r];
        if (s.PathProgress != 1.0f || !state.layers.drawn) return false;
        if (s.PathID[0] != 0 && !state.effect.CurrentFor(s, title_.Revision())) return false;
    }
    return true;
}

HRESULT FrameCompositor::Prepare(bool* draw) {
    *draw = false;
    // Layers and rectangle forms index the frame with 32-bit pixel counts.
    const int64_t frameBytes = int64_t(rs_.Width) * int64_t(rs_.Height) * 4;
    if (rs_.Width <= 0 || rs_.Height <= 0) return S_OK;
    if (frameBytes > int64_t(std::numeric_limits<int32_t>::max())) return E_OUTOFMEMORY;

    // The helpers wake while this thread does the serial start; not for a frame that will likely
    // be replayed from the still frame, whose few small blends cost less than waking them (a large
    // replay still starts them when it first shares work).
    if (threaded_ && !store_.Still().Holds(title_.Revision())) team_.Wake();
    states_ = &store_.SyncedStrings(title_);
    PrepareAtRest();
    // A character image that could not be made would be missing from the frame: the frame fails
    // instead, and the character is made on the next call.
    if (outOfMemory_) return E_OUTOFMEMORY;

    area_ = Intersect(RECT{0, 0, rs_.Width, rs_.Height}, rs_.ClipRect);
    *draw = !IsEmpty(area_);
    return S_OK;
}

HRESULT FrameCompositor::Draw(float time, RECT* dirtyOut) {
    time_ = time;
    StillFrame& still = store_.Still();
    if (CacheUsable()) {
        // The helpers were not woken for a replay; only a blend large enough to pay for waking
        // them is shared.
        minBandPixels_ = kMinReplayPixelsPerBand;
        *dirtyOut = still.rect;
        BlendIntoFrame(still.rect);
        return S_OK;
    }
    still.valid = false;  // the layers are about to change

    // Every string's effect answers first, then the images of every scaled or turned character
    // of all strings in one shared section, then each string's layers in one more.
    passes_.resize(strings_.size());
    stale_.resize(strings_.size());
    for (size_t r = 0; r < strings_.size(); ++r) AnswerString(int32_t(r));
    MakeMovedImages();
    plates_.resize(strings_.size());
    for (size_t r = 0; r < strings_.size(); ++r) AnswerPlates(int32_t(r));
    for (size_t r = 0; r < strings_.size(); ++r) {
        const HRESULT hr = DrawString(int32_t(r));
        if (hr != S_OK) return hr;
    }
    if (outOfMemory_) return E_OUTOFMEMORY;
    for (StringRender& r : *states_) r.layers.dirty = Intersect(Inflate(r.layers.dirty, 2), area_);
    for (size_t r = 0; r < strings_.size(); ++r) {
        if (const HRESULT hr = WholeImage(int32_t(r)); hr != S_OK) return hr;
    }

    RECT dirty{};
    bool cacheable = PlatesStill();
    for (size_t r = 0; r < strings_.size(); ++r) {
        dirty = Union(dirty, (*states_)[r].layers.dirty);
        cacheable = cacheable && strings_[r].PathProgress == 1.0f;
    }
    dirty = Intersect(dirty, area_);
    *dirtyOut = dirty;
    BlendIntoFrame(dirty);
    if (cacheable) still = StillFrame{true, title_.Revision(), dirty};
    return S_OK;
}

// The string's effect answers, pass by pass; its last frame's dirty rectangle is kept for
// clearing.
void FrameCompositor::AnswerString(int32_t row) {
    const MetaString& s = strings_[size_t(row)];
    StringLayers& r = State(row).layers;
    stale_[size_t(row)] = r.dirty;
    r.dirty = RECT{};
    r.drawn = false;
    int32_t passes = 0;
    if (s.PathID[0] != 0) {
        (void)store_.EffectFor(title_, row);
        passes = std::max(EffectCatalog::GetPassCount(s.PathID), 0);
    }
    std::vector<PassDraw>& own = passes_[size_t(row)];
    own.resize(size_t(passes));
    for (int32_t pass = 0; pass < passes; ++pass) AnswerPass(row, pass, own[size_t(pass)]);
}

// Images for the scaled or turned characters of every string and pass: from the cache where it
// holds their keys, else made once per key of the frame (on the team's threads), and kept when
// the key was asked for in an earlier frame too; then the boxes each pass's images touch.
void FrameCompositor::MakeMovedImages() {
    ImageCache& cache = store_.Images();
    struct Missing {
        GlyphKey key;
        std::shared_ptr<PreparedGlyph> images;
        bool keep;  // asked for in an earlier frame too: worth keeping
    };
    std::deque<Missing> missing;                                 // stays where it is as it grows
    std::unordered_map<std::string_view, size_t> missingByKey;  // views into missing's keys
    std::vector<std::pair<CharDraw*, size_t>> waiting;          // draws and the images they wait for
    try {
        for (size_t row = 0; row < passes_.size(); ++row) {
            const std::vector<GlyphKey>& keys = State(int32_t(row)).atRest.keys;
            for (PassDraw& p : passes_[row]) {
                for (size_t i = 0; i < p.draws.size() && i < keys.size(); ++i) {
                    CharDraw& d = p.draws[i];
                    if (!d.visible || !d.transformed) continue;
                    const GlyphKey key = WithMotion(keys[i], d.state.scaleX, d.state.scaleY, d.state.angle);
                    const std::string_view bytes(reinterpret_cast<const char*>(&key), sizeof key);
                    if (const auto at = missingByKey.find(bytes); at != missingByKey.end()) {
                        waiting.push_back({&d, at->second});
                        continue;
                    }
                    bool keep = false;
                    if (std::shared_ptr<const PreparedGlyph> hit = cache.Find(key, &keep)) {
                        d.moved = std::move(hit);
                        d.glyph = d.moved.get();
                    } else {
                        missing.push_back(Missing{key, std::make_shared<PreparedGlyph>(), keep});
                        const Missing& m = missing.back();
                        missingByKey.emplace(std::string_view(reinterpret_cast<const char*>(&m.key), sizeof m.key),
                                             missing.size() - 1);
                        waiting.push_back({&d, missing.size() - 1});
                    }
                }
            }
        }
    } catch (const std::bad_alloc&) {
        outOfMemory_.store(true, std::memory_order_relaxed);  // the frame fails; nothing is drawn
        return;
    }
    auto make = [&missing, this](int32_t k) noexcept {
        Missing& m = missing[size_t(k)];
        m.images->DirtyBits = kDirtyAll;
        if (MakeGlyphImages(m.key, m.images.get()) == E_OUTOFMEMORY) outOfMemory_.store(true, std::memory_order_relaxed);
    };
    if (threaded_) {
        team_.ParallelFor(int32_t(missing.size()), make);
    } else {
        for (size_t k = 0; k < missing.size(); ++k) make(int32_t(k));
    }
    for (const auto& [d, k] : waiting) {
        d->moved = missing[k].images;
        d->glyph = d->moved.get();
    }
    // Only images made whole are kept (MakeGlyphImages clears the flags then); a cache that
    // cannot grow for lack of memory only keeps less.
    try {
        for (Missing& m : missing) {
            if (m.keep) cache.Add(m.key, std::move(m.images));
        }
    } catch (const std::bad_alloc&) {
    }
    for (std::vector<PassDraw>& passes : passes_) {
        for (PassDraw& p : passes) {
            // Dirty boxes: what a character's images touch inside the area.
            for (const CharDraw& d : p.draws) {
                if (!d.visible) continue;
                for (const LayerImage* image : {&d.glyph->Shadow, &d.glyph->Border, &d.glyph->Face}) {
                    if (image->pixels) p.drawn = Union(p.drawn, PlacedBox(*image, d.state, area_));
                }
            }
        }
    }
}

// The string's layers: fitted to what its images touch, then, row band by row band, cleared of
// the last frame, given this frame's images in character order pass by pass, and joined. Each
// of the three steps is row by row (placement is clipped to the band, as in the unbanded order
// each layer pixel receives the same writes in the same order), so bands give the picture of one
// band, and a band does all three while its rows are in cache.
HRESULT FrameCompositor::DrawString(int32_t row) {
    const MetaString& s = strings_[size_t(row)];
    StringLayers& r = State(row).layers;
    std::vector<PassDraw>& passes = passes_[size_t(row)];
    std::vector<PlateDraw>& plates = plates_[size_t(row)];
    for (const PassDraw& p : passes) r.dirty = Union(r.dirty, p.drawn);
    for (const PlateDraw& d : plates) r.dirty = Union(r.dirty, PlacedBox(*d.image, d.state, area_));

    const bool whole = s.PathID[0] != 0 && EffectCatalog::IsWholeImage(s.PathID);
    const RECT extent = whole ? RECT{0, 0, rs_.Width, rs_.Height} : Intersect(Inflate(r.dirty, 2), area_);
    LayerWork work;
    HRESULT hr = FitLayers(r, extent, stale_[size_t(row)], &work);
    // What this frame places: one box per character and pass, its images' boxes together.
    boxes_.clear();
    for (const PlateDraw& d : plates) {
        const RECT box = PlacedBox(*d.image, d.state, area_);
        if (!IsEmpty(box)) boxes_.push_back(box);
    }
    const size_t plateBoxes = boxes_.size();
    for (const PassDraw& p : passes) {
        for (const CharDraw& d : p.draws) {
            if (!d.visible) continue;
            RECT box{};
            for (const LayerImage* image : {&d.glyph->Shadow, &d.glyph->Border, &d.glyph->Face}) {
                if (image->pixels) box = Union(box, PlacedBox(*image, d.state, area_));
            }
            if (!IsEmpty(box)) boxes_.push_back(box);
        }
    }
    CoverBoxes(boxes_, &work.spans);
    work.sparse = SparseSpans(work.spans, &work.bounds);
    if (plateBoxes > 0) {
        boxes_.erase(boxes_.begin(), boxes_.begin() + std::ptrdiff_t(plateBoxes));
        CoverBoxes(boxes_, &work.glyphSpans);
        work.glyphSparse = SparseSpans(work.glyphSpans, &work.glyphBounds);
        work.platesApart = true;
    }
    if (hr == S_OK && r.memory) {
        const RECT rows = r.rect;
        if (!threaded_) {
            LayerBand(r, row, work, rows);
        } else {
            // Many bands per thread so that uneven text evens out: the section ends when its
            // last band does, and a band costs little more than its rows (each looks at every
            // character's box and span).
            const int32_t threads = team_.Helpers() + 1;
            const int32_t height = rows.bottom - rows.top;
            const int32_t bandHeight = std::max(16, (height + 16 * threads - 1) / (16 * threads));
            const int32_t bands = (height + bandHeight - 1) / bandHeight;
            auto band = [&](int32_t b) noexcept {
                LayerBand(r, row, work,
                          RECT{rows.left, rows.top + b * bandHeight, rows.right,
                               std::min(rows.bottom, rows.top + (b + 1) * bandHeight)});
            };
            team_.ParallelFor(bands, band);
        }
    }
    for (PassDraw& p : passes) {
        for (CharDraw& d : p.draws) d.moved.reset();
    }
    plates.clear();
    r.spans = std::move(work.spans);
    r.spansSparse = work.sparse;
    r.glyphSpans = std::move(work.glyphSpans);
    r.platesApart = work.platesApart;
    // Vertical smoothing and whole-image effects write beyond the images.
    r.imagesOnly = !whole && !rs_.Smoothing;
    if (hr != S_OK) {
        r.dirty = RECT{};  // the layers hold nothing that could be blended
        r.spans.clear();
        r.platesApart = false;
        return hr;
    }
    r.drawn = true;
    return S_OK;
}

// One band of rows of the string's layers (inside them): cleared, placed, joined.
void FrameCompositor::LayerBand(const StringLayers& r, int32_t row, const LayerWork& work, const RECT& band) {
    const std::vector<PassDraw>& passes = passes_[size_t(row)];
    ClearLayers(r, Intersect(work.clearAll, band));
    const LayerSet last = work.clearGlyphSpans ? LayerSet::Shadow : LayerSet::All;
    ClearLayers(r, Intersect(work.clearStale, band), last);
    if (work.clearSpans) {
        for (const RECT& span : *work.clearSpans) ClearLayers(r, Intersect(span, band), last);
    }
    if (work.clearGlyphSpans) {
        for (const RECT& span : *work.clearGlyphSpans) ClearLayers(r, Intersect(span, band), LayerSet::BorderAndFace);
    }
    // Plates lie under everything the characters draw, their shadows included.
    PlacePlates(plates_[size_t(row)], band, r);
    for (const PassDraw& p : passes) {
        const RECT clip = Intersect(p.drawn, band);
        if (IsEmpty(clip)) continue;
        for (const CharDraw& d : p.draws) {
            if (d.visible) PlaceImages(d, clip, r);
        }
    }
    const bool sparse = work.platesApart ? work.glyphSparse : work.sparse;
    if (sparse) {
        for (const RECT& span : work.platesApart ? work.glyphSpans : work.spans) JoinLayers(r, Intersect(span, band));
    } else {
        JoinLayers(r, Intersect(work.platesApart ? work.glyphBounds : work.bounds, band));
    }
}

// The effect's answers for one pass (on this thread, in character order), the images of scaled or
// turned characters, and the box the pass's images touch.
void FrameCompositor::AnswerPass(int32_t row, int32_t pass, PassDraw& out) {
    const MetaString& s = strings_[size_t(row)];
    StringRender& r = State(row);
    const size_t n = std::min(s.chars.size(), r.atRest.glyphs.size());
    std::vector<CharDraw>& draws = out.draws;
    draws.clear();
    draws.resize(n);
    out.drawn = RECT{};
    // The scattering families' generator, seeded afresh for every pass of every string, so the
    // answers depend on nothing but the frame.
    EffectRandom random(1);

    PathEffect* effect = r.effect.Get();
    const int32_t boxes = effect ? effect->CharCount() : 0;
    const bool turned = s.RotateDegree != 0;
    for (size_t i = 0; i < n; ++i) {
        CharDraw& d = draws[i];
        if (IsPairBreak(s, i)) continue;
        CharState& st = d.state;
        if (effect && int32_t(i) < boxes) {
            if (effect->GetCharState(pass, int32_t(i), s.PathProgress, random, &st) != S_OK) continue;
        } else {
            const RectF at = title_.CharFrameRect(s, int32_t(i));
            st = CharState{at.x, at.y, 1.0f, 1.0f, 0.0f, 255};
        }
        d.answer = st;
        d.answered = Finite(st);
        // An answer with a NaN or infinite field has no place in the frame: the character is
        // left out, as if transparent, rather than handed to the placement arithmetic.
        if (st.alpha == 0 || !Finite(st)) continue;
        if (turned) {
            const float dx = st.x - s.RotOriginX, dy = st.y - s.RotOriginY;
            st.x = s.RotOriginX + s.RotCos * dx + s.RotSin * dy;
            st.y = s.RotOriginY + s.RotCos * dy - s.RotSin * dx;
            if (!std::isfinite(st.x) || !std::isfinite(st.y)) continue;
        }
        d.visible = true;
        d.transformed = !(rs_.UseGlyphCache && st.scaleX == 1.0f && st.scaleY == 1.0f && st.angle == 0.0f);
        d.glyph = d.transformed ? &kNoImages : &r.atRest.glyphs[i];
    }

}

// clip lies inside the layers' rectangle.
void FrameCompositor::PlaceImages(const CharDraw& d, const RECT& clip, const StringLayers& r) {
    const PreparedGlyph& g = *d.glyph;
    const LayerImage* images[3] = {&g.Shadow, &g.Border, &g.Face};
    uint8_t* targets[3] = {r.memory.ShadowLayer, r.memory.BorderLayer, r.memory.FaceLayer};
    const RECT& l = r.rect;
    for (int k = 0; k < 3; ++k) {
        const LayerImage& image = *images[k];
        if (!image.pixels || IsEmpty(PlacedBox(image, d.state, clip))) continue;
        // What PlaceLayer would refuse (positions that are not numbers, empty images) was left
        // out above; what remains to fail is memory for the rows of a wide image.
        const HRESULT hr = PlaceLayer(targets[k], l.left, l.top, l.right - l.left, l.bottom - l.top, clip,
                                      image.pixels.get(), image.width, image.height, d.state.x + image.x,
                                      d.state.y + image.y, d.state.alpha, image.oneColour ? &image.colour : nullptr);
        if (hr == E_OUTOFMEMORY) outOfMemory_.store(true, std::memory_order_relaxed);
    }
}

// Face over border with added alphas, then that over the shadow, inside rect: ShadowLayer
// becomes the string's image. Both steps are per pixel. Outside the placed images all three
// layers are zero, which both steps leave as it is, so only the spans are joined.
void FrameCompositor::JoinLayers(const StringLayers& r, const RECT& rect) {
    const RECT b = Intersect(rect, r.rect);
    if (IsEmpty(b) || !r.memory) return;
    const LayerMemory& l = r.memory;
    const int32_t stride = r.Stride();
    const int32_t w = b.right - b.left, h = b.bottom - b.top;
    uint8_t* border = r.At(l.BorderLayer, b.left, b.top);
    MergeFaceOverBorder(border, r.At(l.FaceLayer, b.left, b.top), w, h, stride);
    BlendOverKeepAlpha(r.At(l.ShadowLayer, b.left, b.top), border, w, h, stride);
}

HRESULT FrameCompositor::WholeImage(int32_t row) {
    const MetaString& s = strings_[size_t(row)];
    StringLayers& state = State(row).layers;
    const LayerMemory& l = state.memory;
    const RECT frame{0, 0, rs_.Width, rs_.Height};
    if (s.PathID[0] != 0 && EffectCatalog::IsWholeImage(s.PathID)) {
        PathEffect* effect = store_.EffectFor(title_, row);
        if (!effect) return S_OK;
        const int32_t stride = rs_.Width * 4;
        (void)effect->SetSourceImage(l.ShadowLayer, rs_.Width, rs_.Height, stride);
        (void)effect->SetTargetImage(l.FaceLayer, rs_.Width, rs_.Height, stride);
        (void)effect->SetImageParam(rs_.ColorMode);
        RECT r{};
        const RECT drawn = state.dirty;
        (void)effect->GetImageRect(&r, &drawn);
        // The effect's rectangle is used to index the layers: keep it inside them.
        r = Intersect(r, frame);
        Unpremultiply(l.ShadowLayer, rs_.Width, rs_.Height, r);
        // On a refusal FaceLayer keeps the faces; out of memory fails the frame.
        if (effect->ProcessImage(s.PathProgress) == E_OUTOFMEMORY) return E_OUTOFMEMORY;
        if (rs_.Smoothing) {
            if (const HRESULT hr = SmoothVertical(l.FaceLayer, rs_.Width, rs_.Height, r); hr != S_OK) return hr;
        }
        if (rs_.KeepAlpha) Premultiply(l.FaceLayer, rs_.Width, rs_.Height, r);
        state.dirty = Union(state.dirty, r);
    } else if (rs_.Smoothing && !IsEmpty(state.dirty) && state.memory) {
        const RECT& d = state.dirty;
        uint8_t* first = state.At(l.ShadowLayer, d.left, d.top);
        const int32_t w = d.right - d.left, h = d.bottom - d.top, stride = state.Stride();
        Unpremultiply(first, w, h, stride);
        if (const HRESULT hr = SmoothVertical(first, w, h, stride); hr != S_OK) return hr;
        if (rs_.KeepAlpha) Premultiply(first, w, h, stride);
    }
    return S_OK;
}

// The string's finished image, and whether it holds straight colour (else premultiplied).
const uint8_t* FrameCompositor::FinishedImage(const MetaString& s, const StringLayers& r, bool* straight) const {
    const bool whole = s.PathID[0] != 0 && EffectCatalog::IsWholeImage(s.PathID);
    *straight = !rs_.KeepAlpha && (whole || rs_.Smoothing);
    return whole ? r.memory.FaceLayer : r.memory.ShadowLayer;
}

// Every string over the host's frame, in order, inside the dirty rectangle. Both drawn and cached
// frames come through here, which is what makes them identical.
void FrameCompositor::BlendIntoFrame(const RECT& dirty) {
    if (IsEmpty(dirty)) return;
    if (rs_.KeepAlpha) Premultiply(pixels_, rs_.Width, rs_.Height, dirty);
    for (size_t k = 0; k < strings_.size(); ++k) {
        const StringLayers& state = (*states_)[k].layers;
        // Outside its own rectangle a string's image is transparent: nothing to blend there.
        const RECT r = Intersect(state.dirty, dirty);
        if (IsEmpty(r) || !state.memory) continue;
        bool straight = false;
        const uint8_t* image = FinishedImage(strings_[k], state, &straight);
        // The frame and the layers have different strides: one core call per row.
        using RowsFn = void (*)(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t);
        RowsFn blend = &BlendOverOpaque;
        if (rs_.KeepAlpha) {
            blend = &BlendOverKeepAlpha;
        } else if (straight) {
            blend = &BlendStraightOpaque;
        }
        auto rows = [&](const RECT& b) {
            const int32_t w = b.right - b.left;
            for (int32_t y = b.top; y < b.bottom; ++y) {
                blend(pixels_ + (ptrdiff_t(y) * rs_.Width + b.left) * 4,
                      state.At(image, b.left, y), w, 1, 0);
            }
        };
        // A transparent pixel leaves the frame as it is in every blend: an image that holds
        // nothing beyond its spans is blended only there.
        if (state.imagesOnly && state.spansSparse) {
            ForRects(state.spans, [&](const RECT& span) {
                const RECT b = Intersect(span, r);
                if (!IsEmpty(b)) rows(b);
            });
        } else {
            ForRowBands(r, rows);
        }
    }
    if (rs_.KeepAlpha) Unpremultiply(pixels_, rs_.Width, rs_.Height, dirty);
}

// A per-pixel operation over disjoint rectangles, shared between the threads rectangle by
// rectangle when they hold enough pixels. op(rect) must not throw.
template <class RectOp>
void FrameCompositor::ForRects(const std::vector<RECT>& rects, RectOp op) {
    int64_t pixels = 0;
    for (const RECT& r : rects) pixels += int64_t(r.right - r.left) * (r.bottom - r.top);
    if (!threaded_ || rects.size() < 2 || pixels < 2 * minBandPixels_) {
        for (const RECT& r : rects) op(r);
        return;
    }
    auto run = [&](int32_t i) noexcept { op(rects[size_t(i)]); };
    team_.ParallelFor(int32_t(rects.size()), run);
}

// A per-pixel operation over a rectangle, split into row bands when threads are allowed (each
// pixel depends only on itself, so bands give the same result). op(band) must not throw.
template <class BandOp>
void FrameCompositor::ForRowBands(const RECT& r, BandOp op) {
    if (IsEmpty(r)) return;
    const int64_t pixels = int64_t(r.right - r.left) * (r.bottom - r.top);
    if (!threaded_ || pixels < 2 * minBandPixels_) {
        op(r);
        return;
    }
    const int32_t threads = team_.Helpers() + 1;
    const int32_t rows = r.bottom - r.top;
    const int32_t bands = int32_t(std::min<int64_t>({int64_t(threads) * 2, pixels / minBandPixels_, rows}));
    const int32_t bandHeight = (rows + bands - 1) / bands;
    auto run = [&](int32_t b) noexcept {
        const RECT band{r.left, r.top + b * bandHeight, r.right, std::min(r.bottom, r.top + (b + 1) * bandHeight)};
        if (!IsEmpty(band)) op(band);
    };
    team_.ParallelFor(bands, run);
}

// ---- plates ----
//
// A plate box that follows its string's effect takes the mean of the effect's answers for the
// characters it stands behind (white space aside): their mean move, scales, turn and opacity. A
// slide therefore carries it along, a fade fades it, and characters coming in one by one bring it
// up with them. A plate with a reveal of its own stands at its place and shows the part its reveal
// has reached at the frame's title time. Either way its centre turns with the string like a
// character's position, and its image turns by the string's angle.

namespace {

// How much of a plate with its own reveal shows at title time t: 0 nothing, 1 all.
float RevealFraction(const QelPlate& p, float t) {
    auto ramp = [t](float start, float length) {
        if (length <= 0) return t >= start ? 1.0f : 0.0f;
        return std::clamp((t - start) / length, 0.0f, 1.0f);
    };
    float f = ramp(p.RevealStart, p.RevealLength);
    if (p.HideLength > 0) f = std::min(f, 1.0f - ramp(p.HideStart, p.HideLength));
    return f;
}

// The mean answer of the effect for characters [first, last] of pass 0, as a move from their
// places; false when none of them was answered.
bool MeanAnswer(const Title& title, const MetaString& s, const std::vector<CharDraw>& draws, int32_t first,
                int32_t last, CharState* mean) {
    double dx = 0, dy = 0, sx = 0, sy = 0, angle = 0, alpha = 0;
    int32_t n = 0;
    for (int32_t i = first; i <= last && size_t(i) < draws.size(); ++i) {
        const CharDraw& d = draws[size_t(i)];
        if (!d.answered || IsPlateGap(s, size_t(i))) continue;
        const RectF at = title.CharFrameRect(s, i);
        dx += d.answer.x - at.x;
        dy += d.answer.y - at.y;
        sx += d.answer.scaleX;
        sy += d.answer.scaleY;
        angle += d.answer.angle;
        alpha += d.answer.alpha;
        ++n;
    }
    if (n == 0) return false;
    *mean = CharState{float(dx / n), float(dy / n), float(sx / n), float(sy / n), float(angle / n),
                      uint8_t(std::lround(alpha / n))};
    return true;
}

// The fade of a plate box (frame pixels, unturned) whose characters the effect shows unevenly, as
// a wipe does; false when they all have one opacity. Columns and rows of the box that no
// character covers take the opacity of the nearest that one does.
bool UnevenFade(const Title& title, const MetaString& s, const std::vector<CharDraw>& draws, int32_t first,
                int32_t last, const LayoutBox& box, PlateFade* fade) {
    uint8_t low = 255, high = 0;
    for (int32_t i = first; i <= last && size_t(i) < draws.size(); ++i) {
        const CharDraw& d = draws[size_t(i)];
        if (!d.answered || IsPlateGap(s, size_t(i))) continue;
        low = std::min(low, d.answer.alpha);
        high = std::max(high, d.answer.alpha);
    }
    if (low >= high) return false;
    const size_t w = size_t(std::max(1.0f, std::ceil(box.Width()))), h = size_t(std::max(1.0f, std::ceil(box.Height())));
    std::vector<int16_t> across(w, -1), down(h, -1);
    auto mark = [](std::vector<int16_t>& table, float from, float to, uint8_t alpha) {
        const float n = float(table.size());
        for (size_t k = size_t(std::clamp(std::floor(from), 0.0f, n)); k < size_t(std::clamp(std::ceil(to), 0.0f, n)); ++k)
            table[k] = std::max<int16_t>(table[k], alpha);
    };
    for (int32_t i = first; i <= last && size_t(i) < draws.size(); ++i) {
        const CharDraw& d = draws[size_t(i)];
        if (!d.answered || IsPlateGap(s, size_t(i))) continue;
        const RectF at = title.CharFrameRect(s, i);
        mark(across, at.x - box.left, at.x + at.width - box.left, d.answer.alpha);
        mark(down, at.y - box.top, at.y + at.height - box.top, d.answer.alpha);
    }
    auto fill = [](const std::vector<int16_t>& table, std::vector<uint8_t>& out) {
        out.assign(table.size(), 0);
        const auto firstSet = std::find_if(table.begin(), table.end(), [](int16_t v) { return v >= 0; });
        int16_t held = firstSet == table.end() ? 0 : *firstSet;  // before the first: the first's
        for (size_t k = 0; k < table.size(); ++k) {
            if (table[k] >= 0) held = table[k];
            out[k] = uint8_t(held);
        }
    };
    fill(across, fade->across);
    fill(down, fade->down);
    fade->peak = high;
    return true;
}

// Where a point of the string's unturned frame stands once the string is turned.
void TurnWithString(const MetaString& s, float* x, float* y) {
    if (s.RotateDegree == 0) return;
    const float dx = *x - s.RotOriginX, dy = *y - s.RotOriginY;
    *x = s.RotOriginX + s.RotCos * dx + s.RotSin * dy;
    *y = s.RotOriginY + s.RotCos * dy - s.RotSin * dx;
}

}  // namespace

namespace {

// The frame's bands of equal opacity of a fade over an upright plate box (frame pixels): runs of
// equal columns times runs of equal rows, the outer ones reaching beyond the box (its padding and
// shadow take the nearest character's opacity).
std::vector<std::pair<RECT, uint8_t>> FadeStrips(const PlateFade& fade, const LayoutBox& box) {
    auto runs = [](const std::vector<uint8_t>& table, int32_t origin) {
        std::vector<std::pair<std::pair<int32_t, int32_t>, uint8_t>> out;
        for (size_t k = 0; k < table.size(); ++k) {
            if (!out.empty() && out.back().second == table[k]) {
                out.back().first.second = origin + int32_t(k) + 1;
            } else {
                out.push_back({{origin + int32_t(k), origin + int32_t(k) + 1}, table[k]});
            }
        }
        if (!out.empty()) {
            out.front().first.first = INT32_MIN / 2;
            out.back().first.second = INT32_MAX / 2;
        }
        return out;
    };
    const auto across = runs(fade.across, int32_t(std::floor(box.left)));
    const auto down = runs(fade.down, int32_t(std::floor(box.top)));
    std::vector<std::pair<RECT, uint8_t>> strips;
    for (const auto& [x, a] : across) {
        for (const auto& [y, b] : down) {
            const uint8_t alpha = fade.peak ? uint8_t(uint32_t(a) * b / fade.peak) : 0;
            if (alpha != 0) strips.push_back({RECT{x.first, y.first, x.second, y.second}, alpha});
        }
    }
    return strips;
}

}  // namespace

// Whether any of the first `count` plates' images touches `rect`.
bool FrameCompositor::ReachedBefore(const std::vector<PlateDraw>& plates, size_t count, const RECT& rect) const {
    for (size_t k = 0; k < count; ++k) {
        if (!IsEmpty(Intersect(PlacedBox(*plates[k].image, plates[k].state, area_), rect))) return true;
    }
    return false;
}

bool FrameCompositor::PlatesStill() const {
    for (const MetaString& s : strings_) {
        for (const QelPlate& p : s.plates) {
            if (p.Reveal != QEL_REVEAL_EFFECT && RevealFraction(p, time_) != 1.0f) return false;
        }
    }
    return true;
}

void FrameCompositor::AnswerPlates(int32_t row) {
    const MetaString& s = strings_[size_t(row)];
    std::vector<PlateDraw>& out = plates_[size_t(row)];
    out.clear();
    std::vector<PlateRecord>& records = State(row).plates;
    const std::vector<PassDraw>& passes = passes_[size_t(row)];
    if (s.plates.empty() || passes.empty()) {
        records.clear();
        return;
    }
    const float sx = rs_.ScaleX, sy = rs_.ScaleY, k = std::min(std::fabs(sx), std::fabs(sy));
    size_t slot = 0;
    for (const QelPlate& plate : s.plates) {
        const std::vector<PlateBox> boxes = PlateBoxes(s, plate);
        // Padded boxes in frame pixels, and the box one gradient spans for each.
        std::vector<LayoutBox> padded;
        for (const PlateBox& b : boxes) {
            padded.push_back({(b.box.left - plate.PadX) * sx, (b.box.top - plate.PadY) * sy,
                              (b.box.right + plate.PadX) * sx, (b.box.bottom + plate.PadY) * sy});
        }
        const uint32_t c1 = FrameColor(plate.Color1, rs_.ColorMode), c2 = FrameColor(plate.Color2, rs_.ColorMode);
        const std::array<uint32_t, 4> corners = GradientCorners(c1, c2, plate.GradType);
        for (size_t b = 0; b < boxes.size(); ++b, ++slot) {
            const LayoutBox& box = padded[b];
            PlateShape shape;
            shape.width = box.Width();
            shape.height = box.Height();
            shape.radius = plate.Radius * k;
            LayoutBox span = box;
            if (plate.Across != QEL_ACROSS_OWN) {
                const int32_t line = s.chars[size_t(boxes[b].first)].LineIndex;
                for (size_t o = 0; o < boxes.size(); ++o) {
                    if (plate.Across == QEL_ACROSS_LINE && s.chars[size_t(boxes[o].first)].LineIndex != line) continue;
                    span = {std::min(span.left, padded[o].left), std::min(span.top, padded[o].top),
                            std::max(span.right, padded[o].right), std::max(span.bottom, padded[o].bottom)};
                }
            }
            const float w = span.Width() > 0 ? span.Width() : 1, h = span.Height() > 0 ? span.Height() : 1;
            const float u0 = (box.left - span.left) / w, u1 = (box.right - span.left) / w;
            const float v0 = (box.top - span.top) / h, v1 = (box.bottom - span.top) / h;
            shape.fill = {ColourAt(corners, u0, v0), ColourAt(corners, u1, v0), ColourAt(corners, u0, v1),
                          ColourAt(corners, u1, v1)};
            shape.fillAlpha = plate.Alpha;
            shape.border = plate.BorderSize * k;
            shape.borderColour = FrameColor(plate.BorderColor, rs_.ColorMode);
            shape.borderAlpha = plate.BorderAlpha;
            shape.shadowX = plate.ShadowX * sx;
            shape.shadowY = plate.ShadowY * sy;
            shape.shadowBlur = plate.ShadowBlur * k;
            shape.shadowColour = FrameColor(plate.ShadowColor, rs_.ColorMode);
            shape.shadowAlpha = plate.ShadowAlpha;
            shape.clipRight = shape.width;
            shape.clipBottom = shape.height;
            shape.angle = s.RotateDegree;

            // The centre at rest, the move of this frame, and what shows.
            float cx = box.left + shape.width * 0.5f, cy = box.top + shape.height * 0.5f;
            float restX = cx, restY = cy;
            TurnWithString(s, &restX, &restY);
            CharState mean{0, 0, 1, 1, 0, 255};
            bool moved = false;  // scaled, turned, clipped or faded unevenly: made for this frame
            PlateFade fade;
            bool uneven = false;
            if (plate.Reveal == QEL_REVEAL_EFFECT) {
                const std::vector<CharDraw>& draws = passes.front().draws;
                if (!MeanAnswer(title_, s, draws, boxes[b].first, boxes[b].last, &mean)) continue;
                uneven = UnevenFade(title_, s, draws, boxes[b].first, boxes[b].last, box, &fade);
                if (uneven) mean.alpha = 255;  // the image holds the opacity
                cx += mean.x;
                cy += mean.y;
                shape.scaleX = mean.scaleX;
                shape.scaleY = mean.scaleY;
                shape.angle += mean.angle;
                moved = mean.scaleX != 1.0f || mean.scaleY != 1.0f || mean.angle != 0.0f;
                // Strips of the frame follow the box's columns and rows only while it is upright.
                if (uneven && s.RotateDegree != 0) moved = true;
                if (!(mean.scaleX > 0) || !(mean.scaleY > 0)) continue;
            } else {
                const float f = RevealFraction(plate, time_);
                if (f <= 0) continue;
                moved = f < 1;
                if (plate.Reveal == QEL_REVEAL_GROW) {
                    // Scaled by f about the reveal's point: the centre comes from that point.
                    const float px[] = {-0.5f, 0.5f, 0, 0, 0}, py[] = {0, 0, -0.5f, 0.5f, 0};
                    shape.scaleX = shape.scaleY = f;
                    cx += (1 - f) * px[plate.RevealFrom] * shape.width;
                    cy += (1 - f) * py[plate.RevealFrom] * shape.height;
                } else {
                    const float hide = 1 - f;
                    switch (plate.RevealFrom) {
                        case QEL_FROM_LEFT: shape.clipRight = f * shape.width; break;
                        case QEL_FROM_RIGHT: shape.clipLeft = hide * shape.width; break;
                        case QEL_FROM_TOP: shape.clipBottom = f * shape.height; break;
                        case QEL_FROM_BOTTOM: shape.clipTop = hide * shape.height; break;
                        default:
                            shape.clipLeft = hide * shape.width * 0.5f;
                            shape.clipRight = shape.width - shape.clipLeft;
                            break;
                    }
                }
            }
            TurnWithString(s, &cx, &cy);
            if (!std::isfinite(cx) || !std::isfinite(cy) || mean.alpha == 0) continue;

            PlateDraw d;
            d.state = CharState{cx, cy, 1, 1, 0, mean.alpha};
            if (moved) {
                shape.fracX = cx - std::floor(cx);
                shape.fracY = cy - std::floor(cy);
                if (BuildPlateImage(&d.temp, shape, uneven ? &fade : nullptr) == E_OUTOFMEMORY) outOfMemory_.store(true);
                if (uneven) d.state.alpha = 255;
                if (d.temp.pixels) out.push_back(std::move(d));
            } else {
                // At rest the image is made for the place it stands at, so that it is copied pixel
                // for pixel; a move places it between pixels.
                shape.fracX = restX - std::floor(restX);
                shape.fracY = restY - std::floor(restY);
                if (records.size() <= slot) records.resize(slot + 1);
                PlateRecord& record = records[slot];
                if (!record.made || std::memcmp(&record.shape, &shape, sizeof shape) != 0) {
                    HRESULT hr = BuildPlateImage(&record.image, shape);
                    record.premultiplied.reset();
                    record.wholePlacement.reset();
                    if (hr == S_OK && record.image.pixels) {
                        const size_t bytes = size_t(record.image.width) * size_t(record.image.height) * 4;
                        record.premultiplied.reset(new (std::nothrow) uint8_t[bytes]);
                        if (record.premultiplied) {
                            std::memcpy(record.premultiplied.get(), record.image.pixels.get(), bytes);
                            Premultiply(record.premultiplied.get(), record.image.width, record.image.height,
                                        record.image.width * 4);
                        } else {
                            hr = E_OUTOFMEMORY;
                        }
                    }
                    if (hr == E_OUTOFMEMORY) outOfMemory_.store(true);
                    record.shape = shape;
                    record.made = hr != E_OUTOFMEMORY;  // the next frame tries again
                }
                if (uneven) {
                    d.strips = FadeStrips(fade, box);
                    d.wholePlacement = WholePlacement(record, cx, cy);
                } else if (mean.alpha == 255 && record.premultiplied) {
                    // On whole pixels: a slide puts it within half a pixel of its text.
                    d.state.x = std::round(cx + record.image.x) - record.image.x;
                    d.state.y = std::round(cy + record.image.y) - record.image.y;
                    d.premultiplied = record.premultiplied.get();
                }
                d.slot = int32_t(slot);
                if (record.image.pixels) out.push_back(std::move(d));
            }
        }
    }
    if (records.size() > slot) records.resize(slot);
    // The images' places are known once neither list grows any more.
    for (PlateDraw& d : out) d.image = d.slot >= 0 ? &records[size_t(d.slot)].image : &d.temp;
}

// The record's image prepared for placing in strips at (cx, cy), when that puts it on whole pixels
// (as a plate at rest stands); null otherwise or without the memory for it.
const uint8_t* FrameCompositor::WholePlacement(PlateRecord& record, float cx, float cy) {
    const LayerImage& image = record.image;
    const float x = cx + image.x, y = cy + image.y;  // as PlaceLayer is given them
    if (!image.pixels || x != std::floor(x) || y != std::floor(y)) return nullptr;
    if (!record.wholePlacement) {
        record.wholePlacement.reset(new (std::nothrow) uint8_t[size_t(image.width) * size_t(image.height) * 4]);
        if (!record.wholePlacement) return nullptr;
        PrepareWholePlacement(image.pixels.get(), image.width, image.height, record.wholePlacement.get());
    }
    return record.wholePlacement.get();
}

// Every plate image of the string that touches the band, in order, into its shadow layer. The
// band's layers were just cleared and plates are placed first, so a row of a plate that no earlier
// plate reached lies over nothing: there the blend of an image on whole pixels is a copy.
void FrameCompositor::PlacePlates(const std::vector<PlateDraw>& plates, const RECT& band, const StringLayers& r) {
    const RECT& l = r.rect;
    for (size_t k = 0; k < plates.size(); ++k) {
        const PlateDraw& d = plates[k];
        const LayerImage& image = *d.image;
        const RECT clip = Intersect(PlacedBox(image, d.state, area_), band);
        if (IsEmpty(clip)) continue;
        auto place = [&](const RECT& part, uint8_t opacity) {
            const HRESULT hr = PlaceLayer(r.memory.ShadowLayer, l.left, l.top, l.right - l.left, l.bottom - l.top, part,
                                          image.pixels.get(), image.width, image.height, d.state.x + image.x,
                                          d.state.y + image.y, opacity);
            if (hr == E_OUTOFMEMORY) outOfMemory_.store(true, std::memory_order_relaxed);
        };
        if (!d.strips.empty()) {
            const int32_t ix = int32_t(d.state.x + image.x), iy = int32_t(d.state.y + image.y);
            for (const auto& [strip, opacity] : d.strips) {
                const RECT part = Intersect(clip, strip);
                if (IsEmpty(part)) continue;
                if (!d.wholePlacement) {
                    place(part, opacity);
                    continue;
                }
                for (int32_t y = part.top; y < part.bottom; ++y) {
                    const RECT row{part.left, y, part.right, y + 1};
                    if (ReachedBefore(plates, k, row)) {
                        place(row, opacity);
                    } else {
                        const size_t at = size_t(y - iy) * size_t(image.width) + size_t(part.left - ix);
                        PlaceWholeOnEmpty(r.At(r.memory.ShadowLayer, part.left, y), d.wholePlacement + at * 4,
                                          part.right - part.left, opacity);
                    }
                }
            }
        } else if (d.premultiplied) {
            // Dca' = Sca + Dca.(1 - Sa), row by row, the image on whole pixels.
            const int32_t ix = int32_t(d.state.x + image.x), iy = int32_t(d.state.y + image.y);
            const int32_t width = clip.right - clip.left;
            for (int32_t y = clip.top; y < clip.bottom; ++y) {
                const uint8_t* src = d.premultiplied + (size_t(y - iy) * size_t(image.width) + size_t(clip.left - ix)) * 4;
                uint8_t* dst = r.At(r.memory.ShadowLayer, clip.left, y);
                if (ReachedBefore(plates, k, RECT{clip.left, y, clip.right, y + 1})) {
                    BlendOverKeepAlpha(dst, src, width, 1, 0);
                } else {
                    std::memcpy(dst, src, size_t(width) * 4);
                }
            }
        } else {
            place(clip, d.state.alpha);
        }
    }
}

}  // namespace qel
