// Construction, defaults and destruction of the TitleHost.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/TitleHost.h"

namespace qel {
namespace {

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};
using HostPtr = std::unique_ptr<ITitleHost, HostDeleter>;

TEST(Lifecycle, FreshHostHasDefaults) {
    HostPtr host(GetTitleHost());
    ASSERT_TRUE(host);
    EXPECT_EQ(host->GetStringCount(), 0);

    RECT dirty{1, 2, 3, 4};
    EXPECT_EQ(host->GetDirtyRect(&dirty), S_OK);
    EXPECT_EQ(dirty.left, 0);
    EXPECT_EQ(dirty.right, 0);
    EXPECT_EQ(host->GetDirtyRect(nullptr), E_POINTER);

    RenderSettings rs{};
    EXPECT_EQ(host->GetRenderSettings(&rs), S_OK);
    EXPECT_EQ(rs.Reserved, 1.0f);
    EXPECT_EQ(rs.QualityMode, 1);
    EXPECT_EQ(rs.ColorMode, 0);
    EXPECT_EQ(rs.Width, 320);
    EXPECT_EQ(rs.Height, 240);
    EXPECT_EQ(rs.ScaleX, 1.0f);
    EXPECT_EQ(rs.ScaleY, 1.0f);
    EXPECT_EQ(rs.ClipRect.right, 320);
    EXPECT_EQ(rs.ClipRect.bottom, 240);
    EXPECT_EQ(rs.UseGlyphCache, 1);
    EXPECT_EQ(rs.MaxThreads, 1);

    // "Arial" is not installed with the test fonts: the GUI font's face stands in.
    FontSpec font{};
    EXPECT_EQ(host->GetDefaultFont(&font), S_OK);
    EXPECT_EQ(font.Size, 24.0f);
    EXPECT_EQ(font.Bold, 0);
    EXPECT_EQ(std::u16string(font.FaceName), u"DejaVu Sans");
}

// Face names as users type them: any case of an installed family, and the generic families,
// are used as written (and drawn with the face fontconfig picks for them); only an unknown name
// falls back to the GUI font's face.
TEST(Lifecycle, FaceNamesMatchWithoutRegardToCase) {
    struct Case {
        const char16_t* typed;
        const char16_t* face;  // the family the text must measure like
        int32_t result;
    };
    const Case cases[] = {
        {u"Liberation Sans", u"Liberation Sans", 0}, {u"liberation sans", u"Liberation Sans", 0},
        {u"LIBERATION MONO", u"Liberation Mono", 0}, {u"serif", u"DejaVu Serif", 0},
        {u"Sans-Serif", u"DejaVu Sans", 0},          {u"monospace", u"DejaVu Sans Mono", 0},
        {u"LiberationSans", u"DejaVu Sans", 1},      {u"No Such Face", u"DejaVu Sans", 1},
    };
    auto measure = [](const char16_t* name, int32_t* result, FontSpec* reported) {
        HostPtr host(GetTitleHost());
        FontSpec font{};
        std::u16string(name).copy(font.FaceName, 31);
        font.Size = 100;
        *result = host->SetDefaultFont(&font);
        EXPECT_EQ(host->AddString(), 0);
        EXPECT_EQ(host->InsertText(0, 0, u"Wi"), 2);
        (void)host->GetCharFont(0, 0, reported);
        RectF rect{};
        (void)host->GetStringRect(0, &rect);
        return rect;
    };
    for (const Case& c : cases) {
        int32_t result = -1, ignored = -1;
        FontSpec typed{}, canonical{};
        const RectF got = measure(c.typed, &result, &typed);
        const RectF expected = measure(c.face, &ignored, &canonical);
        const std::string label(c.typed, c.typed + std::char_traits<char16_t>::length(c.typed));
        EXPECT_EQ(result, c.result) << label;
        EXPECT_EQ(got.width, expected.width) << label;
        EXPECT_EQ(got.height, expected.height) << label;
        // The name is kept as written (a fallback reports the face that replaced it).
        EXPECT_EQ(std::u16string(typed.FaceName), c.result == 0 ? std::u16string(c.typed) : std::u16string(c.face))
            << label;
    }
}

TEST(Lifecycle, ReleaseAcceptsNullAndAliasesBehaveAlike) {
    EXPECT_EQ(ReleaseTitleHost(nullptr), 0);
    EXPECT_EQ(ReleaseTitleHost3(nullptr), 0);
    ITitleHost* a = GetTitleHost3();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetStringCount(), 0);
    EXPECT_EQ(ReleaseTitleHost3(a), 0);
}

TEST(Lifecycle, NullRecordPointersAreRejected) {
    HostPtr host(GetTitleHost());
    EXPECT_EQ(host->SetDefaultFont(nullptr), E_POINTER);
    EXPECT_EQ(host->SetDefaultFace(nullptr), E_POINTER);
    EXPECT_EQ(host->SetRenderSettings(nullptr), E_POINTER);
    EXPECT_EQ(host->GetRenderSettings(nullptr), E_POINTER);
    EXPECT_EQ(host->GetDefaultFont(nullptr), E_POINTER);
}

TEST(Lifecycle, RenderSettingsChangesDecideRemeasure) {
    HostPtr host(GetTitleHost());
    auto* th = static_cast<TitleHost*>(host.get());
    RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.ClipRect = {10, 10, 100, 100};
    host->SetRenderSettings(&rs);
    EXPECT_EQ(th->Engine().RemeasurePending(), false);
    rs.Width = 640;
    host->SetRenderSettings(&rs);
    EXPECT_EQ(th->Engine().RemeasurePending(), true);
}

}  // namespace
}  // namespace qel
