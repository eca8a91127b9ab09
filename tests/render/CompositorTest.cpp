// Render and ReleaseCaches with real fonts: what reaches the host's frame, the dirty rectangle,
// the still-frame cache, the effect protocol and bad effect answers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <typeindex>

#include "CompositorFixture.h"
#include "render/OutlineKernel.h"

namespace qel {
namespace {

using namespace qel::testing;

constexpr int32_t kW = 320, kH = 160;

HostPtr SampleTitle() {
    HostPtr host = MakeHost(kW, kH);
    SetFont(*host, u"DejaVu Sans", 48);
    AddText(*host, u"Ag!", 20, 30);
    return host;
}

TEST(Render, NullPixelsAndEmptyClipDrawNothing) {
    HostPtr host = SampleTitle();
    EXPECT_EQ(host->Render(nullptr, 1.0f), E_INVALIDARG);
    RECT dirty{1, 1, 1, 1};
    host->GetDirtyRect(&dirty);
    EXPECT_EQ(dirty.right - dirty.left, 0);

    ChangeSettings(*host, [](RenderSettings& rs) { rs.ClipRect = {kW + 10, 0, kW + 50, kH}; });
    std::vector<uint8_t> frame = Background(kW, kH);
    const std::vector<uint8_t> before = frame;
    EXPECT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    EXPECT_EQ(frame, before);
    host->GetDirtyRect(&dirty);
    EXPECT_TRUE(dirty.left >= dirty.right || dirty.top >= dirty.bottom);
}

TEST(Render, OpaqueGlyphsAndUntouchedPixelsOutsideTheDirtyRectangle) {
    HostPtr host = SampleTitle();
    // A translucent background shows whether the title forces alpha 255 where it draws.
    std::vector<uint8_t> frame = Background(kW, kH, 40);
    const std::vector<uint8_t> before = frame;
    ASSERT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    RECT dirty{};
    host->GetDirtyRect(&dirty);
    ASSERT_LT(dirty.left, dirty.right);
    int changed = 0;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            const size_t at = (size_t(y) * kW + x) * 4;
            const bool same = std::memcmp(&frame[at], &before[at], 4) == 0;
            if (!Inside(dirty, x, y)) {
                ASSERT_TRUE(same) << x << "," << y;
            } else if (!same) {
                ++changed;
                ASSERT_EQ(frame[at + 3], 255) << x << "," << y;
            }
        }
    EXPECT_GT(changed, 500);
    // The glyphs start near the string's position, not at the frame's corner.
    EXPECT_GE(dirty.left, 10);
    EXPECT_GE(dirty.top, 20);
}

struct CacheCase {
    int strings;
    int32_t keepAlpha;
    int32_t smoothing;
    const char* firstPath = nullptr;  // a path for the first string instead of the default
};

TEST(Render, CachedFrameEqualsTheDrawnFrameBitForBit) {
    const CacheCase cases[] = {{1, 0, 0},
                                 {2, 0, 0},
                                 {3, 0, 0},
                                 {3, 1, 0},
                                 {2, 0, 1},
                                 {3, 1, 1},
                                 {2, 0, 0, "PATH_GLOW"},  // a whole-image path at rest
                                 {2, 1, 1, "PATH_GLOW"}};
    for (const CacheCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.strings << " strings, keepAlpha " << c.keepAlpha
                                          << ", smoothing " << c.smoothing << ", path "
                                          << (c.firstPath ? c.firstPath : "default"));
        HostPtr host = MakeHost(kW, kH);
        ChangeSettings(*host, [&](RenderSettings& rs) {
            rs.KeepAlpha = c.keepAlpha;
            rs.Smoothing = c.smoothing;
        });
        // Overlapping strings in different colours and opacities.
        const uint32_t colours[3] = {0x0000FFFF, 0x00FF8000, 0x0040C040};
        for (int k = 0; k < c.strings; ++k) {
            SetFont(*host, k == 1 ? u"Liberation Serif" : u"DejaVu Sans", 40.0f + 8.0f * k);
            MetaFace face = host->Engine().DefaultFace();
            face.Color1 = colours[k];
            face.Color2 = colours[(k + 1) % 3];
            face.GradType = k;
            face.Alpha = 255 - 60 * k;
            host->SetDefaultFace(&face);
            AddText(*host, u"Wave", 10.0f + 25.0f * k, 20.0f + 18.0f * k);
        }
        if (c.firstPath) {
            PathValue v{};
            std::strcpy(v.PathID, c.firstPath);
            v.PathProgress = 1;
            ASSERT_EQ(host->SetKeyFrame(0, 0.0f, &v), S_OK);
            ASSERT_EQ(host->SetKeyFrame(0, 1.0f, &v), S_OK);
        }
        const std::vector<uint8_t> background = Background(kW, kH, c.keepAlpha ? 90 : 255);

        std::vector<uint8_t> drawn = background;
        ASSERT_EQ(host->Render(drawn.data(), 1.0f), S_OK);
        ASSERT_TRUE(host->Renderer().HoldsStillFrame(host->Engine()));
        EXPECT_FALSE(drawn == background);
        RECT drawnRect{};
        host->GetDirtyRect(&drawnRect);

        // Drawn again without the cache: the same picture (and the cache is filled again).
        host->Renderer().DropStillFrame();
        std::vector<uint8_t> again = background;
        ASSERT_EQ(host->Render(again.data(), 1.0f), S_OK);
        EXPECT_TRUE(again == drawn);

        // Take the character images away: only a frame served from the cache can still show them.
        for (PreparedGlyph& g : host->Renderer().StateOf(0)->atRest.glyphs) g.FreeImages();
        std::vector<uint8_t> cached = background;
        ASSERT_EQ(host->Render(cached.data(), 1.0f), S_OK);
        RECT cachedRect{};
        host->GetDirtyRect(&cachedRect);
        EXPECT_EQ(std::memcmp(&drawnRect, &cachedRect, sizeof(RECT)), 0);
        EXPECT_TRUE(cached == drawn);
    }
}

