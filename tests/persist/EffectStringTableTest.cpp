// The effect string table: lookups before and after loading, duplicates, non-ASCII captions and
// files that are not string tables.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "persist/StringTableFile.h"
#include "persist/XmlDom.h"

namespace qel {
namespace {

std::u16string WriteTable(const std::string& name, const std::string& utf8Xml) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << utf8Xml;
    return Utf8ToUtf16(path);
}

TEST(EffectStringTable, KeysStandForThemselvesBeforeALoad) {
    EffectStringTable table;
    const char* key = "IDS_DSP_Ti_AmplifyH_Name";
    const char* narrow = table.LookupCaption(key);
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow, key);
    EXPECT_NE(narrow, key);                        // a stored copy
    EXPECT_EQ(table.LookupCaption(key), narrow);  // and the same one next time
    EXPECT_EQ(std::u16string(table.LookupCaptionW(key)), u"IDS_DSP_Ti_AmplifyH_Name");
    EXPECT_EQ(std::u16string(table.LookupCaptionW("K\xC3\xA9y")), u"K\u00E9y");
    EXPECT_EQ(table.LookupCaption(nullptr), nullptr);
    EXPECT_EQ(table.LookupCaptionW(nullptr), nullptr);
}

TEST(EffectStringTable, LoadsGroupsWithLaterDuplicatesWinning) {
    const std::string longCaption(100 * 3, 'x');  // fits as UTF-16 only when made of 3-byte characters
    std::string euros;
    for (int i = 0; i < 100; ++i) euros += "\xE2\x82\xAC";
    const std::u16string path = WriteTable("strings_ok.xml",
        "<?xml version='1.0' encoding='UTF-8'?>\n"
        "<QelDspInfo language='de' version='1'>\n"
        "  <StringTable>\n"
        "    <StringGroup name='first'>\n"
        "      <StringItem stringID='IDS_A' stringCaption='Alpha'/>\n"
        "      <StringItem stringID='IDS_B' stringCaption='\xC3\x9C" "berblendung \xE2\x9C\x93 \xF0\x9F\x98\x80'/>\n"
        "      <StringItem stringCaption='no key'/>\n"
        "      <StringItem stringID='IDS_EURO' stringCaption='" + euros + "'/>\n"
        "    </StringGroup>\n"
        "    <StringGroup name='empty'/>\n"
        "    <StringGroup name='second'><StringItem stringID='IDS_A' stringCaption='Alpha 2'/></StringGroup>\n"
        "  </StringTable>\n"
        "</QelDspInfo>\n");
    EffectStringTable table;
    ASSERT_EQ(LoadStringTableFile(path.c_str(), table), S_OK);
    EXPECT_STREQ(table.LookupCaption("IDS_A"), "Alpha 2");
    EXPECT_EQ(std::u16string(table.LookupCaptionW("IDS_A")), u"Alpha 2");
    EXPECT_STREQ(table.LookupCaption("IDS_B"), "\xC3\x9C" "berblendung \xE2\x9C\x93 \xF0\x9F\x98\x80");
    EXPECT_EQ(std::u16string(table.LookupCaptionW("IDS_B")), u"\u00DCberblendung \u2713 \U0001F600");
    EXPECT_STREQ(table.LookupCaption(""), "no key");
    // 300 bytes do not fit the narrow text, 100 units fit the wide one.
    EXPECT_STREQ(table.LookupCaption("IDS_EURO"), "");
    EXPECT_EQ(std::u16string(table.LookupCaptionW("IDS_EURO")).size(), 100u);
    EXPECT_STREQ(table.LookupCaption("IDS_MISSING"), "IDS_MISSING");

    // A failed load empties the table.
    EXPECT_EQ(LoadStringTableFile(WriteTable("strings_missing_none.xml", "").c_str(), table), E_FAIL);
    EXPECT_STREQ(table.LookupCaption("IDS_A"), "IDS_A");
}

TEST(EffectStringTable, FilesThatAreNotTablesFail) {
    const struct {
        const char* name;
        const char* xml;
    } cases[] = {
        {"strings_wrong_root.xml", "<Other><StringTable><StringGroup><StringItem stringID='IDS_A' "
                                   "stringCaption='A'/></StringGroup></StringTable></Other>"},
        {"strings_no_table.xml", "<QelDspInfo><StringGroup><StringItem stringID='IDS_A' stringCaption='A'/>"
                                 "</StringGroup></QelDspInfo>"},
        {"strings_broken.xml", "<QelDspInfo><StringTable>"},
    };
    for (const auto& c : cases) {
        EffectStringTable table;
        EXPECT_EQ(LoadStringTableFile(WriteTable(c.name, c.xml).c_str(), table), E_FAIL) << c.name;
        EXPECT_STREQ(table.LookupCaption("IDS_A"), "IDS_A") << c.name;
    }
    EffectStringTable table;
    EXPECT_EQ(LoadStringTableFile(u"/no/such/strings.xml", table), E_FAIL);
    EXPECT_EQ(LoadStringTableFile(nullptr, table), E_INVALIDARG);
    // A table without groups is a table.
    EXPECT_EQ(LoadStringTableFile(WriteTable("strings_no_groups.xml", "<QelDspInfo><StringTable/></QelDspInfo>").c_str(), table),
              S_OK);
}

}  // namespace
}  // namespace qel
