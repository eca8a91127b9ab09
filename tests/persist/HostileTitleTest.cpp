// Titles that load but carry hostile values: each is taken through everything a host does after
// a load (every rectangle, the text, the layout dump, frames under several settings and times,
// a save and a reload) and must come through it with success codes and in bounded time. The
// cases are inputs the render fuzz target found or their reductions.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "TitleSamples.h"
#include "persist/XmlDom.h"
#include "qel/QEL_Title2.h"

namespace qel {
namespace {

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

std::string LogFontHex(const LOGFONTW& lf) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&lf);
    std::string hex;
    char pair[3];
    for (size_t i = 0; i < sizeof lf; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        hex += pair;
    }
    return hex;
}

// One string "AB" on one line, every style enabled, two key frames. Each attribute value can be
// replaced through its placeholder.
struct TitleValues {
    std::string left = "40", top = "30", widthLimit = "300", rotate = "15";
    std::string widthScale = "1", spacing = "2";
    LOGFONTW font = testing::MakeLogFont(u"DejaVu Sans", 400, 0);
    std::string faceBlur = "2", borderSize = "2", shadowBlur = "1", offsetX = "3";
    std::string keyFrame = "0.5";
};

std::u16string TitleText(const TitleValues& v) {
    const std::string chars = "WidthScale=\"" + v.widthScale + "\" Spacing=\"" + v.spacing +
                              "\" LineIndex=\"0\" FontIndex=\"0\" FaceIndex=\"0\" BorderIndex=\"0\" ShadowIndex=\"0\"";
    const std::string xml =
        "<?xml version=\"1.0\"?><CTitle Version=\"2.0\"><StringList>"
        "<MetaString Index=\"0\" Left=\"" + v.left + "\" Top=\"" + v.top + "\" ParagraphCount=\"1\" WidthLimit=\"" +
        v.widthLimit + "\" RotateDegree=\"" + v.rotate + "\" Vertical=\"false\" PathID=\"PATH_NOEFFECT\" PathProgress=\"1\">"
        "<CharList><MetaCharacter Index=\"0\" Value=\"65\" " + chars + "/>"
        "<MetaCharacter Index=\"1\" Value=\"66\" " + chars + "/></CharList>"
        "<LineList><MetaLine CharStart=\"0\" CharEnd=\"1\" ParagraphIndex=\"0\"/></LineList>"
        "<ParagraphList><MetaParagraph LineStart=\"0\" LineEnd=\"0\" Align=\"0\" LineSpace=\"1\"/></ParagraphList>"
        "<FontList><MetaFont LogFont=\"" + LogFontHex(v.font) + "\" SizeRatio=\"0.0117\"/></FontList>"
        "<FaceList><MetaFace Enable=\"1\" Color1=\"255\" Color2=\"65280\" GradType=\"1\" Alpha=\"255\" BlurRadius=\"" +
        v.faceBlur + "\"/></FaceList>"
        "<BorderList><MetaBorder Enable=\"1\" Size=\"" + v.borderSize + "\" Color1=\"0\" Alpha=\"255\"/></BorderList>"
        "<ShadowList><MetaShadow EnableFace=\"1\" EnableBorder=\"1\" OffsetX=\"" + v.offsetX +
        "\" OffsetY=\"3\" Alpha=\"128\" BlurRadius=\"" + v.shadowBlur + "\"/></ShadowList>"
        "<PathList><MetaPath Index=\"0\" KeyFrame=\"0\" PathID=\"PATH_FADE\" PathProgress=\"0\"/>"
        "<MetaPath Index=\"1\" KeyFrame=\"" + v.keyFrame + "\" PathID=\"PATH_SWIRL\" PathProgress=\"1\"/></PathList>"
        "</MetaString></StringList></CTitle>";
    return Utf8ToUtf16(xml);
}

