// Many titles at once, as an editor that renders several title clips on several threads uses the
// library: eight TitleHosts, each with its own title (fonts, faces, borders, shadows, direction,
// effects), edited between frames and rendered over a sequence, run on eight threads at once
// must draw exactly what the same work draws one host after another. Only the public interface
// is used. The frames are small so that the test also runs under ThreadSanitizer (`make tsan`),
// which is where a race between hosts (a process-wide cache, the font libraries, per-thread
// state) shows up even when the pictures happen to agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <latch>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qel {
namespace {

constexpr int32_t kHosts = 8;
constexpr int32_t kFrames = 24;
constexpr int32_t kWidth = 240, kHeight = 136;  // frame pixels
constexpr float kScale = 0.25f;                 // frame pixels per layout unit

struct Release {
    void operator()(ITitleHost* host) const { ReleaseTitleHost(host); }
};
using HostPtr = std::unique_ptr<ITitleHost, Release>;

// One host's title and how it is edited while it plays.
struct Recipe {
    const char16_t* font;
    float size;  // layout units
    int32_t bold;
    uint32_t italic;
    const char16_t* text;  // may hold characters the font lacks (linked from another face)
    MetaFace face;
    MetaBorder border;
    MetaShadow shadow;
    int32_t vertical;
    float rotate;            // degrees
    const char* pathIn;      // key frames: in over 0..0.4, at rest, out over 0.6..1
    const char* pathOut;
    const char16_t* second;  // a second font applied to the first characters
    int32_t maxThreads;      // the host's own drawing threads
};

// Colours are 0x00BBGGRR.
const Recipe kRecipes[kHosts] = {
    {u"DejaVu Sans", 150, 0, 0, u"Hello, titles", {1, 0x0030C0FF, 0x000040FF, 1, 255, 0},
     {1, 4, 0x00200000, 0x00200000, 0, 255, 0}, {1, 1, 0x00000000, 0x00000000, 0, 160, 2, 8, 8, 0}, 0, 0,
     "PATH_SLIDEUP", "PATH_FADE", u"DejaVu Serif", 1},
    {u"DejaVu Serif", 130, 1, 0, u"Bold serif\r\nsecond line", {1, 0x00FFFFFF, 0x00808080, 3, 230, 0},
     {1, 6, 0x000000FF, 0x0000FFFF, 2, 255, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 12,
     "PATH_WIPELEFT", "PATH_WIPERIGHT", u"DejaVu Sans", 2},
    {u"Liberation Sans", 140, 0, 1, u"Linked \u6F22\u5B57 text", {1, 0x0000FF00, 0x00FF0000, 5, 255, 1},
     {0, 0, 0, 0, 0, 0, 0}, {1, 0, 0x00404040, 0x00404040, 0, 200, 0, 6, -4, 1}, 0, 0,
     "PATH_AMPLIFYH", "PATH_SLIDELEFT", u"Liberation Serif", 1},
    {u"DejaVu Sans", 120, 0, 0, u"Vertical", {1, 0x00E0E0E0, 0x00E0E0E0, 0, 255, 0},
     {1, 3, 0x00000000, 0x00000000, 0, 255, 0}, {1, 1, 0x00101010, 0x00303030, 4, 128, 3, 5, 5, 0}, 1, 0,
     "PATH_SLIDEDOWN", "PATH_HIDEUP", u"DejaVu Sans Mono", 2},
    {u"Droid Sans Fallback", 130, 0, 0, u"\u7E26\u66F8\u304D\u306E\u5B57\u5E55", {1, 0x0000C0C0, 0x00C000C0, 7, 255, 0},
     {1, 5, 0x00FFFFFF, 0x00000000, 4, 220, 0}, {1, 1, 0x00000000, 0x00000000, 0, 255, 0, 4, 6, 1}, 1, 8,
     "PATH_FADE", "PATH_WIPEDOWN", u"DejaVu Sans", 1},
    {u"Liberation Mono", 110, 1, 1, u"mono 0123\r\n4567 end", {1, 0x00A0FFA0, 0x00205020, 2, 180, 2},
     {1, 2, 0x00FF00FF, 0x0000FF00, 6, 255, 0}, {1, 0, 0x00000040, 0x00000040, 0, 255, 4, -6, 7, 0}, 0, -20,
     "PATH_SOLOLEFT", "PATH_TRANCEUP", u"Liberation Sans", 2},
    {u"Liberation Serif", 160, 0, 0, u"Rotated & blurred", {1, 0x00FFFF00, 0x00FF00FF, 4, 255, 3},
     {1, 8, 0x00400040, 0x00004040, 1, 160, 2}, {1, 1, 0x00202020, 0x00000000, 3, 255, 5, 10, 10, 0}, 0, 30,
     "PATH_ASSEMBLY", "PATH_AMPLIFYV", u"DejaVu Sans", 2},
    {u"DejaVu Sans Mono", 100, 0, 0, u"Many words in a narrow box", {1, 0x000080FF, 0x00FF8000, 6, 255, 0},
     {1, 3, 0x00000000, 0x00FFFFFF, 3, 255, 0}, {1, 1, 0x00000000, 0x00000000, 0, 255, 1, 3, 3, 1}, 0, -5,
     "PATH_TRANCELEFT", "PATH_SOLODOWN", u"Liberation Mono", 1},
};

// 64-bit FNV-1a, continued from h.
uint64_t Hash(const void* data, size_t size, uint64_t h = 0xCBF29CE484222325ull) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

FontSpec Font(const char16_t* face, float size, int32_t bold, uint32_t italic) {
    FontSpec spec{};
    std::u16string_view name(face);
    std::memcpy(spec.FaceName, name.data(), std::min<size_t>(name.size(), 31) * sizeof(char16_t));
    spec.CharSet = 1;
    spec.Size = size;
    spec.Bold = bold;
    spec.Italic = italic;
    return spec;
}

PathValue Path(const char* id, float progress) {
    PathValue value{};
    std::strncpy(value.PathID, id, sizeof value.PathID - 1);
    value.PathProgress = progress;
    return value;
}

// What one frame showed: its pixels and the dirty rectangle, hashed together.
// The frame starts as the same opaque pattern every time.
uint64_t RenderFrame(ITitleHost& host, float time) {
    std::vector<uint8_t> frame(size_t{kWidth} * kHeight * 4);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(i * 7 / 5);
    EXPECT_EQ(host.Render(frame.data(), time), S_OK);
    RECT dirty{};
    EXPECT_EQ(host.GetDirtyRect(&dirty), S_OK);
    return Hash(&dirty, sizeof dirty, Hash(frame.data(), frame.size()));
}

// Builds the recipe's title, plays it with edits between frames, saves and reloads it, and
// returns the hash of every frame (and of the saved text's length and the reloaded frame).
std::vector<uint64_t> Play(const Recipe& r) {
    std::vector<uint64_t> hashes;
    HostPtr owner(GetTitleHost());
    if (!owner) {
        ADD_FAILURE() << "no host";
        return hashes;
    }
    ITitleHost& host = *owner;

    RenderSettings settings{};
    EXPECT_EQ(host.GetRenderSettings(&settings), S_OK);
    settings.Width = kWidth;
    settings.Height = kHeight;
    settings.ScaleX = settings.ScaleY = kScale;
    settings.ClipRect = {0, 0, kWidth, kHeight};
    settings.MaxThreads = r.maxThreads;
    EXPECT_EQ(host.SetRenderSettings(&settings), S_OK);

    const FontSpec font = Font(r.font, r.size, r.bold, r.italic);
    EXPECT_GE(host.SetDefaultFont(&font), 0);
    EXPECT_EQ(host.SetDefaultFace(&r.face), S_OK);
    EXPECT_EQ(host.SetDefaultBorder(&r.border), S_OK);
    EXPECT_EQ(host.SetDefaultShadow(&r.shadow), S_OK);
    StringAttrs attrs{};
    (void)host.GetStringAttrs(-1, &attrs);  // a failing getter reports the defaults
    attrs.Left = 60;
    attrs.Top = 40;
    attrs.WidthLimit = r.vertical ? 420 : 800;
    attrs.RotateDegree = r.rotate;
    attrs.Vertical = r.vertical;
    EXPECT_EQ(host.SetDefaultString(&attrs), S_OK);

    const int32_t row = host.AddString();
    EXPECT_EQ(row, 0);
    EXPECT_GT(host.InsertText(row, 0, r.text), 0);
    // A second font and a second face on part of the text.
    const FontSpec second = Font(r.second, r.size * 0.8f, !r.bold, 0);
    EXPECT_GE(host.SetDefaultFont(&second), 0);
    EXPECT_EQ(host.ApplyFont(row, 0, 2), S_OK);
    MetaFace face = r.face;
    face.Color1 ^= 0x00FFFFFF;
    EXPECT_EQ(host.SetDefaultFace(&face), S_OK);
    EXPECT_EQ(host.ApplyFace(row, 2, 3), S_OK);

    PathValue in = Path(r.pathIn, 0), out = Path(r.pathOut, 1);
    EXPECT_EQ(host.SetKeyFrame(row, 0.0f, &in), S_OK);
    in.PathProgress = 1;
    EXPECT_EQ(host.SetKeyFrame(row, 0.4f, &in), S_OK);
    EXPECT_EQ(host.SetKeyFrame(row, 0.6f, &out), S_OK);
    out.PathProgress = 0;
    EXPECT_EQ(host.SetKeyFrame(row, 1.0f, &out), S_OK);

    // A second string at rest, in the second font, added while the title plays.
    int32_t rest = -1;
    for (int32_t k = 0; k < kFrames; ++k) {
        if (k == 6) {
            attrs.Top = 300;
            attrs.Vertical = 0;
            attrs.RotateDegree = 0;
            EXPECT_EQ(host.SetDefaultString(&attrs), S_OK);
            rest = host.AddString();
            EXPECT_GT(host.InsertText(rest, 0, u"at rest"), 0);
        } else if (k == 10) {
            EXPECT_GT(host.InsertText(row, 1, u"xy"), 0);
        } else if (k == 14) {
            EXPECT_GT(host.DeleteText(row, 0, 2), 0);
            MetaBorder border = r.border;
            border.Enable = 1;
            border.Size += 2;
            EXPECT_EQ(host.SetDefaultBorder(&border), S_OK);
            EXPECT_EQ(host.ApplyBorder(rest, 0, 3), S_OK);
        } else if (k == 18) {
            EXPECT_EQ(host.RemoveKeyFrame(row, 0.6f), S_OK);
            const PathValue swap = Path(r.pathIn, 0.5f);
            EXPECT_EQ(host.SetKeyFrame(rest, 0.0f, &swap), S_OK);
        }
        hashes.push_back(RenderFrame(host, static_cast<float>(k) / (kFrames - 1)));
    }

    // Saved, loaded back into the same host and drawn again.
    uint32_t bytes = 0;
    EXPECT_EQ(host.SaveTitleToBuffer(nullptr, &bytes), S_OK);
    std::vector<char16_t> text(bytes / 2 + 1);
    EXPECT_EQ(host.SaveTitleToBuffer(text.data(), &bytes), S_OK);
    EXPECT_EQ(host.LoadTitleFromBuffer(text.data()), S_OK);
    EXPECT_EQ(host.GetStringCount(), 2);
    hashes.push_back(Hash(&bytes, sizeof bytes));
    hashes.push_back(RenderFrame(host, 0.5f));
    return hashes;
}

TEST(ThreadedHosts, EightHostsOnEightThreadsDrawWhatTheyDrawOneAfterAnother) {
    // The threads go first, while the process-wide caches (font matches, outline kernels) are
    // still empty, so that filling them concurrently is part of what is checked.
    std::vector<std::vector<uint64_t>> parallel(kHosts);
    {
        std::latch start(kHosts);  // every thread begins together, so the hosts overlap
        std::vector<std::jthread> threads;
        for (int32_t i = 0; i < kHosts; ++i) {
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                parallel[static_cast<size_t>(i)] = Play(kRecipes[i]);
            });
        }
    }
    std::vector<std::vector<uint64_t>> serial(kHosts);
    for (int32_t i = 0; i < kHosts; ++i) serial[static_cast<size_t>(i)] = Play(kRecipes[i]);

    for (int32_t i = 0; i < kHosts; ++i) {
        SCOPED_TRACE(::testing::Message() << "host " << i);
        const auto& s = serial[static_cast<size_t>(i)];
        const auto& p = parallel[static_cast<size_t>(i)];
        ASSERT_EQ(s.size(), size_t{kFrames} + 2);
        EXPECT_EQ(s, p);
        // The title moves: its frames are not all one picture.
        size_t distinct = 0;
        for (size_t k = 1; k < size_t{kFrames}; ++k) distinct += s[k] != s[k - 1];
        EXPECT_GT(distinct, size_t{kFrames} / 3);
    }
}

}  // namespace
}  // namespace qel
