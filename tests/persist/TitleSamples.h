// A styled, key-framed, multi-string title built record by record, and record comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/DebugOutput.h"
#include "model/TitleModel.h"

namespace qel::testing {

inline LOGFONTW MakeLogFont(std::u16string_view face, int32_t weight, uint8_t italic) {
    LOGFONTW lf{};
    lf.lfHeight = -2048;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfCharSet = 1;
    lf.lfQuality = 4;
    std::memcpy(lf.lfFaceName, face.data(), face.size() * sizeof(char16_t));
    return lf;
}

inline void SetText(char (&member)[260], const char* text) {
    std::memset(member, 0, sizeof member);
    std::strncpy(member, text, sizeof member - 1);
}

// Characters of text on lines split at each CR LF (one line per paragraph), style indices
// taken round-robin from the tables.
inline MetaString MakeString(std::u16string_view text, int seed) {
    MetaString s;
    s.Left = 100.5f + seed;
    s.Top = 80.25f;
    s.Width = 333.125f;
    s.Height = 44.5f;
    s.ParagraphCount = 2 + seed;
    s.WidthLimit = 10000.0f;
    s.RotateDegree = seed ? -12.5f : 0.0f;
    s.Vertical = seed & 1;
    SetText(s.PathID, seed ? "PATH_SLIDEUP" : "PATH_FADE");
    s.PathProgress = 0.75f;
    SetText(s.MaskFile, seed ? "/masks/m\xC3\xA4sk.png" : "");

    s.fonts.push_back({MakeLogFont(u"DejaVu Sans", 400, 0), 0.01171875f, 10.5f, -2.5f, 1.25f, 0.5f, 3.0f, 0.75f,
                       -1.5f, 0.625f});
    s.fonts.push_back({MakeLogFont(u"DejaVu Serif", 700, 1), 0.03125f, 21.0f, -5.0f, 2.5f, 0, 6, 1.5f, -3, 1.25f});
    s.faces.push_back({1, 0x00FF8040u, 0xFF000001u, 3, 200, 2});
    s.faces.push_back({0, 0x80000000u, 0x00123456u, -1, 255, 0});
    s.borders.push_back({1, 4, 0xFFFFFFFFu, 0x00ABCDEFu, 5, 128, 1});
    s.shadows.push_back({1, 0, 0x00010203u, 0xF0F0F0F0u, 7, 96, 6, -2.5f, 3.75f, 1});
    s.shadows.push_back({0, 1, 0, 0, 0, 0, 0, 0, 0, 0});

    int line = 0;
    int paragraph = 0;
    s.paragraphs.push_back({});
    s.lines.push_back({});
    for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && text[i] == 10 && text[i - 1] == 13) {
            s.lines.back().CharEnd = static_cast<int32_t>(i) - 1;
            s.paragraphs.back().LineEnd = line;
            s.lines.push_back({});
            s.lines.back().CharStart = static_cast<int32_t>(i);
            s.lines.back().ParagraphIndex = ++paragraph;
            s.paragraphs.push_back({});
            s.paragraphs.back().LineStart = ++line;
        }
        MetaCharacter c;
        c.Value = text[i];
        c.Left = 1.5f * static_cast<float>(i);
        c.Top = 0.25f;
        c.Width = 12.5f;
        c.Height = 28.0f;
        c.WidthScale = 1.0f + 0.25f * static_cast<float>(i % 3);
        c.Spacing = 0.5f * static_cast<float>(i % 2);
        c.LineIndex = line;
        c.FontIndex = static_cast<int32_t>(i % s.fonts.size());
        c.FaceIndex = static_cast<int32_t>((i / 2) % s.faces.size());
        c.BorderIndex = 0;
        c.ShadowIndex = static_cast<int32_t>(i % s.shadows.size());
        s.chars.push_back(c);
    }
    s.lines.back().CharEnd = static_cast<int32_t>(text.size()) - 1;
    s.paragraphs.back().LineEnd = line;
    for (size_t p = 0; p < s.paragraphs.size(); ++p) {
        MetaParagraph& para = s.paragraphs[p];
        para.Left = 2.0f;
        para.Top = 30.0f * static_cast<float>(p);
        para.Width = 200.0f;
        para.Height = 29.5f;
        para.Align = p ? 6u : 2u;
        para.LineSpace = 1.25f;
        para.BeforeSpace = 3.0f;
        para.AfterSpace = 4.5f;
        para.LeftIndent = 6.0f;
        para.RightIndent = 7.25f;
    }
    for (MetaLine& l : s.lines) {
        l.Left = 1.0f;
        l.Top = 2.0f;
        l.Width = 150.5f;
        l.Height = 29.5f;
    }

    PathValue v{};
    SetText(v.PathID, "PATH_FADE");
    v.PathProgress = 0.5f;
    s.KeyFrames[0.5f] = v;
    SetText(v.PathID, "PATH_NOEFFECT");
    v.PathProgress = 0.0f;
    s.KeyFrames[0.0f] = v;
    SetText(v.PathID, "PATH_WIPERIGHT");
    v.PathProgress = 1.0f;
    s.KeyFrames[1.0f] = v;
    return s;
}

