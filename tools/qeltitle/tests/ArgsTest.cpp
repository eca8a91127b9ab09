// Argument parsing and the option-value parsers of qeltitle.
#include <gtest/gtest.h>

#include "commands/Args.h"

namespace qeltitle {
namespace {

ArgParser MakeParser() {
    ArgParser parser("x FILE", "test");
    parser.Option("-o, --output", "FILE", "out");
    parser.Option("--size", "WxH", "size");
    parser.Flag("--vertical", "flag");
    return parser;
}

TEST(ArgParser, OptionsFlagsAndPositionals) {
    ArgParser parser = MakeParser();
    const Status parsed = parser.Parse({"in.xml", "-o", "a.png", "--size=10x20", "--vertical", "--", "--not-an-option"});
    ASSERT_TRUE(parsed) << parsed.Message();
    EXPECT_EQ(parser.Value("output"), "a.png");
    EXPECT_EQ(parser.Value("size"), "10x20");
    EXPECT_TRUE(parser.Has("vertical"));
    EXPECT_FALSE(parser.Has("help"));
    EXPECT_EQ(parser.Positionals(), (std::vector<std::string>{"in.xml", "--not-an-option"}));
}

TEST(ArgParser, ValuesMayLookLikeOptionsOrNegativeNumbers) {
    ArgParser parser = MakeParser();
    const Status parsed = parser.Parse({"--output", "-5", "-"});
    ASSERT_TRUE(parsed) << parsed.Message();
    EXPECT_EQ(parser.Value("output"), "-5");
    EXPECT_EQ(parser.Positionals(), (std::vector<std::string>{"-"}));
}

TEST(ArgParser, RejectsBadCommandLines) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--size"}, "option --size needs a value (WxH)"},
        {{"--vertical=1"}, "option --vertical takes no value"},
        {{"-x"}, "unknown option -x"},
    };
    for (const auto& c : cases) {
        ArgParser parser = MakeParser();
        const Status parsed = parser.Parse(c.args);
        EXPECT_FALSE(parsed) << c.message;
        EXPECT_EQ(parsed.Message(), c.message);
    }
}

