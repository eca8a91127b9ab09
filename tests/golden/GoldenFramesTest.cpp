// Golden frames: the demo title, a title that uses every effect family, one of shaped scripts and
// one of plates, drawn through the
// public interface at five times, with one and two threads, in three output modes (plain, keeping
// the frame's alpha, luma/chroma), hashed with their dirty rectangles, plus the saved XML of each.
// The hashes guard refactoring and speed work: such changes must leave every one of them as it is.
//
// A change that is meant to alter pictures (or the saved XML) refreshes them on purpose:
//     QEL_GOLDEN_REFRESH=1 build/tests/test_golden
// (run with the tests' font configuration, FONTCONFIG_FILE=build/test-fonts.conf, as ctest does),
// then commit tests/data/golden/hashes.txt with a message that says which pictures change and why.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace qel {
namespace {

const std::string kDataDir = std::string(QEL_TEST_DATA_DIR) + "/golden";

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};
using HostPtr = std::unique_ptr<ITitleHost, HostDeleter>;

// FNV-1a, 64 bits: enough to tell frames apart, and stable across machines.
struct Hash {
    uint64_t value = 14695981039346656037ull;
    void Add(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) value = (value ^ p[i]) * 1099511628211ull;
    }
    std::string Hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
        return text;
    }
};