TEST(Render, LumaChromaWhiteIsCrCbY) {
    HostPtr host = MakeHost(kW, kH);
    ChangeSettings(*host, [](RenderSettings& rs) { rs.ColorMode = 1; });
    SetFont(*host, u"DejaVu Sans", 72);
    MetaShadow noShadow = host->Engine().DefaultShadow();
    noShadow.EnableFace = noShadow.EnableBorder = 0;
    host->SetDefaultShadow(&noShadow);
    MetaBorder noBorder = host->Engine().DefaultBorder();
    noBorder.Enable = 0;
    host->SetDefaultBorder(&noBorder);
    AddText(*host, u"IH", 20, 20);

    std::vector<uint8_t> frame(size_t(kW) * kH * 4, 0);
    for (size_t i = 3; i < frame.size(); i += 4) frame[i] = 255;
    ASSERT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    int white = 0;
    for (size_t i = 0; i < frame.size(); i += 4) {
        if (frame[i] == 128 && frame[i + 1] == 128 && frame[i + 2] == 235) ++white;
        ASSERT_LE(frame[i + 2], 235);
    }
    EXPECT_GT(white, 300);
}

TEST(Render, BreakPairIsNeitherAskedNorDrawn) {
    HostPtr host = MakeHost(kW, kH);
    SetFont(*host, u"DejaVu Sans", 40);
    const int32_t row = AddText(*host, u"A\r\nB\rC", 20, 10);
    // Every character at one spot, so a drawn break would widen nothing but show as a glyph box.
    ScriptedEffect* effect = InstallEffect(*host, row, [](int32_t, int32_t i, const CharBox& b) {
        return CharState{b.x, b.y, 1, 1, 0, uint8_t(i == 3 ? 0 : 255)};
    });
    std::vector<uint8_t> frame = Background(kW, kH);
    ASSERT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    // 1 (CR) and 2 (LF) form a pair; 4 is a lone CR and is asked like any character.
    EXPECT_EQ(effect->asked, (std::vector<int32_t>{0, 3, 4, 5}));

    HostPtr only = MakeHost(kW, kH);
    SetFont(*only, u"DejaVu Sans", 40);
    AddText(*only, u"\r\n", 20, 10);
    std::vector<uint8_t> blank = Background(kW, kH);
    const std::vector<uint8_t> before = blank;
    ASSERT_EQ(only->Render(blank.data(), 1.0f), S_OK);
    RECT dirty{};
    only->GetDirtyRect(&dirty);
    EXPECT_TRUE(dirty.left >= dirty.right || dirty.top >= dirty.bottom);
    EXPECT_EQ(blank, before);
}

