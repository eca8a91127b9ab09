// What one frame needs from the compositor that keeps drawing state between frames, and nothing
// more: the strings' records matched to the title, each string's effect, the still frame, the cache of
// character images and the threads. The frame (FrameCompositor) draws through this interface only; the compositor decides
// how the records are kept, synchronised and released.
#pragma once

#include <cstdint>
#include <vector>

#include "compositor/ImageCache.h"
#include "compositor/StringRender.h"
#include "compositor/ThreadTeam.h"
#include "model/Title.h"

namespace qel {

// The frame left in the strings' layers, which a later frame of the same title revision replays
// by blending the layers again instead of drawing them.
struct StillFrame {
    bool valid = false;
    uint64_t revision = 0;  // the title revision it was drawn at
    RECT rect{};            // the frame's dirty rectangle

    bool Holds(uint64_t titleRevision) const { return valid && revision == titleRevision; }
};

class FrameStore {
public:
    // One record per string of the title, with the rebuild flags of every character image whose
    // inputs changed set.
    virtual std::vector<StringRender>& SyncedStrings(const Title& title) = 0;
    // The string's effect as this frame uses it, made or set up again when the title changed or
    // the string's path did; null for a string without a known path. Valid until the next call
    // for the same row.
    virtual PathEffect* EffectFor(const Title& title, int32_t row) = 0;
    virtual StillFrame& Still() = 0;
    // Images of scaled or turned characters by their keys, kept between frames.
    virtual ImageCache& Images() = 0;
    // The threads of the frame's parallel sections, with as many helpers as the frame may use.
    virtual ThreadTeam& Team() = 0;

protected:
    ~FrameStore() = default;
};

}  // namespace qel