std::u16string Utf16(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// Every effect of the catalogue.
const char* const kEffects[] = {
    "PATH_AMPLIFYH",   "PATH_AMPLIFYV",   "PATH_ASSEMBLY",   "PATH_HIDEDOWN",   "PATH_HIDELEFT",
    "PATH_HIDERIGHT",  "PATH_HIDEUP",     "PATH_SLIDEDOWN",  "PATH_SLIDELEFT",  "PATH_SLIDERIGHT",
    "PATH_SLIDEUP",    "PATH_SOLODOWN",   "PATH_SOLOLEFT",   "PATH_SOLORIGHT",  "PATH_SOLOUP",
    "PATH_TRANCEDOWN", "PATH_TRANCELEFT", "PATH_TRANCERIGHT", "PATH_TRANCEUP",  "PATH_WIPEDOWN",
    "PATH_WIPELEFT",   "PATH_WIPERIGHT",  "PATH_WIPEUP",     "PATH_FADE",       "PATH_NOEFFECT",
    "PATH_BLURLEFT",   "PATH_BLURRIGHT",  "PATH_GLOW",       "PATH_PERSPECTIVESCROLL",
    "PATH_POPUP1",     "PATH_POPUP2",     "PATH_POPUP3",     "PATH_MAGNETS1",   "PATH_MAGNETS2",
    "PATH_DOUBLEVISIONH", "PATH_DOUBLEVISIONV", "PATH_GLITTER", "PATH_TWINKLE", "PATH_MARCH",
    "PATH_SPIRAL",     "PATH_SWARMLEFT",  "PATH_SWARMRIGHT", "PATH_ROLLERCOASTERLEFT",
    "PATH_ROLLERCOASTERRIGHT", "PATH_WAVE", "PATH_WINDSHIELDLEFT", "PATH_WINDSHIELDRIGHT",
    "PATH_ROLLINGLEFT", "PATH_ROLLINGRIGHT", "PATH_ROTATECCW", "PATH_ROTATECW", "PATH_TRANCECCW",
    "PATH_TRANCECW",   "PATH_SWIRL",      "PATH_ROTATEINWARDS", "PATH_ROTATEOUTWARDS",
    "PATH_SCROLLUP",   "PATH_SCROLLDOWN", "PATH_SCROLLLEFT", "PATH_SCROLLRIGHT",
    "PATH_FLOCKING",   "PATH_ICICLES",    "PATH_TRANCECENTER", "PATH_UNITE",    "PATH_FLIP",
};

void SetFrame(ITitleHost& host, int32_t width, int32_t height) {
    RenderSettings rs{};
    host.GetRenderSettings(&rs);
    rs.Width = width;
    rs.Height = height;
    rs.ClipRect = {0, 0, width, height};
    ASSERT_EQ(host.SetRenderSettings(&rs), S_OK);
}

// One short styled string per effect in a grid, each running its path over the whole time.
// Styles vary along the grid so the families meet borders, blurred and extruded shadows,
// gradients, a turned string and a vertical one.
HostPtr EveryEffectTitle() {
    HostPtr host(GetTitleHost());
    SetFrame(*host, 1280, 720);
    int32_t n = 0;
    for (const char* id : kEffects) {
        FontSpec font{};
        const std::u16string face = n % 3 == 1 ? u"Liberation Serif" : u"DejaVu Sans";
        std::memcpy(font.FaceName, face.c_str(), (face.size() + 1) * sizeof(char16_t));
        font.CharSet = 1;
        font.Size = 44;
        font.Bold = n % 4 == 2;
        host->SetDefaultFont(&font);
        MetaFace faceStyle{1, 0x0040C0FFu + uint32_t(n) * 0x000500u, 0x00FF4020u, n % 8, 255, n % 5 == 4 ? 2 : 0};
        host->SetDefaultFace(&faceStyle);
        MetaBorder border{uint32_t(n % 2), 3, 0x00200000u, 0x00000040u, 1, 230, n % 6 == 5 ? 1 : 0};
        host->SetDefaultBorder(&border);
        MetaShadow shadow{1, 1, 0x00000000u, 0x00404040u, 0, 160, n % 3 == 0 ? 2 : 0, 4, 4,
                          uint32_t(n % 7 == 3)};
        host->SetDefaultShadow(&shadow);
        StringAttrs attrs{};
        host->GetStringAttrs(-1, &attrs);  // a failing getter reports the defaults
        // Every 25 strings the grid starts again from the top, shifted right and down a little.
        attrs.Left = 30.0f + float(n % 5) * 250.0f + float(n / 25) * 60.0f;
        attrs.Top = 20.0f + float((n / 5) % 5) * 140.0f + float(n / 25) * 50.0f;
        attrs.RotateDegree = n == 7 ? 15.0f : 0.0f;
        attrs.Vertical = n == 12;
        host->SetDefaultString(&attrs);
        const int32_t row = host->AddString();
        const std::u16string text = n == 12 ? u"縦Ab" : u"Wave" + Utf16(std::to_string(n));
        host->InsertText(row, 0, text.c_str());
        PathValue start{}, end{};
        std::strcpy(start.PathID, id);
        std::strcpy(end.PathID, id);
        end.PathProgress = 1;
        host->SetKeyFrame(row, 0.0f, &start);
        host->SetKeyFrame(row, 1.0f, &end);
        ++n;
    }
    return host;
}

// Text that needs shaping (joining, right to left with digits, conjuncts, Thai marks, combining
// marks, mixed directions), kerned Latin and colour emoji, some strings animated letter by letter.
HostPtr ScriptsTitle() {
    HostPtr host(GetTitleHost());
    SetFrame(*host, 1280, 720);
    const struct {
        const char16_t* text;
        bool kerning;
        const char* path;
    } rows[] = {
        {u"مرحبا بالعالم", false, "PATH_SLIDEUP"},
        {u"שלום עולם 2024", false, "PATH_NOEFFECT"},
        {u"नमस्ते दुनिया", false, "PATH_POPUP1"},
        {u"สวัสดีครับ", false, "PATH_NOEFFECT"},
        {u"Tie\u0302\u0301ng Vie\u0323\u0302t", false, "PATH_FADE"},
        {u"Hello مرحبا world", false, "PATH_NOEFFECT"},
        {u"AV To Wa Yo", true, "PATH_WAVE"},
        {u"\U0001F600 \U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F1EF\U0001F1F5 1\uFE0F\u20E3", false, "PATH_SWIRL"},
    };
    int32_t n = 0;
    for (const auto& row : rows) {
        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = row.kerning ? 0x101 : 1;
        font.Size = 60;
        host->SetDefaultFont(&font);
        MetaFace face{1, 0x0040E0FFu, 0x00FF8020u, 1, 255, 0};
        host->SetDefaultFace(&face);
        MetaBorder border{1, 3, 0x00200000u, 0x00200000u, 0, 255, 0};
        host->SetDefaultBorder(&border);
        MetaShadow shadow{1, 1, 0, 0, 0, 160, 2, 4, 4, 0};
        host->SetDefaultShadow(&shadow);
        StringAttrs attrs{};
        host->GetStringAttrs(-1, &attrs);
        attrs.Left = 40.0f + float(n % 2) * 620.0f;
        attrs.Top = 30.0f + float(n / 2) * 170.0f;
        host->SetDefaultString(&attrs);
        const int32_t row0 = host->AddString();
        host->InsertText(row0, 0, row.text);
        PathValue start{}, end{};
        std::strcpy(start.PathID, row.path);
        std::strcpy(end.PathID, row.path);
        end.PathProgress = 1;
        host->SetKeyFrame(row0, 0.0f, &start);
        host->SetKeyFrame(row0, 1.0f, &end);
        ++n;
    }
    return host;
}

// Plates under strings that slide, wipe, fade, pop and turn, and plates with reveals of their own:
// per string, line and word, flat and gradient fills (one across the string), outlines, shadows.
HostPtr PlatesTitle() {
    HostPtr host(GetTitleHost());
    SetFrame(*host, 1280, 720);
    const auto* plates = static_cast<const QelPlatesV1*>(QelGetExtension(QEL_PLATES_EXTENSION, 1));
    const struct {
        const char16_t* text;
        const char* path;
        uint32_t per, reveal, from, across;
        float rotate;
    } rows[] = {
        {u"Jane Doe\r\nSenior Engineer", "PATH_SLIDELEFT", QEL_PLATE_PER_LINE, 0, 0, 0, 0},
        {u"Wiped in letters", "PATH_WIPELEFT", QEL_PLATE_PER_STRING, 0, 0, 0, 0},
        {u"Faded word pills", "PATH_FADE", QEL_PLATE_PER_WORD, 0, 0, QEL_ACROSS_STRING, 0},
        {u"Popped and turned", "PATH_POPUP1", QEL_PLATE_PER_STRING, 0, 0, 0, 12},
        {u"Bar wiped first", "PATH_NOEFFECT", QEL_PLATE_PER_STRING, QEL_REVEAL_WIPE, QEL_FROM_LEFT, 0, 0},
        {u"Grown from the middle", "PATH_WIPERIGHT", QEL_PLATE_PER_LINE, QEL_REVEAL_GROW, QEL_FROM_CENTER, 0, -8},
    };
    int32_t n = 0;
    for (const auto& row : rows) {
        FontSpec font{};
        std::memcpy(font.FaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        font.CharSet = 1;
        font.Size = 40;
        host->SetDefaultFont(&font);
        MetaBorder border{1, 2, 0x00200000u, 0x00200000u, 0, 255, 0};
        host->SetDefaultBorder(&border);
        StringAttrs attrs{};
        host->GetStringAttrs(-1, &attrs);
        attrs.Left = 60.0f + float(n % 2) * 620.0f;
        attrs.Top = 60.0f + float(n / 2) * 220.0f;
        attrs.RotateDegree = row.rotate;
        host->SetDefaultString(&attrs);
        const int32_t r = host->AddString();
        host->InsertText(r, 0, row.text);
        QelPlate p{};
        p.Per = row.per;
        p.PadX = 18.5f;
        p.PadY = 6;
        p.Radius = float(n * 4);
        p.Color1 = 0x6B2F0Eu;
        p.Color2 = n % 2 ? 0x6B2F0Eu : 0x20A0F0u;
        p.GradType = 3;
        p.Alpha = n == 1 ? 200 : 255;
        p.Across = row.across;
        p.BorderSize = float(n % 3);
        p.BorderColor = 0xFFFFFFu;
        p.BorderAlpha = 255;
        p.ShadowX = p.ShadowY = 5;
        p.ShadowBlur = float(n % 2 * 4);
        p.ShadowAlpha = 140;
        p.Reveal = row.reveal;
        p.RevealFrom = row.from;
        p.RevealLength = 0.5f;
        p.HideStart = 0.8f;
        p.HideLength = row.reveal ? 0.2f : 0;
        EXPECT_EQ(plates->SetPlate(host.get(), r, 0, &p), S_OK);
        PathValue start{}, end{};
        std::strcpy(start.PathID, row.path);
        std::strcpy(end.PathID, row.path);
        end.PathProgress = 1;
        host->SetKeyFrame(r, 0.0f, &start);
        host->SetKeyFrame(r, 1.0f, &end);
        ++n;
    }
    return host;
}

HostPtr DemoTitle() {
    HostPtr host(GetTitleHost());
    SetFrame(*host, 1280, 720);
    const std::u16string path = Utf16(kDataDir + "/demo.xml");
    EXPECT_EQ(host->LoadTitleFromFile(path.c_str()), S_OK);
    return host;
}

// A background whose colour and alpha vary, so that keeping the frame's alpha shows.
std::vector<uint8_t> Background(int32_t width, int32_t height) {
    std::vector<uint8_t> px(size_t(width) * height * 4);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &px[(size_t(y) * width + x) * 4];
            p[0] = uint8_t(x * 7 + y);
            p[1] = uint8_t(y * 3);
            p[2] = uint8_t(x ^ y);
            p[3] = uint8_t(128 + (x + y) % 128);
        }
    }
    return px;
}

