// The threaded compositor against one thread: the same frame, bit for bit, and the same dirty
// rectangle, for characters at rest, scaled and turned ones, several strings and several passes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "CompositorFixture.h"

namespace qel {
namespace {

using namespace qel::testing;

constexpr int32_t kW = 400, kH = 220;

struct Frame {
    std::vector<uint8_t> pixels;
    RECT dirty{};
};

// Renders the same title at the given times with the given thread limit.
void RenderTitle(int32_t maxThreads, int32_t keepAlpha, const std::vector<float>& times,
                 std::vector<Frame>* frames) {
    HostPtr host = MakeHost(kW, kH);
    host->Renderer().SetProcessorCount(4);  // threaded drawing must not depend on the machine running the test
    ChangeSettings(*host, [&](RenderSettings& rs) {
        rs.MaxThreads = maxThreads;
        rs.KeepAlpha = keepAlpha;
    });
    SetFont(*host, u"DejaVu Sans", 44);
    // A turned string at rest: its images are prepared turned and its positions turned about
    // its origin.
    StringAttrs attrs = host->Engine().DefaultString();
    attrs.RotateDegree = 12;
    host->SetDefaultString(&attrs);
    AddText(*host, u"Still text at rest", 10, 120);
    attrs.RotateDegree = 0;
    host->SetDefaultString(&attrs);
    SetFont(*host, u"Liberation Sans", 52);
    MetaShadow extruded = host->Engine().DefaultShadow();
    extruded.Height = 1;
    extruded.OffsetX = 4;
    extruded.OffsetY = 3;
    host->SetDefaultShadow(&extruded);
    const int32_t moving = AddText(*host, u"Spin & zoom", 20, 20);
    // A path of two drawing passes: the second pass draws every character again, elsewhere.
    std::strcpy(host->Engine().EditString(moving)->PathID, "PATH_DOUBLEVISIONH");
    ASSERT_EQ(EffectCatalog::GetPassCount("PATH_DOUBLEVISIONH"), 2);

    for (float t : times) {
        // Scale and angle change with the time, so every frame makes fresh images.
        InstallEffect(*host, moving, [t](int32_t pass, int32_t i, const CharBox& b) {
            const float phase = t * 6.0f + float(i) * 0.7f + float(pass);
            return CharState{b.x + 3.0f * std::sin(phase), b.y + 2.5f * std::cos(phase),
                             1.0f + 0.4f * std::sin(phase), 1.0f + 0.3f * std::cos(phase),
                             25.0f * std::sin(phase * 1.3f), uint8_t(150 + 100 * (i % 2))};
        });
        Frame f;
        f.pixels = Background(kW, kH, keepAlpha ? 120 : 255);
        EXPECT_EQ(host->Render(f.pixels.data(), t), S_OK);
        host->GetDirtyRect(&f.dirty);
        frames->push_back(std::move(f));
    }
}

TEST(ThreadedRender, MatchesOneThreadBitForBit) {
    const std::vector<float> times = {0.0f, 0.37f, 1.0f};
    for (int32_t keepAlpha : {0, 1}) {
        std::vector<Frame> one;
        RenderTitle(1, keepAlpha, times, &one);
        ASSERT_EQ(one.size(), times.size());
        for (int32_t threads : {2, 3}) {
            std::vector<Frame> many;
            RenderTitle(threads, keepAlpha, times, &many);
            ASSERT_EQ(many.size(), times.size());
            for (size_t k = 0; k < times.size(); ++k) {
                SCOPED_TRACE(::testing::Message() << threads << " threads, keepAlpha " << keepAlpha
                                                  << ", time " << times[k]);
                EXPECT_EQ(std::memcmp(&one[k].dirty, &many[k].dirty, sizeof(RECT)), 0);
                EXPECT_TRUE(one[k].pixels == many[k].pixels);
            }
        }
    }
}

TEST(ThreadedRender, PreparesEditedCharactersLikeOneThread) {
    std::vector<uint8_t> frames[2];
    for (int32_t threads : {1, 2}) {
        HostPtr host = MakeHost(kW, kH);
        host->Renderer().SetProcessorCount(2);
        ChangeSettings(*host, [&](RenderSettings& rs) { rs.MaxThreads = threads; });
        SetFont(*host, u"DejaVu Serif", 36);
        const int32_t row = AddText(*host, u"Edited", 15, 15);
        std::vector<uint8_t> scratch = Background(kW, kH);
        ASSERT_EQ(host->Render(scratch.data(), 1.0f), S_OK);
        // An edit flags characters again; the next frame rebuilds them on the pool.
        host->InsertText(row, 3, u"-and-more-");
        frames[threads - 1] = Background(kW, kH);
        ASSERT_EQ(host->Render(frames[threads - 1].data(), 1.0f), S_OK);
    }
    EXPECT_TRUE(frames[0] == frames[1]);
}


// A wide title that moves and shrinks over many frames: the per-pixel work (clearing the last
// frame's rectangle, joining, blending) is split into row bands, every frame runs many parallel
// sections with the same helpers, and a frame whose title has moved must leave nothing behind.
TEST(ThreadedRender, MovingWideTitleMatchesOneThreadOverManyFrames) {
    constexpr int32_t kWide = 960, kTall = 320;
    auto render = [&](int32_t maxThreads) {
        HostPtr host = MakeHost(kWide, kTall);
        host->Renderer().SetProcessorCount(4);
        ChangeSettings(*host, [&](RenderSettings& rs) { rs.MaxThreads = maxThreads; });
        SetFont(*host, u"DejaVu Sans", 80);
        MetaShadow shadow = host->Engine().DefaultShadow();
        shadow.OffsetX = shadow.OffsetY = 4;
        shadow.BlurRadius = 2;
        host->SetDefaultShadow(&shadow);
        const int32_t row = AddText(*host, u"Moving wide title", 20, 40);
        std::vector<Frame> frames;
        for (int32_t k = 0; k < 10; ++k) {
            // Large in the first frames, then smaller and lower: the dirty rectangle moves.
            const float grow = k < 5 ? 1.3f : 0.7f, drop = float(k) * 12.0f;
            InstallEffect(*host, row, [k, grow, drop](int32_t, int32_t i, const CharBox& b) {
                const float phase = float(k) * 0.9f + float(i) * 0.5f;
                return CharState{b.x, b.y + drop, grow, grow + 0.1f * std::sin(phase), 8.0f * std::cos(phase), 255};
            });
            Frame f;
            f.pixels = Background(kWide, kTall);
            EXPECT_EQ(host->Render(f.pixels.data(), 0.5f), S_OK);
            host->GetDirtyRect(&f.dirty);
            frames.push_back(std::move(f));
        }
        return frames;
    };
    const std::vector<Frame> one = render(1);
    for (int32_t threads : {2, 4}) {
        const std::vector<Frame> many = render(threads);
        ASSERT_EQ(many.size(), one.size());
        for (size_t k = 0; k < one.size(); ++k) {
            SCOPED_TRACE(::testing::Message() << threads << " threads, frame " << k);
            EXPECT_EQ(std::memcmp(&one[k].dirty, &many[k].dirty, sizeof(RECT)), 0);
            EXPECT_TRUE(one[k].pixels == many[k].pixels);
        }
    }
}

}  // namespace
}  // namespace qel