// Two styled strings (with CR LF paragraphs) and an empty one without key frames.
inline std::vector<MetaString> MakeStyledTitle() {
    std::vector<MetaString> title;
    title.push_back(MakeString(u"Hi\r\nthere", 0));
    title.push_back(MakeString(u"\u00C4\u4E2D\r\nx\r\n", 1));
    title.emplace_back();
    SetText(title.back().PathID, "PATH_NOEFFECT");
    return title;
}

template <class T>
bool SameBytes(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Every record that the format carries, compared exactly.
inline void ExpectSameStoredRecords(const MetaString& a, const MetaString& b) {
    EXPECT_EQ(a.Left, b.Left);
    EXPECT_EQ(a.Top, b.Top);
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_EQ(a.ParagraphCount, b.ParagraphCount);
    EXPECT_EQ(a.WidthLimit, b.WidthLimit);
    EXPECT_EQ(a.RotateDegree, b.RotateDegree);
    EXPECT_EQ(a.Vertical, b.Vertical);
    EXPECT_STREQ(a.PathID, b.PathID);
    EXPECT_EQ(a.PathProgress, b.PathProgress);
    EXPECT_STREQ(a.MaskFile, b.MaskFile);

    ASSERT_EQ(a.chars.size(), b.chars.size());
    for (size_t i = 0; i < a.chars.size(); ++i) {
        const MetaCharacter &x = a.chars[i], &y = b.chars[i];
        EXPECT_TRUE(x.Value == y.Value && x.Left == y.Left && x.Top == y.Top && x.Width == y.Width &&
                    x.Height == y.Height && x.WidthScale == y.WidthScale && x.Spacing == y.Spacing &&
                    x.LineIndex == y.LineIndex && x.FontIndex == y.FontIndex && x.FaceIndex == y.FaceIndex &&
                    x.BorderIndex == y.BorderIndex && x.ShadowIndex == y.ShadowIndex)
            << "character " << i;
    }
    ASSERT_EQ(a.lines.size(), b.lines.size());
    for (size_t i = 0; i < a.lines.size(); ++i) EXPECT_TRUE(SameBytes(a.lines[i], b.lines[i])) << "line " << i;
    ASSERT_EQ(a.paragraphs.size(), b.paragraphs.size());
    for (size_t i = 0; i < a.paragraphs.size(); ++i) {
        EXPECT_TRUE(SameBytes(a.paragraphs[i], b.paragraphs[i])) << "paragraph " << i;
    }
    ASSERT_EQ(a.fonts.size(), b.fonts.size());
    for (size_t i = 0; i < a.fonts.size(); ++i) EXPECT_TRUE(SameBytes(a.fonts[i], b.fonts[i])) << "font " << i;
    ASSERT_EQ(a.faces.size(), b.faces.size());
    for (size_t i = 0; i < a.faces.size(); ++i) EXPECT_TRUE(SameBytes(a.faces[i], b.faces[i])) << "face " << i;
    ASSERT_EQ(a.borders.size(), b.borders.size());
    for (size_t i = 0; i < a.borders.size(); ++i) EXPECT_TRUE(SameBytes(a.borders[i], b.borders[i]));
    ASSERT_EQ(a.shadows.size(), b.shadows.size());
    for (size_t i = 0; i < a.shadows.size(); ++i) EXPECT_TRUE(SameBytes(a.shadows[i], b.shadows[i]));
    ASSERT_EQ(a.KeyFrames.size(), b.KeyFrames.size());
    for (auto i = a.KeyFrames.begin(), j = b.KeyFrames.begin(); i != a.KeyFrames.end(); ++i, ++j) {
        EXPECT_EQ(i->first, j->first);
        EXPECT_STREQ(i->second.PathID, j->second.PathID);
        EXPECT_EQ(i->second.PathProgress, j->second.PathProgress);
    }
}

// Collects the debug-output lines written while it lives.
class CapturedDebugLines {
public:
    CapturedDebugLines() {
        previous_ = SetDebugSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~CapturedDebugLines() { SetDebugSink(std::move(previous_)); }
    std::vector<std::string> lines;

private:
    DebugSink previous_;
};

inline std::string DataPath(const char* name) { return std::string(QEL_TEST_DATA_DIR) + "/persist/" + name; }

}  // namespace qel::testing
