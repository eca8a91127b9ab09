#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "effects/EffectCatalog.h"
#include "effects/PathEffect.h"

namespace qel {
namespace {

std::vector<const EffectTableRow*> AllRows() {
    std::vector<const EffectTableRow*> rows;
    for (int k = 0; k < EffectCatalog::BuiltInRowCount(); ++k) rows.push_back(&EffectCatalog::BuiltInRow(k));
    return rows;
}

TEST(EffectTable, CountsByLevelPassesWholeImageAndGroup) {
    const auto rows = AllRows();
    ASSERT_EQ(rows.size(), 65u);
    std::map<int, int> byLevel, byPasses;
    std::map<std::string, int> byGroup;
    std::vector<std::string> wholeImage;
    for (const EffectTableRow* row : rows) {
        ++byLevel[row->level];
        ++byPasses[row->passes];
        ++byGroup[row->groupId];
        if (row->wholeImage) wholeImage.push_back(row->pathId);
    }
    EXPECT_EQ(byLevel, (std::map<int, int>{{1, 39}, {2, 26}}));
    EXPECT_EQ(byPasses, (std::map<int, int>{{1, 56}, {2, 9}}));
    EXPECT_EQ(wholeImage, (std::vector<std::string>{"PATH_BLURLEFT", "PATH_BLURRIGHT", "PATH_PERSPECTIVESCROLL",
                                                     "PATH_GLOW"}));
    EXPECT_EQ(byGroup, (std::map<std::string, int>{{"CLASS_SLIDE", 17},
                                                    {"CLASS_POPUP", 9},
                                                    {"CLASS_FLY", 9},
                                                    {"CLASS_ROTATE", 9},
                                                    {"CLASS_SPECIAL", 8},
                                                    {"CLASS_WIPE", 7},
                                                    {"CLASS_ROLLNCRAWL", 5},
                                                    {"CLASS_NOEFFECT", 1}}));
}

TEST(EffectTable, RowsAreTerminatedKeyedFromTheirPathAndCreatable) {
    EXPECT_STREQ(EffectCatalog::BuiltInRow(0).nameKey, "IDS_DSP_Ti_AmplifyH_Name");
    EXPECT_STREQ(EffectCatalog::BuiltInRow(0).descKey, "IDS_DSP_Ti_AmplifyH_Desc");
    EXPECT_STREQ(EffectCatalog::BuiltInRow(64).pathId, "PATH_GLOW");
    EXPECT_STREQ(EffectCatalog::BuiltInRow(65).pathId, "");  // outside the table: an empty row
    EXPECT_STREQ(EffectCatalog::BuiltInRow(-1).pathId, "");

    EffectCatalog catalog;
    std::map<std::string, int> seen;
    for (const EffectTableRow* row : AllRows()) {
        ASSERT_LT(std::strlen(row->pathId), sizeof row->pathId);
        EXPECT_EQ(std::strncmp(row->pathId, "PATH_", 5), 0) << row->pathId;
        EXPECT_EQ(++seen[row->pathId], 1) << row->pathId << " listed twice";
        // The display key is the mixed-case spelling of the identifier's tail.
        std::string key = std::string(row->nameKey).substr(11);
        key = key.substr(0, key.size() - 5);
        std::string upper;
        for (char c : key) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ("PATH_" + upper, row->pathId);
        EXPECT_EQ(std::string(row->descKey), "IDS_DSP_Ti_" + key + "_Desc");

        const std::unique_ptr<PathEffect> effect = EffectCatalog::CreateEffect(row->pathId);
        ASSERT_NE(effect, nullptr) << row->pathId;
        EXPECT_EQ(effect->CharCount(), 0);
        EXPECT_TRUE(effect->Chars().empty());
    }
}

TEST(EffectCatalog, CreatesOnlyExactIdentifiers) {
    const struct {
        const char* id;
        bool created;
    } cases[] = {
        {"PATH_GLOW", true},          {"PATH_PERSPECTIVESCROLL", true}, {"PATH_SCROLLNRESIZE", true},
        {"path_glow", false},         {"path_perspectivescroll", false}, {"PATH_GLOW ", false},
        {" PATH_GLOW", false},        {"PATH_GLO", false},               {"PATH_", false},
        {"", false},                  {nullptr, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EffectCatalog::CreateEffect(c.id) != nullptr, c.created) << (c.id ? c.id : "(null)");
    }
}

TEST(EffectCatalog, PassCountAndWholeImageComeFromTheBuiltInTable) {
    const struct {
        const char* id;
        int passes;
        int wholeImage;
    } cases[] = {
        {"PATH_TRANCEUP", 2, 0},      {"PATH_SLIDEUP", 1, 0},          {"PATH_DOUBLEVISIONV", 2, 0},
        {"PATH_GLOW", 1, 1},          {"PATH_PERSPECTIVESCROLL", 1, 1}, {"PATH_SCROLLNRESIZE", 0, 0},
        {"path_tranceup", 0, 0},      {"", 0, 0},                      {nullptr, 0, 0},
    };
    EffectCatalog catalog;
    ASSERT_EQ(catalog.SelectByLevel(3), 0);  // nothing offered: the answers must not depend on it
    for (const auto& c : cases) {
        const char* name = c.id ? c.id : "(null)";
        EXPECT_EQ(catalog.GetPassCount(c.id), c.passes) << name;
        EXPECT_EQ(catalog.IsWholeImage(c.id), c.wholeImage) << name;
    }
}

// Records every enumeration call; E_ABORT is returned from call number abortAt (1-based).
struct EnumLog {
    std::vector<std::string> ids, names, descs, groups;
    std::vector<std::u16string> wideNames;
    size_t abortAt = 0;
};
EnumLog* gLog = nullptr;

int32_t RecordNarrow(const char* id, const void* name, const void* desc, const char* group) {
    gLog->ids.push_back(id);
    gLog->names.push_back(static_cast<const char*>(name));
    gLog->descs.push_back(static_cast<const char*>(desc));
    gLog->groups.push_back(group);
    return gLog->ids.size() == gLog->abortAt ? E_ABORT : S_FALSE;
}

int32_t RecordWide(const char* id, const void* name, const void*, const char*) {
    gLog->ids.push_back(id);
    gLog->wideNames.push_back(static_cast<const char16_t*>(name));
    return gLog->ids.size() == gLog->abortAt ? E_ABORT : 0;
}

class EffectEnumeration : public ::testing::Test {
protected:
    void SetUp() override { gLog = &log; }
    void TearDown() override { gLog = nullptr; }
    EffectCatalog catalog;
    EnumLog log;
};

TEST_F(EffectEnumeration, LevelTwoOffersTwentySixRowsInTableOrder) {
    EXPECT_EQ(catalog.EnumEffects(RecordNarrow), 0);  // nothing offered yet
    EXPECT_TRUE(log.ids.empty());

    ASSERT_EQ(catalog.SelectByLevel(2), 26);
    EXPECT_EQ(catalog.EnumEffects(RecordNarrow), 0);
    ASSERT_EQ(log.ids.size(), 26u);
    EXPECT_EQ(log.ids.front(), "PATH_FLOCKING");
    EXPECT_EQ(log.ids.back(), "PATH_FADE");
    EXPECT_EQ(log.groups.front(), "CLASS_SPECIAL");
    // No string table loaded: the keys themselves are the texts.
    EXPECT_EQ(log.names.front(), "IDS_DSP_Ti_Flocking_Name");
    EXPECT_EQ(log.descs.back(), "IDS_DSP_Ti_Fade_Desc");

    EXPECT_EQ(catalog.GetEffectName("PATH_SLIDEUP"), nullptr);  // level 1 only: no longer offered
    EXPECT_STREQ(catalog.GetEffectName("PATH_FADE"), "IDS_DSP_Ti_Fade_Name");
}

TEST_F(EffectEnumeration, LevelZeroKeepsTheOfferAndHigherLevelsEmptyIt) {
    ASSERT_EQ(catalog.SelectByLevel(1), 65);
    EXPECT_EQ(catalog.SelectByLevel(0), 0);
    EXPECT_STREQ(catalog.GetEffectName("PATH_SLIDEUP"), "IDS_DSP_Ti_SlideUp_Name");
    EXPECT_EQ(catalog.SelectByLevel(255), 0);
    EXPECT_EQ(catalog.GetEffectName("PATH_FADE"), nullptr);
    catalog.EnumEffects(RecordNarrow);
    EXPECT_TRUE(log.ids.empty());
}

TEST_F(EffectEnumeration, AbortStopsTheWalkAndOtherResultsGoOn) {
    catalog.SelectByLevel(1);
    log.abortAt = 1;
    catalog.EnumEffects(RecordNarrow);
    EXPECT_EQ(log.ids.size(), 1u);

    log = {};
    log.abortAt = 3;
    catalog.EnumEffectsW(RecordWide);
    EXPECT_EQ(log.ids, (std::vector<std::string>{"PATH_AMPLIFYH", "PATH_AMPLIFYV", "PATH_ASSEMBLY"}));
    EXPECT_EQ(log.wideNames.front(), u"IDS_DSP_Ti_AmplifyH_Name");

    EXPECT_EQ(catalog.EnumEffects(nullptr), 0);
    EXPECT_EQ(catalog.EnumEffectsW(nullptr), 0);
}

TEST_F(EffectEnumeration, NamesAndDescriptionsComeFromTheFirstOfferedRow) {
    catalog.SelectByLevel(1);
    EXPECT_STREQ(catalog.GetEffectName("PATH_SLIDEUP"), "IDS_DSP_Ti_SlideUp_Name");
    EXPECT_STREQ(catalog.GetEffectDesc("PATH_SLIDEUP"), "IDS_DSP_Ti_SlideUp_Desc");
    EXPECT_EQ(std::u16string(catalog.GetEffectNameW("PATH_GLOW")), u"IDS_DSP_Ti_Glow_Name");
    EXPECT_EQ(std::u16string(catalog.GetEffectDescW("PATH_GLOW")), u"IDS_DSP_Ti_Glow_Desc");
    for (const char* id : {"PATH_SCROLLNRESIZE", "path_glow", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(catalog.GetEffectName(id), nullptr);
        EXPECT_EQ(catalog.GetEffectNameW(id), nullptr);
        EXPECT_EQ(catalog.GetEffectDesc(id), nullptr);
        EXPECT_EQ(catalog.GetEffectDescW(id), nullptr);
    }
}

TEST(EffectCatalog, EveryCreationIsAnIndependentEffect) {
    std::unique_ptr<PathEffect> a = EffectCatalog::CreateEffect("PATH_FADE");
    std::unique_ptr<PathEffect> b = EffectCatalog::CreateEffect("PATH_FADE");
    std::unique_ptr<PathEffect> c = EffectCatalog::CreateEffect("PATH_WIPEUP");
    ASSERT_TRUE(a && b && c);
    EXPECT_NE(a, b);
    EXPECT_EQ(EffectCatalog::CreateEffect("PATH_FADEX"), nullptr);
    // Freeing one out of creation order keeps the others usable.
    b.reset();
    a->SetUp({320, 240, 0, 0, 10, 10, 0, 1, {{0, 0, 10, 10, 0, 8}}, {}, {}});
    c->SetUp({320, 240, 0, 0, 10, 10, 0, 2, {}, {}, {}});
    EXPECT_EQ(a->CharCount(), 1);
    EXPECT_EQ(c->CharCount(), 2);
}

}  // namespace
}  // namespace qel