// The saved title without its save dates.
std::string SavedXml(ITitleHost& host) {
    uint32_t size = 0;
    EXPECT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
    std::u16string text(size / sizeof(char16_t), u'\0');
    EXPECT_EQ(host.SaveTitleToBuffer(text.data(), &size), S_OK);
    std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    std::string narrow;
    for (char16_t c : text) narrow.push_back(c < 128 ? char(c) : '?');
    return std::regex_replace(narrow, std::regex("(CreateDate|LastModified)=\"[^\"]*\""), "$1=\"\"") +
           "\n" + std::to_string(bytes.size());
}

struct Mode {
    const char* name;
    int32_t keepAlpha, colorMode;
};
constexpr Mode kModes[] = {{"plain", 0, 0}, {"keepalpha", 1, 0}, {"ycc", 0, 1}};
constexpr float kTimes[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};

// name -> hash for every frame of one title.
void HashTitle(const std::string& title, HostPtr (*make)(), std::map<std::string, std::string>* out) {
    for (int32_t threads : {1, 2}) {
        for (const Mode& mode : kModes) {
            HostPtr host = make();
            RenderSettings rs{};
            host->GetRenderSettings(&rs);
            rs.MaxThreads = threads;
            rs.KeepAlpha = mode.keepAlpha;
            rs.ColorMode = mode.colorMode;
            ASSERT_EQ(host->SetRenderSettings(&rs), S_OK);
            for (float t : kTimes) {
                std::vector<uint8_t> frame = Background(rs.Width, rs.Height);
                ASSERT_EQ(host->Render(frame.data(), t), S_OK);
                RECT dirty{};
                host->GetDirtyRect(&dirty);
                Hash h;
                h.Add(frame.data(), frame.size());
                h.Add(&dirty, sizeof dirty);
                std::ostringstream name;
                name << title << "/" << mode.name << "/t" << t << "/threads" << threads;
                (*out)[name.str()] = h.Hex();
            }
        }
    }
    HostPtr host = make();
    Hash h;
    const std::string xml = SavedXml(*host);
    h.Add(xml.data(), xml.size());
    (*out)[title + "/saved-xml"] = h.Hex();
}