TEST(Render, EffectSurvivesProgressAndIsReplacedOnANewPath) {
    HostPtr host = MakeHost(kW, kH);
    SetFont(*host, u"DejaVu Sans", 40);
    const int32_t row = AddText(*host, u"Go", 20, 10);
    PathValue slide{};
    std::strcpy(slide.PathID, "PATH_SLIDEUP");
    slide.PathProgress = 0;
    ASSERT_EQ(host->SetKeyFrame(row, 0.0f, &slide), S_OK);
    slide.PathProgress = 1;
    ASSERT_EQ(host->SetKeyFrame(row, 0.5f, &slide), S_OK);
    PathValue wipe{};
    std::strcpy(wipe.PathID, "PATH_WIPEUP");
    wipe.PathProgress = 1;
    ASSERT_EQ(host->SetKeyFrame(row, 1.0f, &wipe), S_OK);

    std::vector<uint8_t> frame = Background(kW, kH);
    ASSERT_EQ(host->Render(frame.data(), 0.1f), S_OK);
    const PathEffect* first = host->Renderer().StateOf(row)->effect.Get();
    ASSERT_NE(first, nullptr);
    const std::type_index firstType = typeid(*first);
    ASSERT_EQ(host->Render(frame.data(), 0.3f), S_OK);
    EXPECT_EQ(host->Renderer().StateOf(row)->effect.Get(), first);
    ASSERT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    EXPECT_EQ(std::string(host->Engine().StringAt(row)->PathID), "PATH_WIPEUP");
    // A new object of the new path's class (the allocator may well reuse the old address).
    const StringRender& state = *host->Renderer().StateOf(row);
    ASSERT_NE(state.effect.Get(), nullptr);
    const auto& effect = *state.effect.Get();
    EXPECT_NE(std::type_index(typeid(effect)), firstType);
    EXPECT_STREQ(state.effect.PathId(), "PATH_WIPEUP");
}

TEST(Render, StringWithoutAPathAtThisTimeIsNotDrawn) {
    HostPtr host = MakeHost(kW, kH);
    SetFont(*host, u"DejaVu Sans", 40);
    const int32_t row = AddText(*host, u"Later", 20, 10);
    PathValue v{};
    std::strcpy(v.PathID, "PATH_NOEFFECT");
    ASSERT_EQ(host->SetKeyFrame(row, 0.5f, &v), S_OK);
    ASSERT_EQ(host->SetKeyFrame(row, 0.8f, &v), S_OK);

    std::vector<uint8_t> frame = Background(kW, kH);
    ASSERT_EQ(host->Render(frame.data(), 0.6f), S_OK);
    RECT dirty{};
    host->GetDirtyRect(&dirty);
    ASSERT_LT(dirty.left, dirty.right);

    // Before its first key frame the string has no path: nothing of it, not even last frame's
    // image still lying in its layers, reaches the frame.
    std::vector<uint8_t> blank = Background(kW, kH);
    const std::vector<uint8_t> before = blank;
    ASSERT_EQ(host->Render(blank.data(), 0.2f), S_OK);
    EXPECT_EQ(host->Engine().EditString(row)->PathID[0], 0);
    host->GetDirtyRect(&dirty);
    EXPECT_TRUE(dirty.left >= dirty.right || dirty.top >= dirty.bottom);
    EXPECT_TRUE(blank == before);
}

TEST(Render, BadEffectAnswersDrawNothingForThatCharacter) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Characters 0-5 get a bad answer each; 6 is drawn normally.
    auto bad = [&](int32_t, int32_t i, const CharBox& b) {
        CharState st{b.x, b.y, 1, 1, 0, 255};
        switch (i) {
            case 0: st.x = nan; break;
            case 1: st.scaleX = inf; break;
            case 2: st.scaleY = 1e30f; break;  // an image size that would overflow
            case 3: st.angle = nan; break;
            case 4: st.y = 3e38f; break;      // far outside any frame
            case 5: st.scaleX = -2; break;    // not a size
            default: break;
        }
        return st;
    };
    auto onlyLast = [](int32_t, int32_t i, const CharBox& b) {
        return CharState{b.x, b.y, 1, 1, 0, uint8_t(i == 6 ? 255 : 0)};
    };
    std::vector<uint8_t> frames[2];
    RECT rects[2];
    int k = 0;
    for (const ScriptedEffect::Script& script : {ScriptedEffect::Script(bad), ScriptedEffect::Script(onlyLast)}) {
        HostPtr host = MakeHost(kW, kH);
        SetFont(*host, u"DejaVu Sans", 40);
        const int32_t row = AddText(*host, u"abcdefg", 10, 10);
        InstallEffect(*host, row, script);
        frames[k] = Background(kW, kH);
        ASSERT_EQ(host->Render(frames[k].data(), 1.0f), S_OK);
        host->GetDirtyRect(&rects[k]);
        ++k;
    }
    EXPECT_TRUE(frames[0] == frames[1]);
    EXPECT_EQ(std::memcmp(&rects[0], &rects[1], sizeof(RECT)), 0);
}

