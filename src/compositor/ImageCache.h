// The compositor's cache of character images: a character's face, border and shadow images by
// the key they were made from, so that a character drawn again with the same key (the same
// letter at the same scale and angle in another string, pass or frame) is made once.
//
// The key is the only input of the images (glyph/GlyphCache.h), so an entry never goes stale:
// it only ages. Entries are reference counted: a frame holds the images it draws, and an entry
// dropped from the cache meanwhile lives until that frame lets go. The cache holds at most its
// budget of images (their pixels and records); past it, the entries used longest ago go first,
// and a set of images larger than the whole budget is drawn but not kept.
//
// Images are kept from the second time their key is asked for. Most moved characters never come
// back (a turning character meets a new angle in every frame), and keeping each of them until
// the budget pushed it out made such a frame 10 to 15 % slower than freeing its images at once
// (their memory goes cold and the heap grows); a key that was asked for before (a frame drawn
// again, a held scale, text that steps through the same angles) is kept from then on.
//
// Keys are exact: equal scales and angles as the effect computed them, to the bit. Rounding them
// would let nearby angles share images (a changed picture), and pays little: a character turning
// through a frame sequence meets a new angle in nearly every frame, and one kept per tenth of a
// degree would need thousands of images per letter before the first one came back.
//
// Not thread-safe: the compositor looks up and adds on its calling thread, and only the making
// of missing images is shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "glyph/GlyphCache.h"

namespace qel {

struct ImageCacheStats {
    uint64_t budgetBytes = 0;
    uint64_t usedBytes = 0;  // the images and records the cache holds
    uint64_t entries = 0;
    uint64_t hits = 0;       // lookups answered since the cache was made or cleared
    uint64_t misses = 0;
};

class ImageCache {
public:
    static constexpr uint64_t kDefaultBudget = uint64_t{64} << 20;

    ImageCache() = default;
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // The images made from key, or null; a hit makes the entry the most recently used. On a
    // miss *keep tells whether images made for the key are worth adding: it was asked for before.
    std::shared_ptr<const PreparedGlyph> Find(const GlyphKey& key, bool* keep);
    // Keeps images made from key (completely, DirtyBits 0), evicting the least recently used
    // entries to stay within the budget. Images larger than the budget are not kept. May throw
    // std::bad_alloc (nothing is then kept).
    void Add(const GlyphKey& key, std::shared_ptr<const PreparedGlyph> images);

    // Bytes of images the cache may hold; entries beyond it go at once. 0 keeps nothing.
    void SetBudget(uint64_t bytes);
    uint64_t Budget() const { return budget_; }
    ImageCacheStats Stats() const;
    void Clear();

    // What an entry of these images counts against the budget.
    static uint64_t CostOf(const PreparedGlyph& images);

private:
    struct Entry {
        GlyphKey key;
        std::shared_ptr<const PreparedGlyph> images;
        uint64_t cost = 0;
    };
    using Order = std::list<Entry>;  // most recently used first

    static std::string_view BytesOf(const GlyphKey& key) {
        return {reinterpret_cast<const char*>(&key), sizeof key};
    }
    void Trim(uint64_t budget);

    // Keys missed lately, by a hash of their bytes, in sets of kWays that the hash chooses.
    static constexpr size_t kRecentMisses = 4096, kWays = 4;
    std::unique_ptr<uint64_t[]> recentMisses_;

    Order order_;
    std::unordered_map<std::string_view, Order::iterator> byKey_;  // views into the entries' keys
    uint64_t budget_ = kDefaultBudget;
    uint64_t used_ = 0;
    uint64_t hits_ = 0, misses_ = 0;
};

}  // namespace qel