TEST(GoldenFrames, DemoAndEveryEffectUnchanged) {
    std::map<std::string, std::string> actual;
    HashTitle("demo", DemoTitle, &actual);
    HashTitle("every-effect", EveryEffectTitle, &actual);
    HashTitle("scripts", ScriptsTitle, &actual);
    HashTitle("plates", PlatesTitle, &actual);

    const std::string file = kDataDir + "/hashes.txt";
    if (const char* refresh = std::getenv("QEL_GOLDEN_REFRESH"); refresh && *refresh == '1') {
        std::ofstream outFile(file, std::ios::trunc);
        for (const auto& [name, hash] : actual) outFile << name << ' ' << hash << '\n';
        ASSERT_TRUE(outFile.good()) << "could not write " << file;
        GTEST_SKIP() << "refreshed " << file;
    }
    std::map<std::string, std::string> expected;
    std::ifstream in(file);
    ASSERT_TRUE(in.good()) << "missing " << file << "; see the top of this test for how to make it";
    for (std::string name, hash; in >> name >> hash;) expected[name] = hash;
    for (const auto& [name, hash] : actual) {
        const auto it = expected.find(name);
        EXPECT_TRUE(it != expected.end() && it->second == hash) << name << ": " << hash;
    }
    EXPECT_EQ(expected.size(), actual.size());
}

}  // namespace
}  // namespace qel