TEST(Render, HugeScaleOfALargeFontIsRefusedWithoutOverflow) {
    HostPtr host = MakeHost(kW, kH);
    ChangeSettings(*host, [](RenderSettings& rs) { rs.ScaleX = rs.ScaleY = 10.0f; });
    SetFont(*host, u"DejaVu Sans", 1638);
    AddText(*host, u"W", 0, 0);
    std::vector<uint8_t> frame = Background(kW, kH);
    const std::vector<uint8_t> before = frame;
    EXPECT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    // The character's images would exceed the size limits: it is drawn as nothing.
    const PreparedGlyph& glyph = host->Renderer().StateOf(0)->atRest.glyphs[0];
    EXPECT_TRUE(!glyph.Face.pixels && !glyph.Border.pixels && !glyph.Shadow.pixels);
    EXPECT_TRUE(frame == before);
}

// A frame changes nothing in the title but each string's path and progress, as SetTime sets them:
// the drawn title saves as the same title moved to that time, and its revision stays.
TEST(Render, DrawingChangesOnlyPathAndProgress) {
    auto saved = [](TitleHost& host) {
        uint32_t size = 0;
        EXPECT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
        std::u16string text(size / sizeof(char16_t), u'\0');
        EXPECT_EQ(host.SaveTitleToBuffer(text.data(), &size), S_OK);
        const std::string narrow(text.begin(), text.end());  // the dates are ASCII
        return std::regex_replace(narrow, std::regex("(CreateDate|LastModified)=\"[^\"]*\""), "");
    };
    HostPtr drawn = SampleTitle(), timed = SampleTitle();
    PathValue fade{};
    std::strcpy(fade.PathID, "PATH_FADE");
    for (TitleHost* host : {drawn.get(), timed.get()}) {
        ASSERT_EQ(host->SetKeyFrame(0, 0.0f, &fade), S_OK);
        fade.PathProgress = 1.0f;
        ASSERT_EQ(host->SetKeyFrame(0, 1.0f, &fade), S_OK);
        fade.PathProgress = 0.0f;
    }
    const uint64_t revision = drawn->Engine().Revision();
    std::vector<uint8_t> frame = Background(kW, kH);
    ASSERT_EQ(drawn->Render(frame.data(), 0.25f), S_OK);
    ASSERT_EQ(timed->SetTime(0, 0.25f), S_OK);
    EXPECT_EQ(drawn->Engine().Revision(), revision);
    EXPECT_EQ(saved(*drawn), saved(*timed));
}

TEST(Render, FramesTooLargeToIndexFailCleanly) {
    HostPtr host = SampleTitle();
    ChangeSettings(*host, [](RenderSettings& rs) {
        rs.Width = 60000;
        rs.Height = 60000;
        rs.ClipRect = {0, 0, 60000, 60000};
    });
    uint8_t pixel[4] = {};
    EXPECT_EQ(host->Render(pixel, 1.0f), E_OUTOFMEMORY);
    const StringRender* state = host->Renderer().StateOf(0);
    EXPECT_TRUE(!state || !state->layers.memory);
}

// A string's layers cover only what it draws, so they move, grow, shrink and empty as the string
// does. Each frame of a long-lived host must equal the same answers drawn by a fresh host (whose
// layers are new), pixel for pixel and in the dirty rectangle: stale pixels left by a move, or a
// rectangle clipped by a layer that did not grow, would show here.
struct ExtentCase {
    const char* name;
    int32_t maxThreads;
    int32_t smoothing;
    // Where character i is on frame f: a layout box offset, or alpha 0 to hide it.
    CharState (*at)(int32_t frame, int32_t i, const CharBox& b);
};

