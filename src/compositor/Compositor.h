// The frame compositor: draws a title over the host's frame and owns everything that only drawing
// needs: each string's character images, layers and effect instance, the thread team, the dirty
// rectangle, the still-frame cache and the cache of character images. None of it is saved, and all of it is valid by
// construction: character images are keyed by the exact inputs they were made from, effects by
// the title revision and path identifier they were made for, and the still frame by the title
// revision it was drawn at.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "compositor/FrameStore.h"
#include "compositor/StringRender.h"
#include "compositor/ThreadTeam.h"

namespace qel {

class Compositor final : private FrameStore {
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
    bool HoldsStillFrame(const Title& title) const { return still_.Holds(title.Revision()); }
    // The next frame is drawn even when the still frame could be replayed (for measuring).
    void DropStillFrame() { still_.valid = false; }

    void SetMaxThreads(int32_t maxThreads);
    // Processors drawing may use (the machine's by default); threaded drawing needs two.
    int32_t ProcessorCount() const { return processorCount_; }
    void SetProcessorCount(int32_t count) { processorCount_ = count; }

    // The string's effect as the next frame uses it, made or set up again when the title changed
    // or the string's path did; null for a string without a known path.
    PathEffect* EffectFor(const Title& title, int32_t row) override;
    // Replaces the string's effect by one the caller has set up; it stays until the title or the
    // string's path changes.
    void ReplaceEffect(const Title& title, int32_t row, std::unique_ptr<PathEffect> effect);
    // Makes the per-string state match the title: one record per string and per character, and
    // the rebuild flags of every image whose inputs changed. Every frame starts with it.
    void Sync(const Title& title);
    // The drawing state of a string, or null for a row that has none yet.
    StringRender* StateOf(int32_t row);
    // The images of scaled and turned characters kept between frames, and their budget.
    ImageCache& CharacterImages() { return images_; }

private:
    // What a frame takes from the compositor (FrameStore.h).
    std::vector<StringRender>& SyncedStrings(const Title& title) override;
    StillFrame& Still() override { return still_; }
    ImageCache& Images() override { return images_; }
    ThreadTeam& Team() override { return team_; }

    StringRender& State(int32_t row) { return states_[static_cast<size_t>(row)]; }
    // Helpers a frame of these settings uses besides the calling thread.
    int32_t HelpersFor(int32_t maxThreads) const;

    ThreadTeam team_;
    int32_t processorCount_ = 1;
    std::vector<StringRender> states_;
    uint64_t syncedRevision_ = ~uint64_t{0};
    LayerSettings glyphSettings_{};  // what the images of states_ were made with
    RECT dirtyRect_{};
    StillFrame still_;
    ImageCache images_;
    float plateTime_ = 1;  // the last title time drawn in 0..1, which plate reveals follow
};

}  // namespace qel
