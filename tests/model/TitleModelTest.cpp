// Style interning and release, structure repair and key-frame evaluation on bare strings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "model/TitleModel.h"

namespace qel {
namespace {

MetaFace Face(uint32_t color) { return {1, color, color, 0, 255, 0}; }

// A string whose characters use the given face indices, over a table of faces 0..n-1.
MetaString WithFaces(const std::vector<int32_t>& indices, size_t tableSize) {
    MetaString s;
    for (size_t i = 0; i < tableSize; ++i) s.faces.push_back(Face(static_cast<uint32_t>(i)));
    for (int32_t e : indices) {
        MetaCharacter c;
        c.FaceIndex = e;
        s.chars.push_back(c);
    }
    return s;
}

TEST(StyleTable, FindOrAddComparesExactBytes) {
    std::vector<MetaShadow> table;
    MetaShadow a{1, 1, 0, 0, 0, 128, 3, 3.0f, 0.0f, 0};
    MetaShadow negativeZero = a;
    negativeZero.OffsetY = -0.0f;  // equal as a float, different bits
    EXPECT_EQ(FindOrAdd(table, a), 0);
    EXPECT_EQ(FindOrAdd(table, negativeZero), 1);
    EXPECT_EQ(FindOrAdd(table, a), 0);
    EXPECT_EQ(FindOrAdd(table, negativeZero), 1);
    EXPECT_EQ(table.size(), 2u);
}

TEST(StyleTable, ReleaseErasesOnlyEntriesUsedByTheRangeAlone) {
    struct Case {
        const char* what;
        std::vector<int32_t> before;
        int32_t first, count;
        std::vector<int32_t> after;        // -1: left for the caller to overwrite
        std::vector<uint32_t> tableAfter;  // colours of the remaining faces, in order
    };
    const Case cases[] = {
        {"shared entry stays", {0, 0, 1}, 0, 1, {0, 0, 1}, {0, 1}},
        {"sole user erases and renumbers", {0, 1, 2}, 0, 1, {-1, 0, 1}, {1, 2}},
        {"middle entry", {0, 1, 2, 1}, 1, 1, {0, 1, 2, 1}, {0, 1, 2}},
        {"both users in range", {0, 1, 2, 1}, 1, 3, {0, -1, -1, -1}, {0}},
        {"repeated entry in range", {2, 2, 0, 1}, 0, 2, {-1, -1, 0, 1}, {0, 1}},
        {"every character", {1, 0}, 0, 2, {-1, -1}, {}},
        {"empty range", {0, 1}, 1, 0, {0, 1}, {0, 1}},
    };
    for (const Case& c : cases) {
        MetaString s = WithFaces(c.before, 3);
        // Entries no character uses at the start are not the release's business: drop them.
        std::vector<bool> used(3);
        for (int32_t e : c.before) used[static_cast<size_t>(e)] = true;
        for (int32_t e = 2; e >= 0; --e) {
            if (used[static_cast<size_t>(e)]) continue;
            s.faces.erase(s.faces.begin() + e);
            for (MetaCharacter& ch : s.chars) ch.FaceIndex -= ch.FaceIndex > e;
        }
        ReleaseFaceEntries(s, c.first, c.count);
        std::vector<int32_t> after;
        for (const MetaCharacter& ch : s.chars) after.push_back(ch.FaceIndex);
        std::vector<uint32_t> colours;
        for (const MetaFace& f : s.faces) colours.push_back(f.Color1);
        EXPECT_EQ(after, c.after) << c.what;
        EXPECT_EQ(colours, c.tableAfter) << c.what;
    }
}

TEST(Structure, RebuildKeepsParagraphAttributesInOrder) {
    MetaString s;
    for (char16_t v : std::u16string(u"A\r\nB\r\nC")) {
        MetaCharacter c;
        c.Value = v;
        c.LineIndex = 99;  // nonsense, as a damaged file might hold
        s.chars.push_back(c);
    }
    s.paragraphs.resize(2);
    s.paragraphs[0].Align = 2;
    s.paragraphs[1].Align = 6;
    EXPECT_FALSE(StructureValid(s));

    RebuildStructure(s, ParagraphAttrs{4, 0, 0, 0, 0, 0});
    ASSERT_TRUE(StructureValid(s));
    ASSERT_EQ(s.paragraphs.size(), 3u);
    EXPECT_EQ(s.paragraphs[0].Align, 2u);
    EXPECT_EQ(s.paragraphs[1].Align, 6u);
    EXPECT_EQ(s.paragraphs[2].Align, 4u);
    EXPECT_EQ(s.lines[1].CharStart, 2);  // the LF begins the second paragraph
    EXPECT_EQ(s.lines[0].CharEnd, 1);    // the CR ends the first
}

PathValue Path(const char* id, float progress) {
    PathValue v{};
    std::strncpy(v.PathID, id, sizeof v.PathID - 1);
    v.PathProgress = progress;
    return v;
}

TEST(KeyFrames, EvaluationBetweenAroundAndOnKeys) {
    struct Case {
        float t;
        const char* id;
        float progress;
    };
    const Case fade[] = {
        {0.4f, "PATH_FADE", 0.5f}, {0.1f, "", 0.0f},       {0.7f, "", 0.0f},
        {0.2f, "PATH_FADE", 0.0f}, {0.6f, "PATH_FADE", 1.0f}, {0.5f, "PATH_FADE", 0.75f},
    };
    for (const Case& c : fade) {
        MetaString s;
        StoreKeyFrame(s, 0.2f, Path("PATH_FADE", 0.0f));
        StoreKeyFrame(s, 0.6f, Path("PATH_FADE", 1.0f));
        EvaluateKeyFrames(s, c.t);
        EXPECT_STREQ(s.PathID, c.id) << c.t;
        EXPECT_NEAR(s.PathProgress, c.progress, 1e-6f) << c.t;
    }

    // The no-effect path always runs at progress 1; different neighbours give the earlier one.
    MetaString s;
    StoreKeyFrame(s, 0.0f, Path("PATH_NOEFFECT", 0.3f));
    StoreKeyFrame(s, 0.5f, Path("PATH_NOEFFECT", 0.1f));
    StoreKeyFrame(s, 1.0f, Path("PATH_WIPERIGHT", 0.0f));
    EvaluateKeyFrames(s, 0.25f);
    EXPECT_STREQ(s.PathID, "PATH_NOEFFECT");
    EXPECT_EQ(s.PathProgress, 1.0f);
    EvaluateKeyFrames(s, 0.0f);
    EXPECT_EQ(s.PathProgress, 1.0f);
    EvaluateKeyFrames(s, 0.75f);
    EXPECT_STREQ(s.PathID, "PATH_NOEFFECT");
    EXPECT_EQ(s.PathProgress, 1.0f);
}

TEST(KeyFrames, IdentifierChangesOnlyWithTheKeyFrames) {
    MetaString s;
    std::strcpy(s.PathID, "PATH_FADE");
    EvaluateKeyFrames(s, 0.5f);  // no key frames: nothing changes
    EXPECT_STREQ(s.PathID, "PATH_FADE");

    StoreKeyFrame(s, 0.0f, Path("PATH_FADE", 0.0f));
    StoreKeyFrame(s, 1.0f, Path("PATH_FADE", 1.0f));
    EvaluateKeyFrames(s, 0.5f);
    EXPECT_STREQ(s.PathID, "PATH_FADE");
    StoreKeyFrame(s, 1.0f, Path("PATH_SLIDEUP", 1.0f));
    EvaluateKeyFrames(s, 1.0f);
    EXPECT_STREQ(s.PathID, "PATH_SLIDEUP");
}

TEST(KeyFrames, StoringAtAnExistingKeyReplacesIt) {
    MetaString s;
    StoreKeyFrame(s, 0.5f, Path("PATH_FADE", 0.0f));
    StoreKeyFrame(s, 0.5f, Path("PATH_WIPEUP", 1.0f));
    ASSERT_EQ(s.KeyFrames.size(), 1u);
    EXPECT_STREQ(s.KeyFrames.at(0.5f).PathID, "PATH_WIPEUP");

    PathValue unterminated;
    std::memset(unterminated.PathID, 'X', sizeof unterminated.PathID);
    unterminated.PathProgress = 0;
    StoreKeyFrame(s, 0.25f, unterminated);
    EXPECT_EQ(std::strlen(s.KeyFrames.at(0.25f).PathID), sizeof unterminated.PathID - 1);
}

}  // namespace
}  // namespace qel