TEST(Render, LayersFollowTheDrawnExtentFrameAfterFrame) {
    const ExtentCase cases[] = {
        {"moves right and down", 1, 0,
         [](int32_t f, int32_t, const CharBox& b) { return CharState{b.x + 37.5f * f, b.y + 9.25f * f, 1, 1, 0, 255}; }},
        {"grows then shrinks", 2, 0,
         [](int32_t f, int32_t, const CharBox& b) {
             const float k = 1.0f + 0.6f * float(f < 3 ? f : 6 - f);
             return CharState{b.x, b.y, k, k, 0, 255};
         }},
        {"vanishes and comes back elsewhere", 1, 1,
         [](int32_t f, int32_t i, const CharBox& b) {
             return CharState{b.x + (f > 3 ? 150.0f : 0.0f), b.y, 1, 1, 0, uint8_t(f == 2 || f == 3 || (f == 1 && i) ? 0 : 255)};
         }},
        {"scattered, turning, with gaps between them", 2, 0,
         [](int32_t f, int32_t i, const CharBox& b) {
             return CharState{b.x + 70.0f * float(i * (f % 3)), b.y + 45.0f * float((i % 3) * f), 1, 1,
                              23.0f * float(f) + 40.0f * float(i), 255};
         }},
        {"partly off the frame", 2, 1,
         [](int32_t f, int32_t i, const CharBox& b) { return CharState{b.x - 60.0f * f, b.y - 25.0f * f, 1, 1, 30.0f * i, 200}; }},
    };
    for (const ExtentCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto makeHost = [&c](int32_t* frameNumber) {
            HostPtr host = SampleTitle();
            host->Renderer().SetProcessorCount(2);
            ChangeSettings(*host, [&c](RenderSettings& rs) {
                rs.MaxThreads = c.maxThreads;
                rs.Smoothing = c.smoothing;
            });
            InstallEffect(*host, 0, [&c, frameNumber](int32_t, int32_t i, const CharBox& b) { return c.at(*frameNumber, i, b); });
            return host;
        };
        int32_t frameNumber = 0;
        HostPtr kept = makeHost(&frameNumber);
        for (frameNumber = 0; frameNumber < 7; ++frameNumber) {
            std::vector<uint8_t> drawn = Background(kW, kH);
            std::vector<uint8_t> fresh = drawn;
            kept->Renderer().DropStillFrame();  // the answers change while the title does not
            ASSERT_EQ(kept->Render(drawn.data(), 0.5f), S_OK);
            HostPtr once = makeHost(&frameNumber);
            ASSERT_EQ(once->Render(fresh.data(), 0.5f), S_OK);
            RECT a{}, b{};
            kept->GetDirtyRect(&a);
            once->GetDirtyRect(&b);
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "frame " << frameNumber;
            EXPECT_TRUE(drawn == fresh) << "frame " << frameNumber;
        }
    }
}

TEST(Render, CharactersAtRestKeepTheirPreparedImages) {
    HostPtr host = SampleTitle();
    std::vector<uint8_t> frame = Background(kW, kH);
    ASSERT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    const PreparedGlyph& glyph = host->Renderer().StateOf(0)->atRest.glyphs[0];
    const uint8_t* face = glyph.Face.pixels.get();
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(glyph.DirtyBits, 0);
    host->Renderer().DropStillFrame();
    ASSERT_EQ(host->Render(frame.data(), 1.0f), S_OK);
    EXPECT_EQ(host->Renderer().StateOf(0)->atRest.glyphs[0].Face.pixels.get(), face);
}

TEST(ReleaseCaches, FreesEverythingAndTheNextFrameIsTheSame) {
    HostPtr host = SampleTitle();
    std::vector<uint8_t> first = Background(kW, kH);
    ASSERT_EQ(host->Render(first.data(), 1.0f), S_OK);
    OutlineKernelRef kernel;
    ASSERT_EQ(GetOutlineKernel(3.0f, 3.0f, &kernel), S_OK);

    EXPECT_EQ(host->ReleaseCaches(), 0);
    EXPECT_EQ(host->Renderer().StateOf(0), nullptr);  // images, layers and effect are gone
    EXPECT_FALSE(host->Renderer().HoldsStillFrame(host->Engine()));
    EXPECT_EQ(OutlineKernelCache::Instance().Count(), 0u);

    std::vector<uint8_t> second = Background(kW, kH);
    ASSERT_EQ(host->Render(second.data(), 1.0f), S_OK);
    EXPECT_TRUE(first == second);
}

}  // namespace
}  // namespace qel
