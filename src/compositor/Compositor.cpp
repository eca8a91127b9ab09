// The compositor's state between frames and its synchronisation with the title: one drawing
// record per string, the glyph cache matched to the title's revision and settings (Sync), each
// string's effect made again when the revision or its path changed (EffectFor), and the validity
// of the still frame. Drawing itself is FrameCompositor's (FrameCompositor.cpp), its threads
// WorkTeam's.
#include "compositor/Compositor.h"

#include <cstring>
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
    try {
        FrameCompositor frame(*this, title, pixels);
        bool draw = false;
        hr = frame.Prepare(&draw);
        if (hr == S_OK && draw) {
            // The one change a frame makes to the title: every string's path and progress at
            // this time, as SetTime sets them.
            title.EvaluateTime(time);
            hr = frame.Draw();
        }
    } catch (...) {
        // Strings already drawn into their layers are not blended; nothing was changed.
        dirtyRect_ = RECT{};
        cacheValid_ = false;
        throw;
    }
    if (hr != S_OK) {
        dirtyRect_ = RECT{};
        cacheValid_ = false;
    }
    return hr;
}

void Compositor::Sync(const Title& title) {
    const std::vector<MetaString>& strings = title.Strings();
    const LayerSettings glyphSettings = LayerSettings::From(title.Settings());
    const bool settingsChanged = !SameLayerSettings(glyphSettings, glyphSettings_);
    if (!settingsChanged && syncedRevision_ == title.Revision() && states_.size() == strings.size()) return;
    states_.resize(strings.size());
    for (size_t k = 0; k < strings.size(); ++k) {
        SyncGlyphs(strings[k], glyphSettings, states_[k].glyphs, states_[k].keys);
    }
    glyphSettings_ = glyphSettings;
    syncedRevision_ = title.Revision();
}

PathEffect* Compositor::EffectFor(const Title& title, int32_t row) {
    const MetaString* s = title.StringAt(row);
    if (!s) return nullptr;
    if (states_.size() < title.Strings().size()) states_.resize(title.Strings().size());
    StringRender& r = State(row);
    if (r.EffectCurrent(*s, title.Revision())) return r.effect.get();

    r.effect = EffectCatalog::CreateEffect(s->PathID);
    if (PathEffect* effect = r.effect.get()) {
        const RenderSettings& rs = title.Settings();
        const RectF box = title.StringFrameRect(*s);
        EffectSetup setup{rs.Width, rs.Height, box.x, box.y, box.width, box.height, s->RotateDegree,
                          int32_t(s->chars.size()), {}};
        setup.chars.reserve(s->chars.size());
        for (size_t i = 0; i < s->chars.size(); ++i) {
            const RectF c = title.CharFrameRect(*s, int32_t(i));
            const float ascent = FontOf(*s, s->chars[i]).Ascent;
            setup.chars.push_back(CharBox{c.x, c.y, c.width, c.height, c.x, c.y + rs.ScaleY * ascent});
        }
        effect->SetUp(setup);
    }
    r.effectMade = true;
    r.effectRevision = title.Revision();
    std::memcpy(r.effectPathId, s->PathID, sizeof r.effectPathId);
    return r.effect.get();
}

void Compositor::ReplaceEffect(const Title& title, int32_t row, std::unique_ptr<PathEffect> effect) {
    const MetaString* s = title.StringAt(row);
    if (!s) return;
    if (states_.size() < title.Strings().size()) states_.resize(title.Strings().size());
    StringRender& r = State(row);
    r.effect = std::move(effect);
    r.effectMade = true;
    r.effectRevision = title.Revision();
    std::memcpy(r.effectPathId, s->PathID, sizeof r.effectPathId);
}

StringRender* Compositor::StateOf(int32_t row) {
    if (row < 0 || size_t(row) >= states_.size()) return nullptr;
    return &states_[size_t(row)];
}

void Compositor::ReleaseCaches() {
    states_.clear();
    syncedRevision_ = ~uint64_t{0};
    cacheValid_ = false;
    OutlineKernelCache::Instance().Clear();
    workers_.StopIdleThreads();
}

void Compositor::SetMaxThreads(int32_t maxThreads) { workers_.SetMaxThreads(static_cast<uint32_t>(maxThreads)); }

}  // namespace qel
