// The character image cache: a map from key bytes to entries kept in order of use.
#include "compositor/ImageCache.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace qel {

uint64_t ImageCache::CostOf(const PreparedGlyph& images) {
    uint64_t bytes = sizeof(Entry) + 64;  // the record, its list node and map slot, roughly
    for (const LayerImage* image : {&images.Face, &images.Border, &images.Shadow}) {
        if (image->pixels) bytes += uint64_t(image->width) * uint64_t(image->height) * 4;
    }
    return bytes;
}

std::shared_ptr<const PreparedGlyph> ImageCache::Find(const GlyphKey& key, bool* keep) {
    const std::string_view bytes = BytesOf(key);
    const auto at = byKey_.find(bytes);
    if (at == byKey_.end()) {
        ++misses_;
        if (!recentMisses_) recentMisses_.reset(new uint64_t[kRecentMisses]());
        const uint64_t hash = std::hash<std::string_view>{}(bytes) | 1;  // 0 marks an empty slot
        // Four ways per set, most recent first: keys that meet in a set do not push each other
        // out before they come back.
        uint64_t* set = &recentMisses_[(hash % (kRecentMisses / kWays)) * kWays];
        const bool seen = std::find(set, set + kWays, hash) != set + kWays;
        if (!seen) {
            std::copy_backward(set, set + kWays - 1, set + kWays);
            set[0] = hash;
        }
        *keep = seen && budget_ > 0;
        return nullptr;
    }
    *keep = false;
    ++hits_;
    order_.splice(order_.begin(), order_, at->second);  // iterators and key views stay valid
    return at->second->images;
}

void ImageCache::Add(const GlyphKey& key, std::shared_ptr<const PreparedGlyph> images) {
    if (!images || images->DirtyBits != 0 || byKey_.count(BytesOf(key)) != 0) return;
    const uint64_t cost = CostOf(*images);
    if (cost > budget_) return;
    Trim(budget_ - cost);
    order_.push_front(Entry{key, std::move(images), cost});
    try {
        byKey_.emplace(BytesOf(order_.front().key), order_.begin());
    } catch (...) {
        order_.pop_front();
        throw;
    }
    used_ += cost;
}

void ImageCache::Trim(uint64_t budget) {
    while (used_ > budget && !order_.empty()) {
        const Entry& last = order_.back();
        byKey_.erase(BytesOf(last.key));
        used_ -= last.cost;
        order_.pop_back();
    }
}

void ImageCache::SetBudget(uint64_t bytes) {
    budget_ = bytes;
    Trim(budget_);
}

ImageCacheStats ImageCache::Stats() const {
    return ImageCacheStats{budget_, used_, uint64_t(order_.size()), hits_, misses_};
}

void ImageCache::Clear() {
    byKey_.clear();
    order_.clear();
    used_ = hits_ = misses_ = 0;
    recentMisses_.reset();
}

}  // namespace qel
