// Fuzzes a loaded title through everything that reads it after the load: the rectangles and
// quads of every character, line, paragraph and string, GetText, DumpLayout, Render of a small
// frame under several render settings and title times, then a save and a second load.
//
// A title that the loader accepts may still carry hostile values (huge or non-finite positions,
// sizes, spacings and angles, font heights and weights, border sizes, blur radii, offsets, key
// frames); none of them may crash or hang the host.
//
// The input encoding is described in FuzzInput.h.
#include <cmath>

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
    QueryLayout(*host);
    RenderFrames(*host, seed);
    const std::u16string saved = qel::fuzz::SaveTitle(*host);
    if (!saved.empty() && host->LoadTitleFromBuffer(saved.c_str()) == qel::S_OK) {
        QueryLayout(*host);
        RenderFrames(*host, seed + 1);
    }
    return 0;
}
