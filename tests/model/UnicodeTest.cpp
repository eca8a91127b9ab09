// UTF-8 <-> UTF-16: code points at every encoding-length boundary survive both ways, and each
// class of ill-formed input becomes the U+FFFD count the loaders and debug output rely on.
#include <gtest/gtest.h>

#include <string>

#include "base/Unicode.h"

namespace qel {
namespace {

TEST(Unicode, BoundaryCodePointsRoundTrip) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {std::string(1, '\0'), std::u16string(1, u'\0')},  // an embedded NUL is text, not an end
        {"\x7F", u"\u007F"},
        {"\xC2\x80", u"\u0080"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xED\x9F\xBF", u"\uD7FF"},  // just below the surrogates
        {"\xEE\x80\x80", u"\uE000"},  // just above them
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", u"a\u00E9\u20AC\U0001F600z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << testing::PrintToString(c.utf8);
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << testing::PrintToString(c.utf8);
    }
}

TEST(Unicode, IllFormedUtf8BecomesOneReplacementPerBadSequence) {
    const struct {
        const char* in;
        std::u16string out;
    } cases[] = {
        {"\x80x", u"\uFFFDx"},                     // stray continuation byte
        {"\xC1\xBF", u"\uFFFD\uFFFD"},             // overlong two-byte lead
        {"\xE0\x80\x80", u"\uFFFD"},               // overlong three-byte form
        {"\xF0\x80\x80\x80", u"\uFFFD"},           // overlong four-byte form
        {"\xED\xBF\xBF", u"\uFFFD"},               // encoded low surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"},           // beyond U+10FFFF
        {"\xF5\x80", u"\uFFFD\uFFFD"},             // lead that never begins a sequence
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
        {"\xF0\x9F\x98", u"\uFFFD"},               // cut short by the end
        {"\xF0\x9Fz", u"\uFFFDz"},                 // cut short: the byte that ends it is kept
        {"\xE2\xE2\x82\xAC", u"\uFFFD\u20AC"},     // a lead interrupting a lead starts afresh
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << testing::PrintToString(std::string(c.in));
}

TEST(Unicode, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::u16string high(1, char16_t(0xD83D)), low(1, char16_t(0xDE00));
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::u16string in;
        std::string out;
    } cases[] = {
        {high, replacement},                                 // high at the end
        {low, replacement},                                  // low alone
        {low + high, replacement + replacement},             // pair in the wrong order
        {high + u"x" + low, replacement + "x" + replacement},
        {high + high + low, replacement + "\xF0\x9F\x98\x80"},  // the second high pairs
    };
    for (const auto& c : cases) EXPECT_EQ(Utf16ToUtf8(c.in), c.out);
}

TEST(Unicode, AppendUtf16SplitsAstralCodePoints) {
    std::u16string out = u"a";
    AppendUtf16(out, U'\u00E9');
    AppendUtf16(out, U'\U0001F600');
    AppendUtf16(out, U'\U0010FFFF');
    EXPECT_EQ(out, u"a\u00E9\U0001F600\U0010FFFF");
}

}  // namespace
}  // namespace qel
