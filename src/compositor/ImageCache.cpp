// The character image cache: a map from key bytes to entries kept in order of use.
#include "compositor/ImageCache.h"

#include <utility>

namespace qel {

uint64_t ImageCache::CostOf(const PreparedGlyph& images) {
    uint64_t bytes = sizeof(Entry) + 64;  // the record, its list node and map slot, roughly
    for (const LayerImage* image : {&images.Face, &images.Border, &images.Shadow}) {
        if (image->pixels) bytes += uint64_t(image->width) * uint64_t(image->height) * 4;
    }
    return bytes;
}

std::shared_ptr<const PreparedGlyph> ImageCache::Find(const GlyphKey& key) {
    const auto at = byKey_.find(BytesOf(key));
    if (at == byKey_.end()) {
        ++misses_;
        return nullptr;
    }
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
}

}  // namespace qel
