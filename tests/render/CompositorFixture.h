// Titles with real fonts for the compositor tests and benchmarks, and an effect whose answers a
// test scripts.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "effects/PathEffect.h"
#include "host/TitleHost.h"

namespace qel::testing {

struct HostDeleter {
    void operator()(TitleHost* h) const { ReleaseTitleHost(h); }
};
using HostPtr = std::unique_ptr<TitleHost, HostDeleter>;

inline HostPtr MakeHost(int32_t width, int32_t height) {
    HostPtr host(static_cast<TitleHost*>(GetTitleHost()));
    RenderSettings rs{};
    host->GetRenderSettings(&rs);
    rs.Width = width;
    rs.Height = height;
    rs.ClipRect = {0, 0, width, height};
    host->SetRenderSettings(&rs);
    return host;
}

inline void SetFont(TitleHost& host, const char16_t* face, float size) {
    FontSpec font{};
    for (int i = 0; face[i] && i < 31; ++i) font.FaceName[i] = face[i];
    font.CharSet = 1;
    font.Size = size;
    host.SetDefaultFont(&font);
}

// A string of `text` at (left, top) with the current defaults; returns its row.
inline int32_t AddText(TitleHost& host, const std::u16string& text, float left, float top) {
    StringAttrs attrs = host.Engine().DefaultString();
    attrs.Left = left;
    attrs.Top = top;
    host.SetDefaultString(&attrs);
    const int32_t row = host.AddString();
    host.InsertText(row, 0, text.c_str());
    return row;
}

inline void ChangeSettings(TitleHost& host, const std::function<void(RenderSettings&)>& change) {
    RenderSettings rs{};
    host.GetRenderSettings(&rs);
    change(rs);
    host.SetRenderSettings(&rs);
}

// An effect that answers whatever the test's function says; the default is the layout position.
class ScriptedEffect : public PathEffect {
public:
    using Script = std::function<CharState(int32_t pass, int32_t i, const CharBox& box)>;

    explicit ScriptedEffect(Script script) : script_(std::move(script)) {}

    CharState CharAt(int32_t pass, int32_t i, const CharBox& box, float, EffectRandom&) const override {
        asked.push_back(i);
        return script_(pass, i, box);
    }

    mutable std::vector<int32_t> asked;  // every index asked, in order

private:
    Script script_;
};

// Replaces the string's effect with a scripted one, set up as the rebuild step sets up effects.
inline ScriptedEffect* InstallEffect(TitleHost& host, int32_t row, ScriptedEffect::Script script) {
    const Title& title = host.Engine();
    const MetaString& s = *title.StringAt(row);
    auto owned = std::make_unique<ScriptedEffect>(std::move(script));
    ScriptedEffect* effect = owned.get();
    const RectF box = title.StringFrameRect(s);
    EffectSetup setup{title.Settings().Width, title.Settings().Height, box.x, box.y, box.width, box.height,
                      s.RotateDegree, int32_t(s.chars.size()), {}, {}, {}};
    for (size_t i = 0; i < s.chars.size(); ++i) {
        const RectF c = title.CharFrameRect(s, int32_t(i));
        setup.chars.push_back(CharBox{c.x, c.y, c.width, c.height, c.x, c.y});
    }
    effect->SetUp(setup);
    host.Renderer().ReplaceEffect(title, row, std::move(owned));
    return effect;
}

// A frame of opaque (or, with alpha < 255, translucent) pixels in a pattern, so that blends show.
inline std::vector<uint8_t> Background(int32_t width, int32_t height, uint8_t alpha = 255) {
    std::vector<uint8_t> frame(size_t(width) * height * 4);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = &frame[(size_t(y) * width + x) * 4];
            p[0] = uint8_t(x * 3);
            p[1] = uint8_t(y * 5);
            p[2] = uint8_t((x + y) * 7);
            p[3] = alpha;
        }
    return frame;
}

inline bool Inside(const RECT& r, int32_t x, int32_t y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace qel::testing
