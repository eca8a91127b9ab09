// The title format through the serializer: exact round trips of every record, the written tree,
// the load rules for text written by hand, and the checks a loaded title must pass.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TitleSamples.h"
#include "persist/TitleXml.h"

namespace qel {
namespace {

using testing::ExpectSameStoredRecords;
using testing::MakeStyledTitle;

std::u16string SaveToText(std::vector<MetaString>& title) {
    TitleXmlSerializer writer(title);
    EXPECT_EQ(writer.Status(), S_OK);
    EXPECT_EQ(writer.BuildDocument(), S_OK);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(writer.Dom().SaveToMemory(bytes), S_OK);
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return text;
}

std::vector<MetaString> LoadFromText(const std::u16string& text, HRESULT expected = S_OK) {
    std::vector<MetaString> title;
    TitleXmlSerializer reader(title);
    EXPECT_EQ(reader.Dom().LoadText(text.c_str()), S_OK);
    EXPECT_EQ(reader.ReadDocument(), expected);
    return title;
}

TEST(TitleXml, BufferRoundTripKeepsEveryRecord) {
    std::vector<MetaString> title = MakeStyledTitle();
    const std::vector<MetaString> loaded = LoadFromText(SaveToText(title));
    ASSERT_EQ(loaded.size(), title.size());
    for (size_t i = 0; i < title.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameStoredRecords(title[i], loaded[i]);
    }
    ASSERT_TRUE(IsUsableTitle(title));
}

TEST(TitleXml, NodeRoundTripWritesOnlyTheStringList) {
    std::vector<MetaString> title = MakeStyledTitle();
    XmlDom host;
    XmlNode project = host.CreateRootElement("Project");
    XmlNode slot = host.CreateChildElement(project, "TitleSlot");
    TitleXmlSerializer writer(title);
    ASSERT_EQ(writer.WriteStrings(slot), S_OK);
    EXPECT_STREQ(slot.first_child().name(), "StringList");
    EXPECT_FALSE(slot.child("CTitle"));
    EXPECT_FALSE(slot.child("Header"));

    std::vector<MetaString> loaded;
    TitleXmlSerializer reader(loaded);
    ASSERT_EQ(reader.ReadStrings(slot), S_OK);
    ASSERT_EQ(loaded.size(), title.size());
    for (size_t i = 0; i < title.size(); ++i) ExpectSameStoredRecords(title[i], loaded[i]);

    // A text node cannot hold the list.
    XmlNode text = slot.append_child(pugi::node_pcdata);
    EXPECT_EQ(writer.WriteStrings(text), E_FAIL);
}

TEST(TitleXml, WrittenTreeOrderAndAttributes) {
    std::vector<MetaString> title = MakeStyledTitle();
    XmlDom dom;
    ASSERT_EQ(dom.LoadText(SaveToText(title).c_str()), S_OK);
    const XmlNode root = dom.FindDocumentChild("CTitle");
    ASSERT_TRUE(root);
    EXPECT_STREQ(root.attribute("Version").value(), "2.0");

    std::vector<std::string> rootChildren;
    for (XmlNode n : root.children()) rootChildren.push_back(n.name());
    EXPECT_EQ(rootChildren, (std::vector<std::string>{"Header", "StringList"}));
    const XmlNode info = root.child("Header").child("Information");
    EXPECT_STREQ(info.attribute("Creator").value(), "CTitle Exported XML");
    EXPECT_EQ(info.attribute("CreateDate").value(), TitleSaveDate());
    EXPECT_EQ(info.attribute("LastModified").value(), TitleSaveDate());
    EXPECT_EQ(std::string(info.first_attribute().name()), "Creator");

    const XmlNodeList strings = dom.FindChildren(root.child("StringList"), "MetaString");
    ASSERT_EQ(strings.size(), 3u);
    for (size_t i = 0; i < strings.size(); ++i) {
        std::vector<std::string> lists;
        for (XmlNode n : strings[i].children()) lists.push_back(n.name());
        EXPECT_EQ(lists, (std::vector<std::string>{"CharList", "LineList", "ParagraphList", "FontList", "FaceList",
                                                   "BorderList", "ShadowList", "PathList"}));
        EXPECT_EQ(strings[i].attribute("Index").as_uint(), i);
    }
    std::vector<std::string> attributes;
    for (pugi::xml_attribute a : strings[0].attributes()) attributes.push_back(a.name());
    EXPECT_EQ(attributes, (std::vector<std::string>{"Index", "Left", "Top", "Width", "Height", "ParagraphCount",
                                                    "WidthLimit", "RotateDegree", "Vertical", "PathID",
                                                    "PathProgress", "MaskFile"}));
    attributes.clear();
    for (pugi::xml_attribute a : strings[0].child("CharList").child("MetaCharacter").attributes()) {
        attributes.push_back(a.name());
    }
    EXPECT_EQ(attributes, (std::vector<std::string>{"Index", "Value", "Left", "Top", "Width", "Height", "WidthScale",
                                                    "Spacing", "LineIndex", "FontIndex", "FaceIndex", "BorderIndex",
                                                    "ShadowIndex"}));

    // Values in their written forms.
    const XmlNode face = strings[0].child("FaceList").last_child();
    EXPECT_STREQ(face.attribute("Color1").value(), "2147483648");
    EXPECT_STREQ(face.attribute("Enable").value(), "false");
    EXPECT_STREQ(strings[0].attribute("Left").value(), "100.500000");
    const std::string logFont = strings[0].child("FontList").child("MetaFont").attribute("LogFont").value();
    EXPECT_EQ(logFont.size(), 184u);
    EXPECT_EQ(logFont.substr(0, 8), "00F8FFFF");  // -2048, little-endian

    // Key frames ascend, Index counts from 1; the empty string still has its empty lists.
    std::vector<std::string> keys, indices;
    for (XmlNode p : strings[0].child("PathList").children("MetaPath")) {
        keys.push_back(p.attribute("KeyFrame").value());
        indices.push_back(p.attribute("Index").value());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"0.000000", "0.500000", "1.000000"}));
    EXPECT_EQ(indices, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_TRUE(strings[2].child("PathList"));
    EXPECT_FALSE(strings[2].child("PathList").first_child());
    EXPECT_FALSE(strings[2].child("CharList").first_child());
}

TEST(TitleXml, EmptyTitleSavesAndLoads) {
    std::vector<MetaString> none;
    const std::u16string text = SaveToText(none);
    EXPECT_NE(text.find(u"<StringList"), std::u16string::npos);
    EXPECT_TRUE(LoadFromText(text).empty());
}

TEST(TitleXml, HandwrittenFileFollowsTheLoadRules) {
    std::vector<MetaString> title;
    TitleXmlSerializer reader(title);
    const std::u16string path = Utf8ToUtf16(testing::DataPath("handwritten_utf16.xml"));
    ASSERT_EQ(reader.Dom().LoadFile(path.c_str()), S_OK);
    ASSERT_EQ(reader.ReadDocument(), S_OK);
    ASSERT_EQ(title.size(), 2u);
    const MetaString& s = title[0];

    EXPECT_EQ(s.Left, 100.5f);
    EXPECT_EQ(s.Vertical, 1);  // TRUE
    EXPECT_STREQ(s.PathID, "PATH_FADE");
    EXPECT_STREQ(s.MaskFile, "");  // absent
    EXPECT_EQ(s.RotateDegree, 15.0f);

    // Document order decides, Index attributes do not.
    ASSERT_EQ(s.chars.size(), 4u);
    const uint16_t values[] = {65, 13, 10, 66};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(s.chars[i].Value, values[i]);
    EXPECT_EQ(s.chars[0].WidthScale, 1.5f);
    EXPECT_EQ(s.chars[0].Left, 0.0f);  // absent

    ASSERT_EQ(s.faces.size(), 2u);
    EXPECT_EQ(s.faces[0].Enable, 1u);  // True
    EXPECT_EQ(s.faces[0].Color1, 16711680u);
    EXPECT_EQ(s.faces[0].Color2, 4278190080u);
    EXPECT_EQ(s.faces[0].GradType, -1);
    EXPECT_EQ(s.faces[0].Alpha, 255u);  // 511: low 8 bits
    EXPECT_EQ(s.faces[1].Enable, 0u);   // "1" is not true
    EXPECT_EQ(s.faces[1].Color1, 0xFFFFFFFFu);
    EXPECT_EQ(s.faces[1].Color2, 255u);
    ASSERT_EQ(s.borders.size(), 1u);
    EXPECT_EQ(s.borders[0].Enable, 0u);  // "yes" is not true
    ASSERT_EQ(s.shadows.size(), 1u);
    EXPECT_EQ(s.shadows[0].OffsetX, -2.5f);
    EXPECT_EQ(s.shadows[0].Height, 1u);

    ASSERT_EQ(s.fonts.size(), 2u);
    EXPECT_EQ(std::u16string(s.fonts[0].LogFont.lfFaceName), u"DejaVu Sans");
    EXPECT_EQ(s.fonts[0].LogFont.lfHeight, -2048);
    EXPECT_EQ(std::u16string(s.fonts[1].LogFont.lfFaceName), u"DejaVu Serif");  // lower-case digits
    EXPECT_EQ(s.fonts[1].LogFont.lfWeight, 700);
    EXPECT_EQ(s.fonts[1].LogFont.lfItalic, 1);

    // Equal keys: the first in document order stays. A 300-character identifier reads empty.
    ASSERT_EQ(s.KeyFrames.size(), 2u);
    EXPECT_STREQ(s.KeyFrames.at(0.5f).PathID, "PATH_FADE");
    EXPECT_EQ(s.KeyFrames.at(0.5f).PathProgress, 0.2f);
    EXPECT_STREQ(s.KeyFrames.at(0.0f).PathID, "");
    EXPECT_STREQ(title[1].PathID, "");
    EXPECT_TRUE(title[1].chars.empty());

    EXPECT_TRUE(IsUsableTitle(title));
}

TEST(TitleXml, MissingRootOrListFails) {
    const char16_t* failing[] = {u"<Other><StringList/></Other>", u"<CTitle Version='2.0'><Header/></CTitle>",
                                 u"<CTitle><stringlist/></CTitle>"};
    for (const char16_t* text : failing) {
        const std::vector<MetaString> title = LoadFromText(text, E_FAIL);
        EXPECT_TRUE(title.empty());
    }
    // Any version, no header, an unknown element: accepted.
    EXPECT_EQ(LoadFromText(u"<CTitle Version='9'><Extra/><StringList><MetaString/></StringList></CTitle>").size(), 1u);
}

TEST(TitleXml, LogFontShortLongAndUnterminated) {
    const std::string fullName(128, 'A');  // 32 units of 0xAAAA, no terminator
    const std::u16string text = u"<CTitle><StringList><MetaString><FontList>"
                                u"<MetaFont LogFont='00F8FFFF'/>"
                                u"<MetaFont LogFont='" + Utf8ToUtf16(std::string(186, '1')) + u"'/>"
                                u"<MetaFont LogFont='" + Utf8ToUtf16(std::string(56, '0') + fullName) + u"'/>"
                                u"<MetaFont LogFont='NOTHEX'/>"
                                u"</FontList></MetaString></StringList></CTitle>";
    const std::vector<MetaString> title = LoadFromText(text);
    ASSERT_EQ(title.size(), 1u);
    const std::vector<MetaFont>& fonts = title[0].fonts;
    ASSERT_EQ(fonts.size(), 4u);
    EXPECT_EQ(fonts[0].LogFont.lfHeight, -2048);  // only the bytes present; the rest stay zero
    EXPECT_EQ(fonts[0].LogFont.lfWeight, 0);
    EXPECT_EQ(fonts[1].LogFont.lfHeight, 0);  // too long for the record: nothing read
    EXPECT_EQ(fonts[2].LogFont.lfFaceName[30], 0xAAAA);
    EXPECT_EQ(fonts[2].LogFont.lfFaceName[31], 0);  // always terminated
    EXPECT_EQ(fonts[3].LogFont.lfHeight, 0);
}

TEST(TitleXml, NotANumberKeyReadsAsZero) {
    const std::vector<MetaString> title = LoadFromText(
        u"<CTitle><StringList><MetaString><PathList>"
        u"<MetaPath KeyFrame='nan' PathID='A'/><MetaPath KeyFrame='0' PathID='B'/><MetaPath KeyFrame='0.5'/>"
        u"</PathList></MetaString></StringList></CTitle>");
    ASSERT_EQ(title.size(), 1u);
    ASSERT_EQ(title[0].KeyFrames.size(), 2u);
    EXPECT_STREQ(title[0].KeyFrames.at(0.0f).PathID, "A");
}

// Each mutation breaks one rule a loaded title must satisfy before it is used.
TEST(TitleXml, UnusableTitlesAreDetected) {
    using Mutation = std::function<void(MetaString&)>;
    const struct {
        const char* name;
        Mutation mutate;
    } cases[] = {
        {"font index past the list", [](MetaString& s) { s.chars[0].FontIndex = 2; }},
        {"negative face index", [](MetaString& s) { s.chars[1].FaceIndex = -1; }},
        {"border list missing", [](MetaString& s) { s.borders.clear(); }},
        {"shadow index past the list", [](MetaString& s) { s.chars.back().ShadowIndex = 99; }},
        {"line past the last character", [](MetaString& s) { s.lines.back().CharEnd += 1; }},
        {"gap between lines", [](MetaString& s) { s.lines[1].CharStart += 1; }},
        {"line list missing", [](MetaString& s) { s.lines.clear(); }},
        {"paragraph list missing", [](MetaString& s) { s.paragraphs.clear(); }},
        {"reversed line", [](MetaString& s) { std::swap(s.lines[0].CharStart, s.lines[0].CharEnd); }},
        {"paragraph past the last line", [](MetaString& s) { s.paragraphs.back().LineEnd = 5; }},
        {"character names the wrong line", [](MetaString& s) { s.chars[0].LineIndex = 1; }},
        {"line names the wrong paragraph", [](MetaString& s) { s.lines[0].ParagraphIndex = 1; }},
        {"line index out of range", [](MetaString& s) { s.chars.back().LineIndex = 1000; }},
        {"huge range", [](MetaString& s) { s.lines.back().CharEnd = INT32_MAX; }},
        {"lines without characters",
         [](MetaString& s) {
             s.chars.clear();
             s.paragraphs.clear();
         }},
    };
    for (const auto& c : cases) {
        std::vector<MetaString> title = MakeStyledTitle();
        c.mutate(title[0]);
        std::string why;
        EXPECT_FALSE(IsUsableTitle(title, &why)) << c.name;
        EXPECT_NE(why.find("string 0"), std::string::npos) << c.name;
    }
}

}  // namespace
}  // namespace qel
