// The compositor's state between frames and its synchronisation with the title: one drawing
// record per string, the glyph cache matched to the title's revision and settings (Sync), each
// string's effect made again when the revision or its path changed (EffectFor), and the validity
// of the still frame. Drawing itself is FrameCompositor's (FrameCompositor.cpp), which sees this
// state only through FrameStore; its threads are ThreadTeam's.
#include "compositor/Compositor.h"

#include <algorithm>
#include <array>
#include <thread>

#include "compositor/FrameCompositor.h"
#include "effects/EffectCatalog.h"
#include "model/Fonts.h"
#include "render/OutlineKernel.h"

namespace qel {
namespace {

bool SameLayerSettings(const LayerSettings& a, const LayerSettings& b) {
    return a.scaleX == b.scaleX && a.scaleY == b.scaleY && a.qualityMode == b.qualityMode &&
           a.colorMode == b.colorMode;
}

// What a string draws at rest, in its unrotated frame: the union of its boxes and of every
// character's face, border and shadow images (which hold the blur and the extrusion) placed at its
// box. The images of a turned string are turned with it about the character's place, so their
// corners are turned back first. A character whose images are not made yet counts by its box.
EffectRect DrawnAtRest(const MetaString& s, const std::vector<PreparedGlyph>& glyphs,
                       const std::vector<CharBox>& boxes, const EffectRect& text) {
    float left = text.left, top = text.top, right = text.left + text.width, bottom = text.top + text.height;
    const float c = s.RotateDegree != 0 ? s.RotCos : 1.0f, sn = s.RotateDegree != 0 ? s.RotSin : 0.0f;
    for (size_t i = 0; i < boxes.size() && i < glyphs.size(); ++i) {
        const CharBox& box = boxes[i];
        const PreparedGlyph& g = glyphs[i];
        if (g.DirtyBits != 0) {
            left = std::min(left, box.x), right = std::max(right, box.x + box.width);
            top = std::min(top, box.y), bottom = std::max(bottom, box.y + box.height);
            continue;
        }
        for (const LayerImage* image : {&g.Face, &g.Border, &g.Shadow}) {
            if (!image->pixels) continue;
            const float xs[2] = {image->x, image->x + float(image->width)};
            const float ys[2] = {image->y, image->y + float(image->height)};
            for (float ox : xs) {
                for (float oy : ys) {
                    // The inverse of the compositor's turn x' = c dx + s dy, y' = c dy - s dx.
                    const float x = box.x + c * ox - sn * oy, y = box.y + sn * ox + c * oy;
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
            }
        }
    }
    return {left, top, right - left, bottom - top};
}

}  // namespace

Compositor::Compositor() {
    const unsigned processors = std::thread::hardware_concurrency();
    processorCount_ = processors ? static_cast<int32_t>(processors) : 1;
}

HRESULT Compositor::Render(Title& title, uint8_t* pixels, float time) {
    dirtyRect_ = RECT{};
    if (!pixels) return E_INVALIDARG;
    if (title.Strings().empty()) return S_OK;
    HRESULT hr = E_FAIL;
    team_.SetHelpers(HelpersFor(title.Settings().MaxThreads));
    try {
        FrameCompositor frame(*this, title, pixels);
        bool draw = false;
        hr = frame.Prepare(&draw);
        if (hr == S_OK && draw) {
            // The one change a frame makes to the title: every string's path and progress at
            // this time, as SetTime sets them.
            title.EvaluateTime(time);
            // A time outside 0..1 leaves the paths where they were, and the plates too.
            if (time >= 0.0f && time <= 1.0f) plateTime_ = time;
            hr = frame.Draw(plateTime_, &dirtyRect_);
        }
        team_.Rest();
    } catch (...) {
        team_.Rest();
        // Strings already drawn into their layers are not blended; nothing was changed.
        dirtyRect_ = RECT{};
        still_.valid = false;
        throw;
    }
    if (hr != S_OK) {
        dirtyRect_ = RECT{};
        still_.valid = false;
    }
    return hr;
}

int32_t Compositor::HelpersFor(int32_t maxThreads) const {
    // Threaded drawing needs two threads allowed and two processors.
    if (maxThreads < 2 || processorCount_ < 2) return 0;
    return std::min(maxThreads, processorCount_) - 1;
}

std::vector<StringRender>& Compositor::SyncedStrings(const Title& title) {
    Sync(title);
    return states_;
}

void Compositor::Sync(const Title& title) {
    const std::vector<MetaString>& strings = title.Strings();
    const LayerSettings glyphSettings = LayerSettings::From(title.Settings());
    const bool settingsChanged = !SameLayerSettings(glyphSettings, glyphSettings_);
    if (!settingsChanged && syncedRevision_ == title.Revision() && states_.size() == strings.size()) return;
    states_.resize(strings.size());
    for (size_t k = 0; k < strings.size(); ++k) {
        SyncGlyphs(strings[k], glyphSettings, states_[k].atRest.glyphs, states_[k].atRest.keys);
    }
    glyphSettings_ = glyphSettings;
    syncedRevision_ = title.Revision();
}

PathEffect* Compositor::EffectFor(const Title& title, int32_t row) {
    const MetaString* s = title.StringAt(row);
    if (!s) return nullptr;
    if (states_.size() < title.Strings().size()) states_.resize(title.Strings().size());
    StringRender& r = State(row);
    if (r.effect.CurrentFor(*s, title.Revision())) return r.effect.Get();

    std::unique_ptr<PathEffect> made = EffectCatalog::CreateEffect(s->PathID);
    if (PathEffect* effect = made.get()) {
        const RenderSettings& rs = title.Settings();
        const RectF box = title.StringTextRect(*s);
        const RectF layout = title.StringFrameRect(*s);
        EffectSetup setup{rs.Width, rs.Height, box.x, box.y, box.width, box.height, s->RotateDegree,
                          int32_t(s->chars.size()), {}, {}, {}};
        setup.chars.reserve(s->chars.size());
        for (size_t i = 0; i < s->chars.size(); ++i) {
            const RectF c = title.CharFrameRect(*s, int32_t(i));
            const float ascent = FontOf(*s, s->chars[i]).Ascent;
            setup.chars.push_back(CharBox{c.x, c.y, c.width, c.height, c.x, c.y + rs.ScaleY * ascent});
        }
        // The string turns about its layout box's corner, wherever its text stands.
        setup.pivot = std::array<float, 2>{layout.x, layout.y};
        setup.drawn = DrawnAtRest(*s, r.atRest.glyphs, setup.chars, EffectRect{box.x, box.y, box.width, box.height});
        effect->SetUp(setup);
    }
    r.effect.Hold(std::move(made), *s, title.Revision());
    return r.effect.Get();
}

void Compositor::ReplaceEffect(const Title& title, int32_t row, std::unique_ptr<PathEffect> effect) {
    const MetaString* s = title.StringAt(row);
    if (!s) return;
    if (states_.size() < title.Strings().size()) states_.resize(title.Strings().size());
    State(row).effect.Hold(std::move(effect), *s, title.Revision());
}

StringRender* Compositor::StateOf(int32_t row) {
    if (row < 0 || size_t(row) >= states_.size()) return nullptr;
    return &states_[size_t(row)];
}

void Compositor::ReleaseCaches() {
    states_.clear();
    syncedRevision_ = ~uint64_t{0};
    still_.valid = false;
    images_.Clear();
    OutlineKernelCache::Instance().Clear();
    team_.Stop();
}

// Helpers beyond the new limit end now rather than at the next frame.
void Compositor::SetMaxThreads(int32_t maxThreads) {
    if (HelpersFor(maxThreads) < team_.Running()) team_.SetHelpers(HelpersFor(maxThreads));
}

}  // namespace qel
