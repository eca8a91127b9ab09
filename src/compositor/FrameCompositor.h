// One frame of a title drawn over the host's frame: the pipeline from the effects' answers to the
// final blend, run by Compositor::Render.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "compositor/FrameStore.h"

namespace qel {

// One character's drawing in one pass.
struct CharDraw {
    CharState answer{};        // the effect's answer, in the string's unturned frame
    bool answered = false;     // answer holds finite numbers
    CharState state{};
    bool visible = false;      // alpha != 0, a finite answer, and some part inside the area
    bool transformed = false;  // needs images of its own scale and turn
    std::shared_ptr<const PreparedGlyph> moved;  // those images, from the cache or made for this frame
    const PreparedGlyph* glyph = nullptr;
};

// One plate box's drawing: its image placed with its centre at the state's position.
struct PlateDraw {
    CharState state{};
    const LayerImage* image = nullptr;
    int32_t slot = -1;  // the string's record of the image at rest, or -1 for temp
    LayerImage temp;    // the image made for this frame when the plate is scaled, turned or revealed
    // An image at rest, opaque as made and standing on whole pixels, is blended as it is (its
    // premultiplied pixels); else placed between pixels with the state's opacity.
    const uint8_t* premultiplied = nullptr;
    // Bands of the frame (columns, rows or both) drawn with opacities of their own: the fade of
    // characters that a wipe takes one by one, over an image at rest.
    std::vector<std::pair<RECT, uint8_t>> strips;
    // For strips of an image on whole pixels: the record's PrepareWholePlacement, or null.
    const uint8_t* wholePlacement = nullptr;
};

class FrameCompositor {
public:
    // The store's team has as many helpers as this frame may use.
    FrameCompositor(FrameStore& store, const Title& title, uint8_t* pixels)
        : store_(store),
          title_(title),
          strings_(title.Strings()),
          rs_(title.Settings()),
          pixels_(pixels),
          team_(store.Team()),
          threaded_(team_.Helpers() > 0) {}

    // What comes before the title's time is evaluated: the frame's size checked, the glyph cache
    // brought up to date and the images at rest made. *draw tells whether there is anything to draw
    // (a frame without pixels or drawing area has not).
    HRESULT Prepare(bool* draw);
    // The frame at the time the title was just evaluated at; *dirty receives the area it changed.
    // `time` is that title time (0 to 1), which plates with a reveal of their own follow.
    HRESULT Draw(float time, RECT* dirty);

private:
    struct PassDraw {
        std::vector<CharDraw> draws;  // parallel to the characters
        RECT drawn{};                 // what this pass's images touch inside the area
    };

    // What a string's frame does to its layers, row band by row band (see DrawString).
    struct LayerWork {
        RECT clearAll{};                           // laid out afresh: cleared whole
        const std::vector<RECT>* clearSpans = nullptr;  // or the last frame's spans
        RECT clearStale{};                         // or the last frame's whole dirty rectangle
        // When set, the two above clear only the shadow layer, and the border and face layers
        // are cleared over the last frame's characters' spans (its plates lay in the shadow layer).
        const std::vector<RECT>* clearGlyphSpans = nullptr;
        std::vector<RECT> spans;                   // this frame's placed images
        RECT bounds{};                             // their bounding rectangle
        bool sparse = false;                       // they leave over a quarter of it uncovered
        // With plates: the characters' images alone, where the layers are joined (elsewhere
        // the border and face layers are empty, which joining leaves as it is).
        bool platesApart = false;
        std::vector<RECT> glyphSpans;
        RECT glyphBounds{};
        bool glyphSparse = false;
    };

    StringRender& State(int32_t row) { return (*states_)[size_t(row)]; }
    HRESULT FitLayers(StringLayers& r, const RECT& extent, const RECT& stale, LayerWork* work);
    void PrepareAtRest();
    bool CacheUsable() const;
    void AnswerString(int32_t row);
    void MakeMovedImages();
    void AnswerPlates(int32_t row);
    bool PlatesStill() const;
    HRESULT DrawString(int32_t row);
    void AnswerPass(int32_t row, int32_t pass, PassDraw& out);
    void LayerBand(const StringLayers& r, int32_t row, const LayerWork& work, const RECT& band);
    void PlaceImages(const CharDraw& d, const RECT& clip, const StringLayers& r);
    void PlacePlates(const std::vector<PlateDraw>& plates, const RECT& band, const StringLayers& r);
    static const uint8_t* WholePlacement(PlateRecord& record, float cx, float cy);
    bool ReachedBefore(const std::vector<PlateDraw>& plates, size_t count, const RECT& rect) const;
    void JoinLayers(const StringLayers& r, const RECT& band);
    [[nodiscard]] HRESULT WholeImage(int32_t row);
    const uint8_t* FinishedImage(const MetaString& s, const StringLayers& r, bool* straight) const;
    void BlendIntoFrame(const RECT& dirty);
    template <class BandOp>
    void ForRowBands(const RECT& r, BandOp op);
    template <class RectOp>
    void ForRects(const std::vector<RECT>& rects, RectOp op);

    FrameStore& store_;
    const Title& title_;
    const std::vector<MetaString>& strings_;
    const RenderSettings& rs_;
    uint8_t* pixels_;
    ThreadTeam& team_;
    const bool threaded_;
    std::vector<StringRender>* states_ = nullptr;  // the store's records, parallel to strings_ (Prepare)
    RECT area_{};
    std::vector<std::vector<PassDraw>> passes_;  // per string, per pass
    std::vector<std::vector<PlateDraw>> plates_;  // per string, per plate box
    float time_ = 1;                              // the title time of the frame
    std::vector<RECT> stale_;                     // per string: its last frame's dirty rectangle
    std::vector<RECT> boxes_;                     // the images' boxes of the string being drawn
    // Below this a band costs about as much as handing it to another thread that is awake.
    int64_t minBandPixels_ = 16 * 1024;
    std::atomic<bool> outOfMemory_{false};  // a character image could not be made or placed for lack of memory
};

}  // namespace qel