// What a host does with a title it has loaded, at frame scale 1 so that style distances in the
// title become frame pixels one to one (times the font's size ratio).
void ExerciseLoadedTitle(ITitleHost& host) {
    RectF rect;
    QuadF quad;
    for (int32_t row = 0; row < host.GetStringCount(); ++row) {
        (void)host.GetStringRect(row, &rect);
        (void)host.GetStringQuad(row, &quad);
        for (int32_t col = 0; col < host.GetCharCount(row); ++col) {
            (void)host.GetCharRect(row, col, &rect, 1);
            (void)host.GetCharQuad(row, col, &quad, 0);
        }
        for (int32_t line = 0; line < host.GetLineCount(row); ++line) (void)host.GetLineRect(row, line, &rect);
        const int32_t length = host.GetText(row, nullptr);
        ASSERT_GE(length, 0);
        std::vector<char16_t> text(size_t(length) + 1);
        (void)host.GetText(row, text.data());
        (void)host.DumpLayout(row);
    }
    constexpr int32_t kWidth = 96, kHeight = 64;
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
    for (int variant = 0; variant < 4; ++variant) {
        RenderSettings settings{};
        ASSERT_EQ(host.GetRenderSettings(&settings), S_OK);
        settings.Width = kWidth;
        settings.Height = kHeight;
        settings.ScaleX = settings.ScaleY = 1;
        settings.ClipRect = {0, 0, kWidth, kHeight};
        settings.MaxThreads = 1 + (variant & 1);
        settings.KeepAlpha = variant >> 1;
        settings.ColorMode = variant >> 1;
        settings.QualityMode = variant;
        ASSERT_EQ(host.SetRenderSettings(&settings), S_OK);
        for (float time : {0.0f, 0.5f, 1.0f}) EXPECT_EQ(host.Render(frame.data(), time), S_OK) << time;
    }
    uint32_t size = 0;
    ASSERT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
    std::vector<char16_t> saved(size / 2 + 1);
    ASSERT_EQ(host.SaveTitleToBuffer(saved.data(), &size), S_OK);
    const int32_t strings = host.GetStringCount();
    ASSERT_EQ(host.LoadTitleFromBuffer(saved.data()), S_OK);
    EXPECT_EQ(host.GetStringCount(), strings);
}

struct HostileCase {
    const char* name;
    void (*apply)(TitleValues&);
};

// A border Size or blur radius of 13000 is about 3900 frame pixels here: a ring or blur that
// wide used to be built, at a cost cubic in the radius, and held a frame for hours. Now rings
// and blurs up to 2048 pixels are drawn at a cost linear in the radius, and wider ones at 2048.
const HostileCase kHostileCases[] = {
    {"FontHeightInt32Min", [](TitleValues& v) { v.font.lfHeight = INT32_MIN; }},
    {"FontHeightInt32Max", [](TitleValues& v) { v.font.lfHeight = INT32_MAX; }},
    {"FontWeightHuge", [](TitleValues& v) { v.font.lfWeight = INT32_MAX; }},
    {"BorderThousandsOfPixels", [](TitleValues& v) { v.borderSize = "13000"; }},
    {"BorderWideButDrawn", [](TitleValues& v) { v.borderSize = "5000"; }},  // about 1500 pixels
    {"BorderInt32Max", [](TitleValues& v) { v.borderSize = "2147483647"; }},
    {"FaceBlurThousandsOfPixels", [](TitleValues& v) { v.faceBlur = "13000"; }},
    {"ShadowBlurThousandsOfPixels", [](TitleValues& v) { v.shadowBlur = "13000"; }},
    {"ShadowOffsetHuge", [](TitleValues& v) { v.offsetX = "1e30"; }},
    {"PositionNotANumber", [](TitleValues& v) { v.left = v.top = "nan"; }},
    {"PositionHuge", [](TitleValues& v) { v.left = "3.4e38", v.top = "-3.4e38"; }},
    {"WidthLimitNotANumber", [](TitleValues& v) { v.widthLimit = "nan"; }},
    {"RotationHuge", [](TitleValues& v) { v.rotate = "1e30"; }},
    {"WidthScaleInfinite", [](TitleValues& v) { v.widthScale = "-inf"; }},
    {"SpacingHuge", [](TitleValues& v) { v.spacing = "3.4e38"; }},
    {"KeyFrameNotANumber", [](TitleValues& v) { v.keyFrame = "nan"; }},
};

class HostileTitle : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileTitle, LoadsLaysOutRendersAndSavesAgain) {
    std::unique_ptr<ITitleHost, HostDeleter> host(GetTitleHost());
    testing::CapturedDebugLines quiet;  // the layout dump and any failure lines
    TitleValues values;
    GetParam().apply(values);
    const std::u16string text = TitleText(values);
    ASSERT_EQ(host->LoadTitleFromBuffer(text.c_str()), S_OK);
    ASSERT_EQ(host->GetStringCount(), 1);
    ExerciseLoadedTitle(*host);
}

INSTANTIATE_TEST_SUITE_P(Values, HostileTitle, ::testing::ValuesIn(kHostileCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace qel
