// Load and save through the host's operations: buffer, file and node forms, the size query,
// refusal of titles that cannot be used, and the failure lines.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TitleSamples.h"
#include "host/TitleHost.h"
#include "persist/TitleXml.h"

namespace qel {
namespace {

using testing::CapturedDebugLines;
using testing::MakeStyledTitle;

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

class TitleOps : public ::testing::Test {
protected:
    TitleOps() : owner_(GetTitleHost()), host(*static_cast<TitleHost*>(owner_.get())) {}

    std::u16string SaveText() {
        uint32_t size = 0;
        EXPECT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
        std::vector<char16_t> buffer(size / 2);
        EXPECT_EQ(host.SaveTitleToBuffer(buffer.data(), &size), S_OK);
        return std::u16string(buffer.data());
    }

    std::unique_ptr<ITitleHost, HostDeleter> owner_;
    TitleHost& host;
    const std::string dir_ = ::testing::TempDir();
};

// Records the post-load pass leaves as stored. Fonts are resolved again on this machine and
// may be renumbered, so they and the style entries are compared per character.
void ExpectSameTitleContent(const std::vector<MetaString>& stored, const std::vector<MetaString>& loaded) {
    ASSERT_EQ(stored.size(), loaded.size());
    for (size_t row = 0; row < stored.size(); ++row) {
        SCOPED_TRACE(row);
        const MetaString &a = stored[row], &b = loaded[row];
        EXPECT_EQ(a.Left, b.Left);
        EXPECT_EQ(a.Top, b.Top);
        EXPECT_EQ(a.WidthLimit, b.WidthLimit);
        EXPECT_EQ(a.RotateDegree, b.RotateDegree);
        EXPECT_EQ(a.Vertical, b.Vertical);
        EXPECT_EQ(a.ParagraphCount, b.ParagraphCount);
        EXPECT_STREQ(a.PathID, b.PathID);
        EXPECT_EQ(a.PathProgress, b.PathProgress);
        EXPECT_STREQ(a.MaskFile, b.MaskFile);
        ASSERT_EQ(a.chars.size(), b.chars.size());
        for (size_t i = 0; i < a.chars.size(); ++i) {
            const MetaCharacter &x = a.chars[i], &y = b.chars[i];
            EXPECT_EQ(x.Value, y.Value);
            EXPECT_EQ(x.WidthScale, y.WidthScale);
            EXPECT_EQ(x.Spacing, y.Spacing);
            EXPECT_EQ(x.LineIndex, y.LineIndex);
            EXPECT_TRUE(testing::SameBytes(a.faces[x.FaceIndex], b.faces.at(y.FaceIndex))) << i;
            EXPECT_TRUE(testing::SameBytes(a.borders[x.BorderIndex], b.borders.at(y.BorderIndex))) << i;
            EXPECT_TRUE(testing::SameBytes(a.shadows[x.ShadowIndex], b.shadows.at(y.ShadowIndex))) << i;
            // Characters the stored face lacks are linked to another face on this machine.
            if (x.Value >= 128) continue;
            const LOGFONTW &f = a.fonts[x.FontIndex].LogFont, &g = b.fonts.at(y.FontIndex).LogFont;
            EXPECT_EQ(std::u16string(f.lfFaceName), std::u16string(g.lfFaceName)) << i;
            EXPECT_EQ(f.lfWeight, g.lfWeight) << i;
            EXPECT_EQ(f.lfItalic, g.lfItalic) << i;
        }
        ASSERT_EQ(a.paragraphs.size(), b.paragraphs.size());
        for (size_t p = 0; p < a.paragraphs.size(); ++p) {
            EXPECT_TRUE(testing::SameBytes(a.paragraphs[p].Attrs(), b.paragraphs[p].Attrs())) << p;
        }
        ASSERT_EQ(a.KeyFrames.size(), b.KeyFrames.size());
        for (auto i = a.KeyFrames.begin(), j = b.KeyFrames.begin(); i != a.KeyFrames.end(); ++i, ++j) {
            EXPECT_EQ(i->first, j->first);
            EXPECT_TRUE(testing::SameBytes(i->second, j->second));
        }
    }
}

TEST_F(TitleOps, BufferRoundTripWithSizeQuery) {
    host.Engine().EditStrings() = MakeStyledTitle();
    uint32_t size = 0;
    ASSERT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
    ASSERT_GT(size, 2u);
    ASSERT_EQ(size % 2, 0u);

    // Too small: success, the size, nothing written.
    std::vector<char16_t> buffer(size / 2, u'#');
    uint32_t small = size - 2;
    EXPECT_EQ(host.SaveTitleToBuffer(buffer.data(), &small), S_OK);
    EXPECT_EQ(small, size);
    EXPECT_EQ(buffer[0], u'#');

    // Exactly B bytes: the text without its mark and one terminating unit.
    uint32_t exact = size;
    ASSERT_EQ(host.SaveTitleToBuffer(buffer.data(), &exact), S_OK);
    EXPECT_EQ(exact, size);
    EXPECT_EQ(buffer.back(), 0);
    EXPECT_EQ(std::u16string(buffer.data()).size(), size / 2 - 1);
    EXPECT_EQ(std::u16string(buffer.data()).rfind(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", 0), 0u);

    std::unique_ptr<ITitleHost, HostDeleter> other(GetTitleHost());
    TitleHost& second = *static_cast<TitleHost*>(other.get());
    const uint64_t before = second.Engine().Revision();
    ASSERT_EQ(second.LoadTitleFromBuffer(buffer.data()), S_OK);
    EXPECT_NE(second.Engine().Revision(), before);  // a load retires the still frame
    ExpectSameTitleContent(host.Engine().Strings(), second.Engine().Strings());
    EXPECT_EQ(host.SaveTitleToBuffer(nullptr, nullptr), E_POINTER);
}

TEST_F(TitleOps, FileRoundTripIsUtf16WithMark) {
    host.Engine().EditStrings() = MakeStyledTitle();
    const std::string path = dir_ + "title_roundtrip.xml";
    ASSERT_EQ(host.SaveTitleToFile(Utf8ToUtf16(path).c_str()), S_OK);
    std::ifstream file(path, std::ios::binary);
    char head[4] = {};
    file.read(head, 4);
    EXPECT_EQ(std::string(head, 4), std::string("\xFF\xFE<\0", 4));

    std::unique_ptr<ITitleHost, HostDeleter> other(GetTitleHost());
    TitleHost& second = *static_cast<TitleHost*>(other.get());
    ASSERT_EQ(second.LoadTitleFromFile(Utf8ToUtf16(path).c_str()), S_OK);
    ExpectSameTitleContent(host.Engine().Strings(), second.Engine().Strings());
}

TEST_F(TitleOps, NodeRoundTripInTheHostsDocument) {
    host.Engine().EditStrings() = MakeStyledTitle();
    pugi::xml_document project;
    pugi::xml_node slot = project.append_child("Project").append_child("Title");
    ASSERT_EQ(host.SaveTitleToNode(&slot), S_OK);
    EXPECT_TRUE(slot.child("StringList"));

    std::unique_ptr<ITitleHost, HostDeleter> other(GetTitleHost());
    TitleHost& second = *static_cast<TitleHost*>(other.get());
    ASSERT_EQ(second.LoadTitleFromNode(&slot), S_OK);
    ExpectSameTitleContent(host.Engine().Strings(), second.Engine().Strings());

    // No StringList: an empty title and success. A null node: refused, title untouched.
    pugi::xml_node bare = project.append_child("Bare");
    ASSERT_EQ(second.LoadTitleFromNode(&bare), S_OK);
    EXPECT_EQ(second.GetStringCount(), 0);
    second.Engine().EditStrings() = MakeStyledTitle();
    pugi::xml_node null;
    EXPECT_EQ(second.LoadTitleFromNode(nullptr), E_POINTER);
    EXPECT_EQ(second.LoadTitleFromNode(&null), E_POINTER);
    EXPECT_EQ(second.SaveTitleToNode(nullptr), E_POINTER);
    EXPECT_EQ(second.SaveTitleToNode(&null), E_POINTER);
    EXPECT_EQ(second.Engine().Strings().size(), 3u);
}

TEST_F(TitleOps, HandwrittenFileLoads) {
    const std::u16string path = Utf8ToUtf16(testing::DataPath("handwritten_utf16.xml"));
    ASSERT_EQ(host.LoadTitleFromFile(path.c_str()), S_OK);
    ASSERT_EQ(host.Engine().Strings().size(), 2u);
    const MetaString& s = host.Engine().Strings()[0];
    EXPECT_EQ(s.Vertical, 1);
    EXPECT_EQ(s.chars.size(), 4u);
    EXPECT_EQ(s.KeyFrames.size(), 2u);
    EXPECT_EQ(s.faces.at(s.chars[0].FaceIndex).Color1, 16711680u);
    EXPECT_EQ(s.faces.at(s.chars[0].FaceIndex).Color2, 4278190080u);
    EXPECT_STREQ(host.Engine().Strings()[1].PathID, "");
}

TEST_F(TitleOps, FailedLoadsLeaveAnEmptyTitleAndSayWhy) {
    const std::u16string broken = u"<CTitle><StringList><MetaString><CharList><MetaCharacter FontIndex='3'/>"
                                  u"</CharList></MetaString></StringList></CTitle>";
    const char16_t* texts[] = {u"", u"<CTitle>", u"<Other/>", u"<CTitle Version='2.0'/>", broken.c_str()};
    for (const char16_t* text : texts) {
        host.Engine().EditStrings() = MakeStyledTitle();
        CapturedDebugLines captured;
        EXPECT_EQ(host.LoadTitleFromBuffer(text), E_FAIL) << Utf16ToUtf8(text);
        EXPECT_EQ(host.GetStringCount(), 0);
        EXPECT_EQ(captured.lines, std::vector<std::string>{"QEL_Title2: Failed to load title from buffer!"});
    }

    host.Engine().EditStrings() = MakeStyledTitle();
    CapturedDebugLines captured;
    EXPECT_EQ(host.LoadTitleFromBuffer(nullptr), E_INVALIDARG);
    EXPECT_EQ(host.Engine().Strings().size(), 3u);
    EXPECT_TRUE(captured.lines.empty());
}

TEST_F(TitleOps, FileFailuresNameThePath) {
    const std::string missing = dir_ + "no_such_dir/title.xml";
    const std::string notXml = dir_ + "not_a_title.xml";
    std::ofstream(notXml) << "plain text";
    const struct {
        std::u16string path;
        bool save;
        HRESULT result;
        std::string line;
    } cases[] = {
        {Utf8ToUtf16(missing), false, E_FAIL, "QEL_Title2: Failed to load title from file " + missing + "!"},
        {Utf8ToUtf16(notXml), false, E_FAIL, "QEL_Title2: Failed to load title from file " + notXml + "!"},
        {u"", false, E_INVALIDARG, "QEL_Title2: Failed to load title from file !"},
        {Utf8ToUtf16(missing), true, E_FAIL, "QEL_Title2: Failed to save title to file " + missing + "!"},
        {u"", true, E_INVALIDARG, "QEL_Title2: Failed to save title to file !"},
    };
    for (const auto& c : cases) {
        host.Engine().EditStrings() = MakeStyledTitle();
        CapturedDebugLines captured;
        EXPECT_EQ(c.save ? host.SaveTitleToFile(c.path.c_str()) : host.LoadTitleFromFile(c.path.c_str()), c.result);
        EXPECT_EQ(captured.lines, std::vector<std::string>{c.line});
        EXPECT_EQ(host.Engine().Strings().size(), c.save || c.result == E_INVALIDARG ? 3u : 0u);
    }

    // The formatted line is cut to 255 UTF-16 units.
    CapturedDebugLines captured;
    const std::u16string longPath = u"/" + std::u16string(400, u'\u00E9');
    EXPECT_EQ(host.LoadTitleFromFile(longPath.c_str()), E_FAIL);
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_EQ(Utf8ToUtf16(captured.lines[0]).size(), 255u);
    EXPECT_EQ(host.LoadTitleFromFile(nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace qel

namespace qel {
namespace {

// A title made through the editing operations renders the same frames after a save and a load.
// (Its font list may come back renumbered: fonts are resolved again character by character.)
TEST(TitleOpsRendered, LoadedTitleRendersTheSameFrame) {
    std::unique_ptr<ITitleHost, HostDeleter> first(GetTitleHost()), second(GetTitleHost());
    ITitleHost& a = *first;
    ASSERT_EQ(a.AddString(), 0);
    ASSERT_EQ(a.AddString(), 1);
    EXPECT_EQ(a.InsertText(0, 0, u"Save me\r\nand load me"), 20);
    EXPECT_EQ(a.InsertText(1, 0, u"\u4E2D A"), 3);

    MetaFace face{1, 0x0000FFFFu, 0x00FF0000u, 1, 220, 0};
    MetaBorder border{1, 2, 0x00000000u, 0x00000000u, 0, 255, 0};
    MetaShadow shadow{1, 1, 0x00404040u, 0x00404040u, 0, 128, 1, 3.0f, 3.0f, 0};
    ASSERT_EQ(a.SetDefaultFace(&face), S_OK);
    ASSERT_EQ(a.SetDefaultBorder(&border), S_OK);
    ASSERT_EQ(a.SetDefaultShadow(&shadow), S_OK);
    ASSERT_EQ(a.ApplyFace(0, 0, 4), S_OK);
    ASSERT_EQ(a.ApplyBorder(0, 9, 3), S_OK);
    ASSERT_EQ(a.ApplyShadow(1, 0, 3), S_OK);
    PathValue fade{"PATH_FADE", 0.0f};
    ASSERT_EQ(a.SetKeyFrame(0, 0.0f, &fade), S_OK);
    fade.PathProgress = 1.0f;
    ASSERT_EQ(a.SetKeyFrame(0, 1.0f, &fade), S_OK);

    uint32_t size = 0;
    ASSERT_EQ(a.SaveTitleToBuffer(nullptr, &size), S_OK);
    std::vector<char16_t> text(size / 2);
    ASSERT_EQ(a.SaveTitleToBuffer(text.data(), &size), S_OK);
    ASSERT_EQ(second->LoadTitleFromBuffer(text.data()), S_OK);


    RenderSettings settings{};
    ASSERT_EQ(a.GetRenderSettings(&settings), S_OK);
    const size_t frameBytes = static_cast<size_t>(settings.Width) * static_cast<size_t>(settings.Height) * 4;
    for (float time : {0.0f, 0.5f, 1.0f}) {
        std::vector<uint8_t> before(frameBytes, 0x20), after(frameBytes, 0x20);
        for (int32_t row = 0; row < 2; ++row) {
            ASSERT_EQ(a.SetTime(row, time), S_OK);
            ASSERT_EQ(second->SetTime(row, time), S_OK);
        }
        ASSERT_EQ(a.Render(before.data(), time), S_OK);
        ASSERT_EQ(second->Render(after.data(), time), S_OK);
        EXPECT_TRUE(before == after) << "frame at " << time;
        EXPECT_FALSE(std::all_of(before.begin(), before.end(), [](uint8_t b) { return b == 0x20; }));
    }

}

}  // namespace
}  // namespace qel

namespace qel {
namespace {

// A vertical string saved by one host and loaded by a host set up for horizontal text keeps its
// layout: the refresh after loading measures and breaks it in its own direction.
TEST(TitleOpsVertical, VerticalStringKeepsItsLayoutThroughAHorizontalHost) {
    std::unique_ptr<ITitleHost, HostDeleter> maker(GetTitleHost());
    StringAttrs attrs{};
    maker->GetStringAttrs(-1, &attrs);  // a failing getter reports the defaults
    attrs.Vertical = 1;
    maker->SetDefaultString(&attrs);
    FontSpec font{};
    maker->GetDefaultFont(&font);
    font.Size = 72;
    maker->SetDefaultFont(&font);
    const int32_t row = maker->AddString();
    maker->InsertText(row, 0, u"Sideways");
    RectF before{};
    maker->GetStringRect(row, &before);
    uint32_t size = 0;
    ASSERT_EQ(maker->SaveTitleToBuffer(nullptr, &size), S_OK);
    std::vector<char16_t> text(size / 2);
    ASSERT_EQ(maker->SaveTitleToBuffer(text.data(), &size), S_OK);

    std::unique_ptr<ITitleHost, HostDeleter> loader(GetTitleHost());  // default: horizontal
    ASSERT_EQ(loader->LoadTitleFromBuffer(text.data()), S_OK);
    RectF after{};
    ASSERT_EQ(loader->GetStringRect(0, &after), S_OK);
    EXPECT_FLOAT_EQ(after.width, before.width);
    EXPECT_FLOAT_EQ(after.height, before.height);
    for (int32_t c = 0; c < 8; ++c) {
        RectF a{}, b{};
        maker->GetCharRect(row, c, &a, 1);
        loader->GetCharRect(0, c, &b, 1);
        EXPECT_FLOAT_EQ(a.y, b.y) << "character " << c;
        EXPECT_FLOAT_EQ(a.height, b.height) << "character " << c;
    }
    StringAttrs loaderDefaults{};
    loader->GetStringAttrs(-1, &loaderDefaults);
    EXPECT_EQ(loaderDefaults.Vertical, 0) << "the host's defaults are given back";
}

}  // namespace
}  // namespace qel
