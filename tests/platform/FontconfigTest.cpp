// Text handed between LOGFONTW face names and fontconfig: a face name ends at its NUL or after
// 32 units, whichever comes first, and fontconfig's strings are read as fontconfig reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/Fontconfig.h"

namespace qel {
namespace {

TEST(FontconfigText, FaceNameStopsAtNulOrThirtyTwoUnits) {
    const char16_t high = 0xD83D, low = 0xDE00;
    const std::string smiley = "\xF0\x9F\x98\x80", replacement = "\xEF\xBF\xBD";
    const struct {
        std::u16string units;  // the face array's contents; whatever follows unit 31 lies beyond it
        std::string name;
    } cases[] = {
        {u"DejaVu Sans", "DejaVu Sans"},
        {u"", ""},
        {u"Caf\u00E9", "Caf\xC3\xA9"},
        {std::u16string(40, u'x'), std::string(32, 'x')},
        {std::u16string(30, u'x') + high + low, std::string(30, 'x') + smiley},  // pair in the last two
        {std::u16string(31, u'x') + high + low, std::string(31, 'x') + replacement},  // partner beyond
        {std::u16string(1, low) + u"x", replacement + "x"},
    };
    for (const auto& c : cases) {
        char16_t face[48] = {};
        std::copy(c.units.begin(), c.units.end(), face);
        EXPECT_EQ(fc::Utf8FromFaceName(face), c.name) << testing::PrintToString(c.name);
    }
}

TEST(FontconfigText, FontconfigStringsReadAsFontconfigReadsThem) {
    const struct {
        const char* in;
        std::u16string out;
    } cases[] = {
        {"Liberation Serif", u"Liberation Serif"},
        {"\xE6\x96\x87\xF0\x9F\x98\x80", u"\u6587\U0001F600"},
        {"a\x80" "b", u"a\uFFFD" "b"},           // a byte fontconfig refuses stands alone
        {"\xE2\x82", u"\uFFFD\uFFFD"},           // cut short: each byte refused in turn
        {"\xC0\xAF", u"/"},                      // fontconfig takes overlong forms
        {"\xF8\x88\x80\x80\x80" "a", u"\uFFFD" "a"},  // a five-byte form beyond U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(fc::Utf16FromUtf8(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace qel
