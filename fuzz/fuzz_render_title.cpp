// Fuzzes a loaded title through everything that reads it after the load: the rectangles and
// quads of every character, line, paragraph and string, GetText, DumpLayout, Render of a small
// frame under several render settings and title times, then a save and a second load.
//
// A title that the loader accepts may still carry hostile values (huge or non-finite positions,
// sizes, spacings and angles, font heights and weights, border sizes, blur radii, offsets, key
// frames); none of them may crash or hang the host.
//
// The input also picks a string of mixed scripts, direction controls and emoji sequences that is
// added to the loaded title before it is drawn. The input encoding is described in FuzzInput.h.
#include <cmath>
#include <iterator>

#include "FuzzInput.h"

namespace {

constexpr int32_t kFrameWidth = 96;
constexpr int32_t kFrameHeight = 64;

void QueryLayout(qel::ITitleHost& host) {
    const int32_t strings = host.GetStringCount();
    for (int32_t row = 0; row < strings; ++row) {
        qel::RectF rect;
        qel::QuadF quad;
        (void)host.GetStringRect(row, &rect);
        (void)host.GetStringQuad(row, &quad);
        const int32_t chars = host.GetCharCount(row);
        for (int32_t col = 0; col <= chars; ++col) {
            (void)host.GetCharRect(row, col, &rect, col & 1);
            (void)host.GetCharQuad(row, col, &quad, col & 1);
        }
        const int32_t lines = host.GetLineCount(row);
        for (int32_t line = 0; line <= lines; ++line) {
            (void)host.GetLineRect(row, line, &rect);
            (void)host.GetLineQuad(row, line, &quad);
        }
        const int32_t paras = host.GetParagraphCount(row);
        for (int32_t para = 0; para <= paras; ++para) {
            (void)host.GetParagraphRect(row, para, &rect);
            (void)host.GetParagraphQuad(row, para, &quad);
        }
        const int32_t length = host.GetText(row, nullptr);
        if (length >= 0) {
            std::vector<char16_t> text(static_cast<size_t>(length) + 1);
            (void)host.GetText(row, text.data());
        }
        (void)host.DumpLayout(row);
    }
}

// The title times to draw: the ends, the middle, and the first key frame of every string.
std::vector<float> FrameTimes(qel::ITitleHost& host) {
    std::vector<float> times{0.0f, 0.5f, 1.0f};
    const int32_t strings = host.GetStringCount();
    for (int32_t row = 0; row < strings; ++row) {
        float key = 0;
        qel::PathValue value;
        if (host.GetFirstKeyFrame(row, &key, &value) == qel::S_OK) times.push_back(key);
        if (host.GetNextKeyFrame(row, &key, &value) == qel::S_OK) times.push_back(key);
    }
    return times;
}

constexpr float kFrameScale = 0.075f;  // a 1280 x 720 title into the small frame

// Borders and blurs are drawn up to 2048 frame pixels wide; one character that wide costs seconds
// under the sanitizers, and a minute-long smoke run would spend itself on a few such inputs. The
// fuzzer draws titles whose style distances stay within kMaxStylePixels and only queries, saves
// and reloads the others (the wide cases have their own tests).
constexpr double kMaxStylePixels = 48;

bool CheapToDraw(qel::ITitleHost& host) {
    auto pixels = [](double value, float size) { return std::fabs(value * size / 2048.0 * kFrameScale * 25.6); };
    const int32_t strings = host.GetStringCount();
    for (int32_t row = 0; row < strings; ++row) {
        const int32_t chars = host.GetCharCount(row);
        for (int32_t col = 0; col < chars; ++col) {
            qel::FontSpec font{};
            qel::MetaFace face{};
            qel::MetaBorder border{};
            qel::MetaShadow shadow{};
            (void)host.GetCharFont(row, col, &font);
            (void)host.GetCharFace(row, col, &face);
            (void)host.GetCharBorder(row, col, &border);
            (void)host.GetCharShadow(row, col, &shadow);
            const float size = std::isfinite(font.Size) ? font.Size : 0.0f;
            for (double value : {double(face.BlurRadius), double(border.BlurRadius), double(border.Size),
                                 double(shadow.BlurRadius)}) {
                if (!(pixels(value, size) <= kMaxStylePixels)) return false;
            }
        }
    }
    return true;
}

void RenderFrames(qel::ITitleHost& host, uint32_t seed) {
    if (!CheapToDraw(host)) return;
    std::vector<uint8_t> frame(static_cast<size_t>(kFrameWidth) * kFrameHeight * 4);
    const std::vector<float> times = FrameTimes(host);
    for (int variant = 0; variant < 4; ++variant) {
        qel::RenderSettings settings{};
        (void)host.GetRenderSettings(&settings);
        settings.Width = kFrameWidth;
        settings.Height = kFrameHeight;
        settings.ScaleX = settings.ScaleY = kFrameScale;
        settings.ClipRect = {0, 0, kFrameWidth, kFrameHeight};
        settings.MaxThreads = 1 + (variant & 1);
        settings.KeepAlpha = (variant >> 1) & 1;
        settings.ColorMode = ((variant ^ seed) >> 1) & 1;
        settings.QualityMode = static_cast<int32_t>((seed + variant) % 4);
        settings.Smoothing = static_cast<int32_t>((seed >> 2) & 1);
        settings.UseGlyphCache = 1;
        if (host.SetRenderSettings(&settings) != qel::S_OK) continue;
        for (float time : times) {
            std::memset(frame.data(), static_cast<int>(seed & 0xFF), frame.size());
            (void)host.Render(frame.data(), time);
            qel::RECT dirty;
            (void)host.GetDirtyRect(&dirty);
        }
    }
}

// Pieces of text that shaping and direction must survive in any order: joining and right-to-left
// letters, digits, a conjunct and its vowel signs, Thai marks, stacked combining marks, direction
// embeddings, isolates and marks, joiners, emoji with a modifier, a ZWJ family, a flag, a keycap.
const char16_t* const kScriptPieces[] = {
    u"\u0645\u0631\u062D\u0628\u0627", u"\u0644\u0627", u"\u05E9\u05DC\u05D5\u05DD", u"2024", u"(1)",
    u"\u0938\u094D\u0924\u0947", u"\u0928\u093F", u"\u0E2A\u0E27\u0E31\u0E2A\u0E14\u0E35", u"\u0E19\u0E49\u0E33",
    u"e\u0302\u0301", u"\u0323", u"\u202B", u"\u202A", u"\u202C", u"\u2067", u"\u2066", u"\u2069", u"\u200F",
    u"\u200E", u"\u200D", u"\u200C", u"\U0001F44B\U0001F3FD", u"\U0001F468\u200D\U0001F469\u200D\U0001F467",
    u"\U0001F1EF\U0001F1F5", u"1\uFE0F\u20E3", u"AV", u" ", u"\r\n", u"\uFE0F", u"\U0001F1EF",
};

// A string of pieces chosen by the input, kerned or not, added to the loaded title.
void AddMixedScripts(qel::ITitleHost& host, const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 1; i < size && i < 64; ++i) text += kScriptPieces[data[i] % std::size(kScriptPieces)];
    if (text.empty()) return;
    qel::FontSpec font{};
    (void)host.GetDefaultFont(&font);
    font.CharSet = (data[0] & 2) ? 0x101 : 1;
    font.Size = 40;
    (void)host.SetDefaultFont(&font);
    const int32_t row = host.AddString();
    if (row >= 0) (void)host.InsertText(row, 0, text.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qel::fuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qel::ITitleHost* host = GetTitleHost();
    if (!host || size == 0) return 0;

    const std::u16string text = qel::fuzz::TitleText(data, size);
    if (host->LoadTitleFromBuffer(text.c_str()) != qel::S_OK || host->GetStringCount() <= 0) return 0;

    const uint32_t seed = static_cast<uint32_t>(size * 2654435761u) >> 8;
    AddMixedScripts(*host, data, size);
    QueryLayout(*host);
    RenderFrames(*host, seed);
    const std::u16string saved = qel::fuzz::SaveTitle(*host);
    if (!saved.empty() && host->LoadTitleFromBuffer(saved.c_str()) == qel::S_OK) {
        QueryLayout(*host);
        RenderFrames(*host, seed + 1);
    }
    return 0;
}
