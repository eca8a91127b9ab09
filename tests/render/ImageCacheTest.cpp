// The cache of character images: least recently used entries go first and the budget is never
// exceeded; through a host, turning text draws the same bytes at any budget, and a frame drawn
// a third time finds every character (the second keeps them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "compositor/ImageCache.h"
#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace qel {
namespace {

GlyphKey KeyOf(uint32_t value) {
    GlyphKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.value = value;
    key.valid = 1;
    return key;
}

// Made images with a face of side x side pixels.
std::shared_ptr<const PreparedGlyph> Images(int32_t side) {
    auto g = std::make_shared<PreparedGlyph>();
    g->Face.pixels.reset(new uint8_t[size_t(side) * size_t(side) * 4]());
    g->Face.width = g->Face.height = side;
    g->DirtyBits = 0;
    return g;
}

TEST(ImageCache, DropsLeastRecentlyUsedAndStaysWithinBudget) {
    const uint64_t one = ImageCache::CostOf(*Images(32));
    ImageCache cache;
    cache.SetBudget(3 * one);
    for (uint32_t v : {1u, 2u, 3u}) cache.Add(KeyOf(v), Images(32));
    bool keep = true;
    ASSERT_NE(cache.Find(KeyOf(1), &keep), nullptr);  // 1 is now the most recent: 2 goes next
    cache.Add(KeyOf(4), Images(32));
    struct Case {
        uint32_t value;
        bool held;
    };
    for (const Case& c : {Case{1, true}, Case{2, false}, Case{3, true}, Case{4, true}}) {
        EXPECT_EQ(cache.Find(KeyOf(c.value), &keep) != nullptr, c.held) << c.value;
    }
    EXPECT_LE(cache.Stats().usedBytes, cache.Budget());

    cache.Add(KeyOf(5), Images(128));  // larger than the whole budget: not kept, nothing dropped
    EXPECT_EQ(cache.Find(KeyOf(5), &keep), nullptr);
    EXPECT_EQ(cache.Stats().entries, 3u);

    // An entry a frame still holds lives on after it leaves the cache.
    const std::shared_ptr<const PreparedGlyph> held = cache.Find(KeyOf(3), &keep);
    cache.SetBudget(0);
    EXPECT_EQ(cache.Stats().entries, 0u);
    EXPECT_EQ(cache.Stats().usedBytes, 0u);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->Face.width, 32);
}

TEST(ImageCache, KeepsWhatIsAskedForTheSecondTime) {
    ImageCache cache;
    bool keep = true;
    for (bool expected : {false, true, true}) {
        EXPECT_EQ(cache.Find(KeyOf(7), &keep), nullptr);
        EXPECT_EQ(keep, expected);
    }
    cache.SetBudget(0);
    EXPECT_EQ(cache.Find(KeyOf(7), &keep), nullptr);
    EXPECT_FALSE(keep);  // nothing is worth keeping without a budget
}

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

constexpr int32_t kW = 480, kH = 200;

// Two lines of DejaVu Sans 36 with a border and the default shadow, turning with PATH_SWIRL.
std::unique_ptr<ITitleHost, HostDeleter> TurningTitle() {
    std::unique_ptr<ITitleHost, HostDeleter> host(GetTitleHost());
    RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = kW;
    rs.Height = kH;
    rs.ScaleX = rs.ScaleY = 1;
    rs.ClipRect = {0, 0, kW, kH};
    rs.MaxThreads = 1;
    host->SetRenderSettings(&rs);
    FontSpec font{};
    std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
    font.CharSet = 1;
    font.Size = 36;
    host->SetDefaultFont(&font);
    const MetaBorder border{1, 2, 0x2040A0, 0x2040A0, 0, 255, 0};
    host->SetDefaultBorder(&border);
    const int32_t row = host->AddString();
    host->InsertText(row, 0, u"Tatata turns\r\nand turns");
    PathValue key{};
    std::strcpy(key.PathID, "PATH_SWIRL");
    host->SetKeyFrame(row, 0.0f, &key);
    key.PathProgress = 1;
    host->SetKeyFrame(row, 1.0f, &key);
    return host;
}

const QelCacheV1& Cache() {
    const void* table = QelGetExtension(QEL_CACHE_EXTENSION, QEL_CACHE_VERSION);
    EXPECT_NE(table, nullptr);
    return *static_cast<const QelCacheV1*>(table);
}

QelCacheStats StatsOf(ITitleHost* host) {
    QelCacheStats s{};
    EXPECT_EQ(Cache().GetImageCacheStats(host, &s), S_OK);
    return s;
}

TEST(ImageCache, TurningTextIsTheSameAtAnyBudgetAndFoundWhenDrawnAgain) {
    auto unlimited = TurningTitle(), small = TurningTitle(), none = TurningTitle();
    ASSERT_EQ(Cache().SetImageCacheBudget(none.get(), 0), S_OK);
    constexpr uint64_t kSmall = 96 * 1024;  // a few characters' images
    ASSERT_EQ(Cache().SetImageCacheBudget(small.get(), kSmall), S_OK);
    EXPECT_EQ(StatsOf(unlimited.get()).BudgetBytes, uint64_t{64} << 20);

    std::vector<uint8_t> a(size_t(kW) * kH * 4), b(a.size()), c(a.size());
    std::vector<float> drawn;
    for (float t : {0.3f, 0.55f, 0.3f, 0.8f, 0.55f, 0.3f, 0.55f}) {
        const uint64_t madeBefore = StatsOf(unlimited.get()).Misses;
        std::fill(a.begin(), a.end(), 0x40), std::fill(b.begin(), b.end(), 0x40), std::fill(c.begin(), c.end(), 0x40);
        ASSERT_EQ(unlimited->Render(a.data(), t), S_OK);
        ASSERT_EQ(small->Render(b.data(), t), S_OK);
        ASSERT_EQ(none->Render(c.data(), t), S_OK);
        EXPECT_EQ(a, c) << "time " << t;
        EXPECT_EQ(b, c) << "time " << t;
        EXPECT_LE(StatsOf(small.get()).UsedBytes, kSmall);
        EXPECT_EQ(StatsOf(none.get()).Entries, 0u);
        // A time drawn twice before makes nothing: every turned character is found.
        if (std::count(drawn.begin(), drawn.end(), t) >= 2) {
            EXPECT_EQ(StatsOf(unlimited.get()).Misses, madeBefore) << "time " << t;
        }
        drawn.push_back(t);
    }
    const QelCacheStats s = StatsOf(unlimited.get());
    EXPECT_GT(s.Hits, 0u);
    EXPECT_GT(s.Entries, 0u);
    EXPECT_EQ(Cache().SetImageCacheBudget(nullptr, 1), E_POINTER);
}

}  // namespace
}  // namespace qel
