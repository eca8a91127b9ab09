// The frame compositor: draws a title over the host's frame and owns everything that only drawing
// needs: each string's character images, layers and effect instance, the worker pool, the dirty
// rectangle and the still-frame cache. None of it is saved, and all of it is valid by
// construction: character images are keyed by the exact inputs they were made from, effects by
// the title revision and path identifier they were made for, and the still frame by the title
// revision it was drawn at.
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
#include "render/WorkerPool.h"

namespace qel {

// Drawing state of one string, parallel to the title's strings.
struct StringRender {
    std::vector<PreparedGlyph> glyphs;  // parallel to the characters: their images at rest
    std::vector<GlyphKey> keys;         // the key each of glyphs was made from
    std::unique_ptr<PathEffect> effect;
    uint64_t effectRevision = 0;  // the title revision the effect was set up at
    char effectPathId[260] = {};  // and the path it was made for
    bool effectMade = false;
    // Three premultiplied layers covering layerRect (frame pixels), each layerRect's width x height
    // pixels with stride width * 4; the block holds layerCapacity bytes per layer.
    LayerMemory layers;
    RECT layerRect{};
    size_t layerCapacity = 0;
    int32_t frameWidth = 0, frameHeight = 0;  // the frame size layerRect was chosen in
    RECT dirty{};                             // where the layers hold anything (inside layerRect)
    bool drawn = false;                       // the layers hold the string's last drawn image
    // Disjoint rectangles (frame pixels, inside dirty) covering every image the last frame placed.
    // The layers hold only zeros outside them when imagesOnly (no smoothing or whole-image effect
    // wrote beyond the images), so clearing, joining and blending need visit only them.
    std::vector<RECT> spans;
    bool imagesOnly = false;
    // The spans cover well under their bounding rectangle (scattered characters); dense ones
    // are cheaper to visit as that rectangle, whose other pixels are zero as well.
    bool spansSparse = false;

    // Layer pixel (x, y) given in frame pixels, inside layerRect.
    uint8_t* At(uint8_t* layer, int32_t x, int32_t y) const {
        return layer + (ptrdiff_t(y - layerRect.top) * (layerRect.right - layerRect.left) + (x - layerRect.left)) * 4;
    }
    const uint8_t* At(const uint8_t* layer, int32_t x, int32_t y) const {
        return layer + (ptrdiff_t(y - layerRect.top) * (layerRect.right - layerRect.left) + (x - layerRect.left)) * 4;
    }
    int32_t LayerStride() const { return (layerRect.right - layerRect.left) * 4; }
    // Whether effect was made for string s as it is at the title's revision.
    bool EffectCurrent(const MetaString& s, uint64_t revision) const {
        return effectMade && effectRevision == revision && std::strncmp(effectPathId, s.PathID, sizeof effectPathId) == 0;
    }
};

class Compositor {
public:
    Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Draws the title at title time `time` (which evaluates every string's key frames) over
    // pixels, a frame of the title's render settings.
    HRESULT Render(Title& title, uint8_t* pixels, float time);
    // The area the last Render changed (empty after a failure).
    RECT DirtyRect() const { return dirtyRect_; }
    // Frees every image, layer and effect; the next frame makes them again.
    void ReleaseCaches();

    // Whether the next still frame of this title would be replayed rather than drawn.
    bool HoldsStillFrame(const Title& title) const { return cacheValid_ && cacheRevision_ == title.Revision(); }
    // The next frame is drawn even when the still frame could be replayed (for measuring).
    void DropStillFrame() { cacheValid_ = false; }

    void SetMaxThreads(int32_t maxThreads);
    // Processors drawing may use (the machine's by default); threaded drawing needs two.
    int32_t ProcessorCount() const { return processorCount_; }
    void SetProcessorCount(int32_t count) { processorCount_ = count; }

    // The string's effect as the next frame uses it, made or set up again when the title changed
    // or the string's path did; null for a string without a known path.
    PathEffect* EffectFor(const Title& title, int32_t row);
    // Replaces the string's effect by one the caller has set up; it stays until the title or the
    // string's path changes.
    void ReplaceEffect(const Title& title, int32_t row, std::unique_ptr<PathEffect> effect);
    // Makes the per-string state match the title: one record per string and per character, and
    // the rebuild flags of every image whose inputs changed. Every frame starts with it.
    void Sync(const Title& title);
    // The drawing state of a string, or null for a row that has none yet.
    StringRender* StateOf(int32_t row);

private:
    friend class FrameCompositor;
    StringRender& State(int32_t row) { return states_[static_cast<size_t>(row)]; }

    WorkerPool workers_;
    int32_t processorCount_ = 1;
    std::vector<StringRender> states_;
    uint64_t syncedRevision_ = ~uint64_t{0};
    LayerSettings glyphSettings_{};  // what the images of states_ were made with
    RECT dirtyRect_{};
    bool cacheValid_ = false;
    uint64_t cacheRevision_ = 0;
    RECT cacheRect_{};
};

}  // namespace qel