TEST(ArgParser, HelpStopsParsingAndListsEveryOption) {
    ArgParser parser = MakeParser();
    ASSERT_TRUE(parser.Parse({"--help", "--bogus"}));
    EXPECT_TRUE(parser.HelpRequested());
    const std::string help = parser.Help();
    for (const char* part : {"usage: qeltitle x FILE", "-o, --output FILE", "--size WxH", "--vertical"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
    // A help text's second line sits under its first.
    ArgParser wrapped("x", "about");
    wrapped.Option("--strings", "FILE", "first line\nsecond line");
    EXPECT_NE(wrapped.Help().find("first line\n" + std::string(30, ' ') + "second line"), std::string::npos);
}

TEST(OptionValues, FrameSizes) {
    const struct {
        const char* text;
        bool ok;
        int w, h;
    } cases[] = {
        {"1920x1080", true, 1920, 1080}, {"1x1", true, 1, 1},     {"16384x16384", true, 16384, 16384},
        {"0x10", false, 0, 0},           {"10x0", false, 0, 0},   {"16385x10", false, 0, 0},
        {"-5x10", false, 0, 0},          {"640", false, 0, 0},    {"640x", false, 0, 0},
        {"x480", false, 0, 0},           {"64 0x480", false, 0, 0}, {"640x480x2", false, 0, 0},
        {"1.5x2", false, 0, 0},          {"", false, 0, 0},
    };
    for (const auto& c : cases) {
        FrameSize size;
        std::string error;
        EXPECT_EQ(ParseFrameSize(c.text, size, error), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(size.width, c.w) << c.text;
            EXPECT_EQ(size.height, c.h) << c.text;
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

TEST(OptionValues, FrameRatesStayExact) {
    const struct {
        const char* text;
        const char* stored;  // empty: refused
    } cases[] = {
        {"25", "25"},          {"12.5", "25/2"},           {"29.97", "30000/1001"}, {"23.976", "24000/1001"},
        {"59.94", "60000/1001"}, {"30000/1001", "30000/1001"}, {"50/2", "25"},      {"30.5", "61/2"},
        {"0", ""},             {"1/0", ""},                {"30/", ""},             {"2000", ""},
    };
    for (const auto& c : cases) {
        FrameRate rate;
        std::string error;
        EXPECT_EQ(ParseFrameRate(c.text, 0.1, 1000, rate, error), *c.stored != '\0') << c.text << ": " << error;
        if (*c.stored) {
            EXPECT_EQ(rate.Text(), c.stored) << c.text;
        }
    }
}

TEST(OptionValues, ColoursBecomeModelOrder) {
    uint32_t rgb = 0;
    std::string error;
    ASSERT_TRUE(ParseRgb("#FF8000", rgb, error));
    EXPECT_EQ(rgb, 0xFF8000u);
    EXPECT_EQ(ModelColor(rgb), 0x0080FFu);  // red in the low byte
    EXPECT_EQ(ModelColor(ModelColor(0x123456)), 0x123456u);
    ASSERT_TRUE(ParseRgb("#a0b1c2", rgb, error));
    EXPECT_EQ(rgb, 0xA0B1C2u);
    for (const char* bad : {"FF8000", "#FF800", "#FF80000", "#GG0000", "red", "#+12345", "#-12345", ""})
        EXPECT_FALSE(ParseRgb(bad, rgb, error)) << bad;

    uint32_t a = 0, b = 0;
    ASSERT_TRUE(ParseColorPair("#010203", a, b, error));
    EXPECT_EQ(a, 0x010203u);
    EXPECT_EQ(b, 0x010203u);
    ASSERT_TRUE(ParseColorPair("#010203:#0A0B0C", a, b, error));
    EXPECT_EQ(b, 0x0A0B0Cu);
    EXPECT_FALSE(ParseColorPair("#010203:#0A0B0C:#000000", a, b, error));
    EXPECT_FALSE(ParseColorPair("#010203:", a, b, error));

    // Alpha: #RRGGBBAA wherever a face, border or shadow colour is given; a face has one alpha.
    std::optional<int> alpha;
    ASSERT_TRUE(ParseColorPair("#01020380:#0A0B0C", a, b, alpha, error)) << error;
    EXPECT_EQ(alpha, 0x80);
    EXPECT_EQ(b, 0x0A0B0Cu);
    ASSERT_TRUE(ParseColorPair("#010203", a, b, alpha = std::nullopt, error));
    EXPECT_FALSE(alpha);
    EXPECT_FALSE(ParseColorPair("#01020380:#0A0B0C40", a, b, alpha, error));
    EXPECT_NE(error.find("one alpha"), std::string::npos) << error;
    for (const char* bad : {"#0102038", "#010203GG", "#010203+1", "#01020380FF"})
        EXPECT_FALSE(ParseColor(bad, a, alpha, error)) << bad;
    BorderOption border;
    ASSERT_TRUE(ParseBorder("3:#FFFFFF40", border, error)) << error;
    EXPECT_EQ(border.alpha, 0x40);
    ShadowOption shadow;
    ASSERT_TRUE(ParseShadow("3,3:#00000000", shadow, error)) << error;
    EXPECT_EQ(shadow.alpha, 0);
}

TEST(OptionValues, NumbersAreStrictAndRanged) {
    double d = 0;
    long n = 0;
    std::string error;
    EXPECT_TRUE(ParseNumber("0.5", 0, 1, d, error));
    EXPECT_EQ(d, 0.5);
    EXPECT_TRUE(ParseNumber("-12", -20, 0, d, error));
    for (const char* bad : {"", "1e3", "nan", "inf", "0.5s", " 1", "0x10", "--1"})
        EXPECT_FALSE(ParseNumber(bad, -1e9, 1e9, d, error)) << bad;
    EXPECT_FALSE(ParseNumber("1.5", 0, 1, d, error));
    EXPECT_NE(error.find("out of range"), std::string::npos);
    EXPECT_TRUE(ParseInteger("42", 0, 100, n, error));
    EXPECT_EQ(n, 42);
    for (const char* bad : {"4.2", "", "101", "-1", "99999999999999999999999"})
        EXPECT_FALSE(ParseInteger(bad, 0, 100, n, error)) << bad;
}

TEST(OptionValues, ShadowsBordersPointsAlignment) {
    std::string error;
    ShadowOption shadow;
    ASSERT_TRUE(ParseShadow("4,-2.5", shadow, error)) << error;
    EXPECT_EQ(shadow.dx, 4.0f);
    EXPECT_EQ(shadow.dy, -2.5f);
    EXPECT_EQ(shadow.blur, 0);
    EXPECT_FALSE(shadow.extrude);
    ASSERT_TRUE(ParseShadow("3,3:6:extrude:#400000", shadow, error)) << error;
    EXPECT_EQ(shadow.blur, 6);
    EXPECT_TRUE(shadow.extrude);
    EXPECT_EQ(shadow.rgb, 0x400000u);
    ASSERT_TRUE(ParseShadow("1,1:extrude", shadow, error));
    EXPECT_TRUE(shadow.extrude);
    for (const char* bad : {"3", "3,3:soft", "3,3:-1", "3,3:#12", ",3", "3,3,3"})
        EXPECT_FALSE(ParseShadow(bad, shadow, error)) << bad;

    BorderOption border;
    ASSERT_TRUE(ParseBorder("5:#FFFFFF", border, error));
    EXPECT_EQ(border.size, 5);
    EXPECT_EQ(border.rgb, 0xFFFFFFu);
    ASSERT_TRUE(ParseBorder("2", border, error));
    EXPECT_EQ(border.rgb, 0u);
    for (const char* bad : {"-1", "x", "2:#FF", "2:#000000:#000000"})
        EXPECT_FALSE(ParseBorder(bad, border, error)) << bad;

    float x = 0, y = 0;
    ASSERT_TRUE(ParsePoint("10,-20.5", x, y, error));
    EXPECT_EQ(x, 10.0f);
    EXPECT_EQ(y, -20.5f);
    for (const char* bad : {"10", "10,", "10,20,30", "a,b"}) EXPECT_FALSE(ParsePoint(bad, x, y, error)) << bad;

    uint32_t align = 99;
    const std::pair<const char*, uint32_t> aligns[] = {{"left", 0}, {"center", 6}, {"centre", 6}, {"right", 2}};
    for (const auto& [text, code] : aligns) {
        ASSERT_TRUE(ParseAlign(text, align, error)) << text;
        EXPECT_EQ(align, code) << text;
    }
    EXPECT_FALSE(ParseAlign("middle", align, error));
}

}  // namespace
}  // namespace qeltitle
