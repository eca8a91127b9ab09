// The XML access layer: value forms, length and capacity rules, attribute order, lookup,
// loading and saving.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "persist/XmlDom.h"

namespace qel {
namespace {

// A document with one element <e/> whose attributes are selected.
struct DomWithElement {
    XmlDom dom;
    XmlNode element;
    DomWithElement() {
        element = dom.CreateRootElement("e");
        EXPECT_EQ(dom.SelectAttributes(element), S_OK);
    }
    std::string Raw(const char* name) { return element.attribute(name).value(); }
};

std::u16string SavedText(const XmlDom& dom) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(dom.SaveToMemory(bytes), S_OK);
    EXPECT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

TEST(XmlDomValues, IntegersReadAsSignedWithHexAndModulo) {
    const struct {
        const char* text;
        uint32_t bits;
    } cases[] = {
        {"#FF0000", 16711680u},        {"#ff", 255u},
        {"4278190080", 0xFF000000u},   {"-1", 0xFFFFFFFFu},
        {"  +42xyz", 42u},             {"abc", 0u},
        {"#", 0u},                     {"", 0u},
        {"4294967296", 0u},            {"-2147483648", 0x80000000u},
        {"#1FFFFFFFF", 0xFFFFFFFFu},   {"\t\n7", 7u},
    };
    for (const auto& c : cases) {
        DomWithElement d;
        ASSERT_EQ(d.dom.SetString("v", c.text), S_OK);
        uint32_t u = 123;
        int32_t i = 123;
        EXPECT_EQ(d.dom.GetUInt("v", &u), S_OK) << c.text;
        EXPECT_EQ(d.dom.GetInt("v", &i), S_OK) << c.text;
        EXPECT_EQ(u, c.bits) << c.text;
        EXPECT_EQ(static_cast<uint32_t>(i), c.bits) << c.text;
    }
}

TEST(XmlDomValues, BooleanIsTrueOnlyForTrueInAnyCase) {
    const struct {
        const char* text;
        bool value;
    } cases[] = {{"true", true}, {"TRUE", true}, {"True", true}, {"tRuE", true},
                 {"1", false},   {"yes", false}, {"true ", false}, {" true", false},
                 {"", false},    {"tru", false}, {"truex", false}};
    for (const auto& c : cases) {
        DomWithElement d;
        ASSERT_EQ(d.dom.SetString("b", c.text), S_OK);
        bool value = !c.value;
        EXPECT_EQ(d.dom.GetBool("b", &value), S_OK);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

TEST(XmlDomValues, FloatsParseAnyDecimalFormAndSaturate) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* text;
        float value;
    } cases[] = {{"0.5", 0.5f}, {"  -2.5e1", -25.0f}, {"+3", 3.0f}, {"1e39", inf},
                 {"-1e39", -inf}, {"abc", 0.0f}, {"1e-50", 0.0f}, {"100.500000", 100.5f},
                 // Above FLT_MAX by less than half a unit rounds to it; from the midway point on, overflow.
                 {"3.4028235e38", FLT_MAX}, {"-3.4028235e38", -FLT_MAX},
                 {"340282356779733630000000000000000000000", FLT_MAX},
                 {"340282356779733661637539395458142568448", inf}, {"inf", inf}};
    for (const auto& c : cases) {
        DomWithElement d;
        ASSERT_EQ(d.dom.SetString("f", c.text), S_OK);
        float value = 7;
        EXPECT_EQ(d.dom.GetFloat("f", &value), S_OK);
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(XmlDomValues, WrittenForms) {
    DomWithElement d;
    EXPECT_EQ(d.dom.SetFloat("half", 0.5f), S_OK);
    EXPECT_EQ(d.dom.SetFloat("minus", -2.0f), S_OK);
    EXPECT_EQ(d.dom.SetFloat("big", 3.0e38f), S_OK);
    EXPECT_EQ(d.dom.SetUInt("u", 4278190080u), S_OK);
    EXPECT_EQ(d.dom.SetInt("i", -1), S_OK);
    EXPECT_EQ(d.dom.SetBool("t", 2), S_OK);
    EXPECT_EQ(d.dom.SetBool("f", 0x100), S_OK);  // only the low byte counts
    EXPECT_EQ(d.Raw("half"), "0.500000");
    EXPECT_EQ(d.Raw("minus"), "-2.000000");
    EXPECT_EQ(d.Raw("big").find('e'), std::string::npos);
    EXPECT_EQ(d.Raw("u"), "4278190080");
    EXPECT_EQ(d.Raw("i"), "-1");
    EXPECT_EQ(d.Raw("t"), "true");
    EXPECT_EQ(d.Raw("f"), "false");

    float big = 0;
    EXPECT_EQ(d.dom.GetFloat("big", &big), S_OK);
    EXPECT_EQ(big, 3.0e38f);
}

// Six decimals lose the low bits of many floats (a 24-unit font's size ratio 24/2048 among
// them); what is written must read back bit for bit.
TEST(XmlDomValues, FloatsRoundTripBitExact) {
    DomWithElement d;
    ASSERT_EQ(d.dom.SetFloat("ratio", 24.0f / 2048.0f), S_OK);
    EXPECT_EQ(d.Raw("ratio"), "0.01171875");
    uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1664525u + 1013904223u;
        float value;
        const uint32_t bits = (state & 0x807FFFFFu) | ((100u + (state >> 8) % 60u) << 23);  // 2^-27 .. 2^32
        std::memcpy(&value, &bits, sizeof value);
        ASSERT_EQ(d.dom.SetFloat("v", value), S_OK);
        const std::string text = d.Raw("v");
        ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        ASSERT_GE(text.size() - text.find('.'), 7u) << text;  // at least six decimals
        float back = 0;
        ASSERT_EQ(d.dom.GetFloat("v", &back), S_OK);
        ASSERT_EQ(back, value) << text;
    }
}

TEST(XmlDomValues, MissingOrOverlongNumbersReadAsZero) {
    DomWithElement d;
    ASSERT_EQ(d.dom.SetString("long", std::string(256, '1').c_str()), S_OK);
    int32_t i = 5;
    float f = 5;
    bool b = true;
    EXPECT_EQ(d.dom.GetInt("absent", &i), E_FAIL);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(d.dom.GetFloat("absent", &f), E_FAIL);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(d.dom.GetBool("absent", &b), E_FAIL);
    EXPECT_FALSE(b);
    i = 5;
    EXPECT_EQ(d.dom.GetInt("long", &i), E_INVALIDARG);
    EXPECT_EQ(i, 0);
}

TEST(XmlDomBytes, WritesUpperCaseDigitsAndObeysCapacity) {
    DomWithElement d;
    uint8_t bytes[92];
    for (int i = 0; i < 92; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    ASSERT_EQ(d.dom.SetBytes("lf", bytes, sizeof bytes), S_OK);
    const std::string text = d.Raw("lf");
    ASSERT_EQ(text.size(), 184u);
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    uint8_t back[92] = {};
    uint32_t count = sizeof back;
    EXPECT_EQ(d.dom.GetBytes("lf", back, &count), S_OK);
    EXPECT_EQ(count, 92u);
    EXPECT_EQ(std::memcmp(back, bytes, sizeof bytes), 0);

    // Size query, short value, odd trailing digit, lower case, non-hex pair.
    ASSERT_EQ(d.dom.SetString("short", "0aFf10203z4"), S_OK);
    count = 0;
    EXPECT_EQ(d.dom.GetBytes("short", nullptr, &count), S_OK);
    EXPECT_EQ(count, 5u);
    uint8_t part[92];
    std::memset(part, 0xEE, sizeof part);
    count = 92;
    EXPECT_EQ(d.dom.GetBytes("short", part, &count), S_OK);
    EXPECT_EQ(count, 92u);  // the caller's capacity stays
    const uint8_t expected[] = {0x0A, 0xFF, 0x10, 0x20, 0x00, 0xEE};
    EXPECT_EQ(std::memcmp(part, expected, sizeof expected), 0);

    // A value longer than the capacity writes nothing.
    ASSERT_EQ(d.dom.SetString("long", std::string(186, 'A').c_str()), S_OK);
    std::memset(part, 0xEE, sizeof part);
    count = 92;
    EXPECT_EQ(d.dom.GetBytes("long", part, &count), E_INVALIDARG);
    EXPECT_EQ(part[0], 0xEE);

    count = 9;
    EXPECT_EQ(d.dom.GetBytes("absent", part, &count), E_FAIL);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(d.dom.GetBytes("lf", part, nullptr), E_INVALIDARG);
}

TEST(XmlDomStrings, LengthAndCapacityRules) {
    DomWithElement d;
    ASSERT_EQ(d.dom.SetString("s", "hello"), S_OK);
    uint32_t length = 999;
    EXPECT_EQ(d.dom.GetString("s", nullptr, &length), S_OK);
    EXPECT_EQ(length, 5u);

    char buffer[16];
    std::strcpy(buffer, "junk");
    length = 5;  // no room for the terminator
    EXPECT_EQ(d.dom.GetString("s", buffer, &length), E_INVALIDARG);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(buffer, "");

    length = 6;
    EXPECT_EQ(d.dom.GetString("s", buffer, &length), S_OK);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(buffer, "hello");

    std::strcpy(buffer, "junk");
    length = sizeof buffer;
    EXPECT_EQ(d.dom.GetString("absent", buffer, &length), E_FAIL);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(d.dom.GetString("s", buffer, nullptr), E_INVALIDARG);
    EXPECT_EQ(d.dom.GetWString("s", nullptr, nullptr), E_INVALIDARG);
}

TEST(XmlDomStrings, NarrowIsUtf8AndWideIsUtf16) {
    DomWithElement d;
    const char* text = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // e-acute, euro sign, an emoji
    ASSERT_EQ(d.dom.SetString("s", text), S_OK);
    uint32_t bytes = 0, units = 0;
    EXPECT_EQ(d.dom.GetString("s", nullptr, &bytes), S_OK);
    EXPECT_EQ(d.dom.GetWString("s", nullptr, &units), S_OK);
    EXPECT_EQ(bytes, 9u);
    EXPECT_EQ(units, 4u);
    char16_t wide[5];
    units = 5;
    EXPECT_EQ(d.dom.GetWString("s", wide, &units), S_OK);
    EXPECT_EQ(std::u16string(wide), u"\u00E9\u20AC\U0001F600");
    units = 4;
    EXPECT_EQ(d.dom.GetWString("s", wide, &units), E_INVALIDARG);
    EXPECT_EQ(wide[0], 0);
}

TEST(XmlDomText, IllFormedUtfBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");            // cut short
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");      // overlong lead is never valid
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");        // an encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(u"x\xD800y"), "x\xEF\xBF\xBDy");    // lone surrogate
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(XmlDomAttributes, SettingAgainReplacesInPlace) {
    DomWithElement d;
    EXPECT_EQ(d.dom.SetString("A", "1"), S_OK);
    EXPECT_EQ(d.dom.SetString("B", "2"), S_OK);
    EXPECT_EQ(d.dom.SetString("A", "3"), S_OK);
    EXPECT_NE(SavedText(d.dom).find(u"<e A=\"3\" B=\"2\""), std::u16string::npos);

    // Without a selected element, writes fail and reads see nothing.
    EXPECT_EQ(d.dom.ReleaseAttributes(), S_OK);
    EXPECT_EQ(d.dom.SetString("C", "4"), E_FAIL);
    uint32_t length = 0;
    EXPECT_EQ(d.dom.GetString("A", nullptr, &length), E_FAIL);
    EXPECT_EQ(d.dom.SelectAttributes(XmlNode()), E_FAIL);
}

TEST(XmlDomDocument, SavesUtf16WithMarkAndDeclaration) {
    XmlDom dom;
    ASSERT_EQ(dom.Status(), S_OK);
    XmlNode root = dom.CreateRootElement("Root");
    ASSERT_TRUE(root);
    ASSERT_TRUE(dom.CreateChildElement(root, "Child"));
    const std::u16string text = SavedText(dom);
    EXPECT_EQ(text.rfind(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", 0), 0u);

    XmlDom again;
    ASSERT_EQ(again.LoadText(text.c_str()), S_OK);
    EXPECT_TRUE(again.FindChild(again.FindDocumentChild("Root"), "Child"));
    // A leading byte-order mark is accepted too.
    ASSERT_EQ(again.LoadText((u"\uFEFF" + text).c_str()), S_OK);
    EXPECT_TRUE(again.FindDocumentChild("Root"));
}

TEST(XmlDomDocument, FindsDirectChildrenInDocumentOrder) {
    XmlDom dom;
    ASSERT_EQ(dom.LoadText(u"<r>\r\n\t<a n='1'><a n='inner'/></a>  <b/>\n<a n='2'/></r>"), S_OK);
    const XmlNode root = dom.FindDocumentChild("r");
    ASSERT_TRUE(root);
    const XmlNodeList list = dom.FindChildren(root, "a");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].attribute("n").value(), "1");
    EXPECT_STREQ(list[1].attribute("n").value(), "2");
    EXPECT_FALSE(dom.FindChild(root, "c"));
    EXPECT_FALSE(dom.FindDocumentChild("a"));  // not a direct child of the document
    EXPECT_TRUE(dom.FindChildren(XmlNode(), "a").empty());
}

TEST(XmlDomDocument, MalformedTextFails) {
    std::u16string deep;
    for (int i = 0; i < 200000; ++i) deep += u"<a>";
    const std::u16string texts[] = {u"", u"   ", u"not xml", u"<a>", u"<a></b>", u"<a x='1></a>",
                                    u"<?xml version='1.0'?>", deep};
    for (const std::u16string& text : texts) {
        XmlDom dom;
        EXPECT_EQ(dom.LoadText(text.c_str()), E_FAIL) << Utf16ToUtf8(text.substr(0, 20));
        EXPECT_FALSE(dom.FindDocumentChild("a"));
    }
    XmlDom dom;
    EXPECT_EQ(dom.LoadText(nullptr), E_FAIL);

    // Deep but well-formed nesting parses without recursion.
    std::u16string closed = deep;
    for (int i = 0; i < 200000; ++i) closed += u"</a>";
    EXPECT_EQ(dom.LoadText(closed.c_str()), S_OK);
}

TEST(XmlDomDocument, FilesRoundTripAndMissingFileIsSFalse) {
    const std::string dir = ::testing::TempDir();
    const std::u16string path = Utf8ToUtf16(dir + "xmldom_\u00E9t\u00E9.xml");
    XmlDom dom;
    XmlNode root = dom.CreateRootElement("Root");
    ASSERT_EQ(dom.SelectAttributes(root), S_OK);
    ASSERT_EQ(dom.SetString("v", "\xE2\x82\xAC"), S_OK);
    ASSERT_EQ(dom.SaveFile(path.c_str()), S_OK);

    XmlDom loaded;
    ASSERT_EQ(loaded.LoadFile(path.c_str()), S_OK);
    ASSERT_EQ(loaded.SelectAttributes(loaded.FindDocumentChild("Root")), S_OK);
    char16_t value[4];
    uint32_t units = 4;
    EXPECT_EQ(loaded.GetWString("v", value, &units), S_OK);
    EXPECT_EQ(std::u16string(value), u"\u20AC");

    // A file above the document limit is refused unread (sparse: it takes no disk space).
    const std::string huge = dir + "xmldom_huge.xml";
    std::ofstream{huge};
    ASSERT_EQ(truncate(huge.c_str(), XmlDom::kMaxDocumentBytes + 1), 0);
    XmlDom tooLarge;
    EXPECT_EQ(tooLarge.LoadFile(Utf8ToUtf16(huge).c_str()), S_FALSE);
    std::remove(huge.c_str());

    XmlDom missing;
    EXPECT_EQ(missing.LoadFile(Utf8ToUtf16(dir + "no/such/file.xml").c_str()), S_FALSE);
    EXPECT_FALSE(missing.FindDocumentChild("Root"));
    EXPECT_EQ(missing.SaveFile(Utf8ToUtf16(dir + "no/such/dir/file.xml").c_str()), E_FAIL);
}

}  // namespace
}  // namespace qel
