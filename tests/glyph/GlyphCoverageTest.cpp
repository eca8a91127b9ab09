#include "glyph/GlyphCoverage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <thread>

#include "platform/TestFonts.h"
#include "platform/FontEngine.h"

namespace qel {
namespace {

MetaFont Font(std::u16string_view face, float size) {
    MetaFont font;
    EXPECT_EQ(MakeFont(kDesignHeight, test::Spec(face, size), &font), S_OK);
    return font;
}

GlyphRequest Quality(int32_t mode, bool vertical = false) {
    GlyphRequest request;
    request.qualityMode = mode;
    request.vertical = vertical;
    return request;
}

bool SameCoverage(const GlyphCoverage& a, const GlyphCoverage& b) {
    return a.width == b.width && a.height == b.height && a.originX == b.originX && a.originY == b.originY &&
           std::memcmp(a.mask.get(), b.mask.get(), size_t(a.width) * a.height) == 0;
}

// Every non-zero byte is v * k - 1 for a level v, the top level is reached inside a heavy glyph,
// and the stride is the black box padded to 4.
TEST(GlyphCoverage, GreyLevelsSpreadOverTheFullRange) {
    const MetaFont font = Font(u"DejaVu Sans", 48);
    struct Case {
        int32_t mode;
        int k;
    } cases[] = {{0, 4}, {1, 16}, {2, 64}, {7, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        GlyphCoverage g;
        const int bytes = GetGlyphCoverage(u'\u2588', font, 1, 1, 0, Quality(c.mode), &g);  // full block
        ASSERT_GT(bytes, 0);
        ASSERT_TRUE(g.mask);
        EXPECT_EQ(g.width % 4, 0);
        EXPECT_EQ(bytes, g.width * g.height);
        std::set<int> values(g.mask.get(), g.mask.get() + g.width * g.height);
        EXPECT_TRUE(values.count(255));
        for (int v : values) EXPECT_TRUE(v == 0 || (v + 1) % c.k == 0) << v;
    }
    // Anti-aliased edges of a turned glyph reach the lowest levels too.
    GlyphCoverage g;
    ASSERT_GT(GetGlyphCoverage(u'O', font, 1, 1, 10, Quality(0), &g), 0);
    std::set<int> values(g.mask.get(), g.mask.get() + g.width * g.height);
    EXPECT_GT(values.size(), 20u);
}

// The engine's own format: levels 0..n in rows padded to 4 bytes, the top level inside the glyph.
TEST(FontEngine, GreyBitmapsCarryTheFormatsLevels) {
    const FontFace face = FontFace::Open(test::LogFont(u"DejaVu Sans"));
    ASSERT_TRUE(face);
    const GlyphMatrix matrix{0x10000 / 40, 0, 0, 0x10000 / 40};
    struct Case {
        GlyphFormat format;
        int top;
    } cases[] = {{GlyphFormat::Gray8, 64}, {GlyphFormat::Gray4, 16}, {GlyphFormat::Gray2, 4}};
    for (const Case& c : cases) {
        GlyphBitmap glyph;
        const uint32_t bytes = face.GetGlyphBitmap(u'\u2588', c.format, matrix, &glyph);
        ASSERT_GT(bytes, 0u);
        EXPECT_EQ(bytes, uint32_t((glyph.box.blackBoxX + 3) / 4 * 4 * glyph.box.blackBoxY));
        EXPECT_EQ(*std::max_element(glyph.bits.get(), glyph.bits.get() + bytes), c.top);
    }
}

// Bold and italic of a face that has neither are made from its outline.
TEST(GlyphCoverage, SynthesisedBoldAndItalicChangeTheGlyph) {
    GlyphCoverage regular, bold, italic;
    auto ink = [](const GlyphCoverage& g) {
        long sum = 0;
        for (int i = 0; i < g.width * g.height; ++i) sum += g.mask[i];
        return sum;
    };
    MetaFont font;
    ASSERT_EQ(MakeFont(kDesignHeight, test::Spec(u"Droid Sans Fallback", 40), &font), S_OK);
    ASSERT_GT(GetGlyphCoverage(u'\u4E2D', font, 1, 1, 0, Quality(1), &regular), 0);
    ASSERT_EQ(MakeFont(kDesignHeight, test::Spec(u"Droid Sans Fallback", 40, true), &font), S_OK);
    ASSERT_GT(GetGlyphCoverage(u'\u4E2D', font, 1, 1, 0, Quality(1), &bold), 0);
    ASSERT_EQ(MakeFont(kDesignHeight, test::Spec(u"Droid Sans Fallback", 40, false, true), &font), S_OK);
    ASSERT_GT(GetGlyphCoverage(u'\u4E2D', font, 1, 1, 0, Quality(1), &italic), 0);
    EXPECT_GT(ink(bold), ink(regular) * 5 / 4);
    EXPECT_EQ(italic.height, regular.height);
    EXPECT_GT(italic.width, regular.width);  // sheared to the right by its height x tan 12 degrees
}

TEST(GlyphCoverage, MonochromeRowsArePaddedTo32WithZeros) {
    const MetaFont font = Font(u"DejaVu Sans", 24);
    GlyphCoverage mono, grey;
    const int bytes = GetGlyphCoverage(u'l', font, 1, 1, 0, Quality(3), &mono);
    ASSERT_GT(bytes, 0);
    ASSERT_GT(GetGlyphCoverage(u'l', font, 1, 1, 0, Quality(0), &grey), 0);
    EXPECT_EQ(mono.width, 32);
    EXPECT_EQ(bytes, mono.width * mono.height);
    EXPECT_EQ(mono.height, grey.height);
    EXPECT_EQ(mono.originX, grey.originX);
    int ink = 0;
    for (int y = 0; y < mono.height; ++y)
        for (int x = 0; x < mono.width; ++x) {
            const uint8_t v = mono.mask[y * mono.width + x];
            EXPECT_TRUE(v == 0 || v == 255);
            if (x >= grey.width) {
                EXPECT_EQ(v, 0) << x << "," << y;
            }
            ink += v != 0;
        }
    EXPECT_GT(ink, 0);
}

TEST(GlyphCoverage, UnturnedGlyphSitsOnTheBaselineAtItsSize) {
    // DejaVu Sans capitals are 1493 units of 2048 high: 'H' at 40 units is 29.2 pixels, times the
    // frame's vertical scale of 2.
    const MetaFont font = Font(u"DejaVu Sans", 40);
    GlyphRequest request = Quality(1);
    request.frameScaleY = 2;
    GlyphCoverage g;
    ASSERT_GT(GetGlyphCoverage(u'H', font, 1, 1, 0, request, &g), 0);
    EXPECT_NEAR(g.height, 1493 * 40 * 2 / 2048.0, 1.0);
    EXPECT_EQ(g.originY, g.height);  // no descender: the bottom row ends on the baseline
    EXPECT_GE(g.originX, 0);
    GlyphCoverage wide;
    ASSERT_GT(GetGlyphCoverage(u'H', font, 2, 0.5f, 0, Quality(1), &wide), 0);
    EXPECT_NEAR(wide.height, g.height / 4.0, 1.0);
}

TEST(GlyphCoverage, VerticalTextTurnsOnlyCodesBelow128) {
    const MetaFont latin = Font(u"DejaVu Sans", 30);
    struct Case {
        uint16_t code;
        float turn;  // the angle a horizontal request needs for the same image
    } cases[] = {{65, 90}, {200, 0}, {127, 90}, {128, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        GlyphCoverage down, across;
        ASSERT_GT(GetGlyphCoverage(c.code, latin, 1, 1, 15, Quality(1, true), &down), 0);
        ASSERT_GT(GetGlyphCoverage(c.code, latin, 1, 1, 15 + c.turn, Quality(1, false), &across), 0);
        EXPECT_TRUE(SameCoverage(down, across));
    }
}

// Which way a glyph turns: a positive angle turns it clockwise on the page, and vertical text
// turns codes below 128 a further quarter turn clockwise (90 degrees), so they read downwards. The upper half block (ink right of
// the origin and above the baseline when upright) shows each quarter turn by the signs of its
// ink's centre, relative to the origin, y upwards.
TEST(GlyphCoverage, PositiveAnglesTurnClockwise) {
    const MetaFont font = Font(u"DejaVu Sans", 40);
    ASSERT_NE(FontFace::Open(font.LogFont).GlyphIndex(u'\u2580'), 0u);
    struct Case {
        uint16_t code;
        float angle;
        bool vertical;
        int signX, signY;
    } cases[] = {
        {0x2580, 0, false, +1, +1},  {0x2580, 90, false, +1, -1}, {0x2580, 180, false, -1, -1},
        {0x2580, 270, false, -1, +1}, {0x2580, 0, true, +1, +1},  {'l', 0, false, +1, +1},
        {'l', 0, true, +1, -1},       {'l', 90, true, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " at " << c.angle << (c.vertical ? " vertical" : ""));
        GlyphCoverage g;
        ASSERT_GT(GetGlyphCoverage(c.code, font, 1, 1, c.angle, Quality(0, c.vertical), &g), 0);
        double sum = 0, sumX = 0, sumY = 0;
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) {
                const double v = g.mask[size_t(y) * g.width + x];
                sum += v;
                sumX += v * (g.originX + x + 0.5);
                sumY += v * (g.originY - y - 0.5);
            }
        ASSERT_GT(sum, 0);
        EXPECT_GT(c.signX * sumX / sum, 2.0);
        EXPECT_GT(c.signY * sumY / sum, 2.0);
    }
}

TEST(GlyphCoverage, DegenerateAndEmptyRequestsFail) {
    const MetaFont font = Font(u"DejaVu Sans", 24);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        uint16_t code;
        float sx, sy, angle;
    } cases[] = {
        {'A', 0, 1, 0},     // first row zero
        {'A', 1, 0, 0},     // second row zero
        {'A', 1e-7f, 1, 0},  // entries truncate to zero
        {'A', -1e-7f, 1, 0},  // towards zero, not down to -1/65536
        {'A', 1, 1e-7f, 90},
        {'A', nan, 1, 0},  {'A', 1, 1, nan}, {'A', 1e9f, 1, 0},
        {' ', 1, 1, 0},  // no ink
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " " << c.sx << " " << c.sy << " " << c.angle);
        GlyphCoverage g;
        g.width = 99;
        EXPECT_EQ(GetGlyphCoverage(c.code, font, c.sx, c.sy, c.angle, Quality(1), &g), 0);
        EXPECT_FALSE(g.mask);
        EXPECT_EQ(g.width, 0);
    }
    // A turn of 90 degrees zeroes one entry per row and is not degenerate.
    GlyphCoverage g;
    EXPECT_GT(GetGlyphCoverage('A', font, 1, 1, 90, Quality(1), &g), 0);
}

TEST(GlyphCoverage, ThreadsGetTheSameMasksAsOneThread) {
    const MetaFont fonts[] = {Font(u"DejaVu Sans", 36), Font(u"Liberation Serif", 20), Font(u"Droid Sans Fallback", 28)};
    const uint16_t codes[] = {u'A', u'g', u'\u00C8', u'\u4E2D'};
    struct Job {
        const MetaFont* font;
        uint16_t code;
        float angle;
        int32_t mode;
    };
    std::vector<Job> jobs;
    for (const MetaFont& font : fonts)
        for (uint16_t code : codes)
            for (int i = 0; i < 4; ++i)
                if (code < 0x3000 || &font == &fonts[2]) jobs.push_back({&font, code, 37.5f * i, i});

    std::vector<GlyphCoverage> reference(jobs.size());
    for (size_t j = 0; j < jobs.size(); ++j)
        GetGlyphCoverage(jobs[j].code, *jobs[j].font, 1, 1.5f, jobs[j].angle, Quality(jobs[j].mode), &reference[j]);

    constexpr int kThreads = 4;
    std::vector<std::vector<GlyphCoverage>> results(kThreads);
    for (auto& perThread : results) perThread.resize(jobs.size());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (size_t n = 0; n < jobs.size(); ++n) {
                const size_t j = (n + t * 7) % jobs.size();  // different orders on different threads
                GetGlyphCoverage(jobs[j].code, *jobs[j].font, 1, 1.5f, jobs[j].angle, Quality(jobs[j].mode),
                                 &results[t][j]);
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t)
        for (size_t j = 0; j < jobs.size(); ++j) {
            ASSERT_TRUE(reference[j].mask) << j;
            EXPECT_TRUE(SameCoverage(results[t][j], reference[j])) << t << " " << j;
        }
}

}  // namespace
}  // namespace qel
