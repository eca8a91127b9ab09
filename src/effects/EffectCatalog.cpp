// The built-in paths live in one list, kEntries: the rows offered to the host are built from it
// at compile time and the factory reads the same entries, so a path can never be listed with one
// set of numbers and created as something else.
#include "effects/EffectCatalog.h"

#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include "effects/EffectFactories.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

constexpr const char* kWipe = "CLASS_WIPE";
constexpr const char* kSlide = "CLASS_SLIDE";
constexpr const char* kPopup = "CLASS_POPUP";
constexpr const char* kSpecial = "CLASS_SPECIAL";
constexpr const char* kFly = "CLASS_FLY";
constexpr const char* kRotate = "CLASS_ROTATE";
constexpr const char* kRollNCrawl = "CLASS_ROLLNCRAWL";
constexpr const char* kNoEffect = "CLASS_NOEFFECT";

struct EffectEntry {
    const char* pathId;
    const char* displayKey;  // the text keys are "IDS_DSP_Ti_" + displayKey + "_Name" / "_Desc"
    const char* groupId;
    int32_t level;       // offered from SelectByLevel(1) up to SelectByLevel(level)
    int32_t passes;      // drawing passes per frame
    int32_t wholeImage;  // 1: the effect also processes the string's rendered image
    EffectFactory create;
};

// In enumeration order.
constexpr EffectEntry kEntries[] = {
    {"PATH_AMPLIFYH", "AmplifyH", kWipe, 1, 1, 0, NewAmplifyH},
    {"PATH_AMPLIFYV", "AmplifyV", kWipe, 1, 1, 0, NewAmplifyV},
    {"PATH_ASSEMBLY", "Assembly", kSlide, 1, 1, 0, NewAssembly},
    {"PATH_DOUBLEVISIONH", "DoubleVisionH", kPopup, 1, 2, 0, NewDoubleVisionH},
    {"PATH_DOUBLEVISIONV", "DoubleVisionV", kPopup, 1, 2, 0, NewDoubleVisionV},
    {"PATH_FLOCKING", "Flocking", kSpecial, 2, 1, 0, NewFlocking},
    {"PATH_GLITTER", "Glitter", kPopup, 2, 1, 0, NewGlitter},
    {"PATH_HIDEDOWN", "HideDown", kSlide, 2, 1, 0, NewHideDown},
    {"PATH_HIDELEFT", "HideLeft", kSlide, 2, 1, 0, NewHideLeft},
    {"PATH_HIDERIGHT", "HideRight", kSlide, 2, 1, 0, NewHideRight},
    {"PATH_HIDEUP", "HideUp", kSlide, 2, 1, 0, NewHideUp},
    {"PATH_ICICLES", "Icicles", kSpecial, 2, 1, 0, NewIcicles},
    {"PATH_MAGNETS1", "Magnets1", kPopup, 1, 1, 0, NewMagnets1},
    {"PATH_MAGNETS2", "Magnets2", kPopup, 1, 1, 0, NewMagnets2},
    {"PATH_MARCH", "March", kFly, 2, 1, 0, NewMarch},
    {"PATH_NOEFFECT", "NoEffect", kNoEffect, 2, 1, 0, NewNoEffect},
    {"PATH_POPUP1", "Popup1", kPopup, 1, 1, 0, NewPopup1},
    {"PATH_POPUP2", "Popup2", kPopup, 1, 1, 0, NewPopup2},
    {"PATH_POPUP3", "Popup3", kPopup, 1, 1, 0, NewPopup3},
    {"PATH_ROLLERCOASTERLEFT", "RollerCoasterLeft", kFly, 2, 1, 0, NewRollerCoasterLeft},
    {"PATH_ROLLERCOASTERRIGHT", "RollerCoasterRight", kFly, 2, 1, 0, NewRollerCoasterRight},
    {"PATH_ROLLINGLEFT", "RollingLeft", kRotate, 1, 1, 0, NewRollingLeft},
    {"PATH_ROLLINGRIGHT", "RollingRight", kRotate, 1, 1, 0, NewRollingRight},
    {"PATH_ROTATECCW", "RotateCCW", kRotate, 2, 1, 0, NewRotateCCW},
    {"PATH_ROTATECW", "RotateCW", kRotate, 2, 1, 0, NewRotateCW},
    {"PATH_SCROLLDOWN", "ScrollDown", kRollNCrawl, 2, 1, 0, NewScrollDown},
    {"PATH_SCROLLLEFT", "ScrollLeft", kRollNCrawl, 2, 1, 0, NewScrollLeft},
    {"PATH_SCROLLRIGHT", "ScrollRight", kRollNCrawl, 2, 1, 0, NewScrollRight},
    {"PATH_SCROLLUP", "ScrollUp", kRollNCrawl, 2, 1, 0, NewScrollUp},
    {"PATH_SLIDEDOWN", "SlideDown", kSlide, 1, 1, 0, NewSlideDown},
    {"PATH_SLIDELEFT", "SlideLeft", kSlide, 1, 1, 0, NewSlideLeft},
    {"PATH_SLIDERIGHT", "SlideRight", kSlide, 1, 1, 0, NewSlideRight},
    {"PATH_SLIDEUP", "SlideUp", kSlide, 1, 1, 0, NewSlideUp},
    {"PATH_SOLODOWN", "SoloDown", kSlide, 1, 1, 0, NewSoloDown},
    {"PATH_SOLOLEFT", "SoloLeft", kSlide, 1, 1, 0, NewSoloLeft},
    {"PATH_SOLORIGHT", "SoloRight", kSlide, 1, 1, 0, NewSoloRight},
    {"PATH_SOLOUP", "SoloUp", kSlide, 1, 1, 0, NewSoloUp},
    {"PATH_SPIRAL", "Spiral", kFly, 2, 1, 0, NewSpiral},
    {"PATH_SWARMLEFT", "SwarmLeft", kFly, 1, 1, 0, NewSwarmLeft},
    {"PATH_SWARMRIGHT", "SwarmRight", kFly, 1, 1, 0, NewSwarmRight},
    {"PATH_SWIRL", "Swirl", kRotate, 2, 1, 0, NewSwirl},
    {"PATH_TRANCECCW", "TranceCCW", kRotate, 1, 2, 0, NewTranceCCW},
    {"PATH_TRANCECW", "TranceCW", kRotate, 1, 2, 0, NewTranceCW},
    {"PATH_TRANCECENTER", "TranceCenter", kSpecial, 1, 2, 0, NewTranceCenter},
    {"PATH_TRANCEDOWN", "TranceDown", kSlide, 1, 2, 0, NewTranceDown},
    {"PATH_TRANCELEFT", "TranceLeft", kSlide, 1, 2, 0, NewTranceLeft},
    {"PATH_TRANCERIGHT", "TranceRight", kSlide, 1, 2, 0, NewTranceRight},
    {"PATH_TRANCEUP", "TranceUp", kSlide, 1, 2, 0, NewTranceUp},
    {"PATH_TWINKLE", "Twinkle", kPopup, 2, 1, 0, NewTwinkle},
    {"PATH_UNITE", "Unite", kSpecial, 1, 1, 0, NewUnite},
    {"PATH_WAVE", "Wave", kFly, 2, 1, 0, NewWave},
    {"PATH_WINDSHIELDLEFT", "WindshieldLeft", kFly, 1, 1, 0, NewWindshieldLeft},
    {"PATH_WINDSHIELDRIGHT", "WindshieldRight", kFly, 1, 1, 0, NewWindshieldRight},
    {"PATH_WIPEDOWN", "WipeDown", kWipe, 2, 1, 0, NewWipeDown},
    {"PATH_WIPELEFT", "WipeLeft", kWipe, 2, 1, 0, NewWipeLeft},
    {"PATH_WIPERIGHT", "WipeRight", kWipe, 2, 1, 0, NewWipeRight},
    {"PATH_WIPEUP", "WipeUp", kWipe, 2, 1, 0, NewWipeUp},
    {"PATH_FLIP", "Flip", kSpecial, 1, 1, 0, NewFlip},
    {"PATH_FADE", "Fade", kWipe, 2, 1, 0, NewFade},
    {"PATH_ROTATEINWARDS", "RotateInwards", kRotate, 1, 1, 0, NewRotateInwards},
    {"PATH_ROTATEOUTWARDS", "RotateOutwards", kRotate, 1, 1, 0, NewRotateOutwards},
    {"PATH_BLURLEFT", "BlurLeft", kSpecial, 1, 1, 1, NewBlurLeft},
    {"PATH_BLURRIGHT", "BlurRight", kSpecial, 1, 1, 1, NewBlurRight},
    {"PATH_PERSPECTIVESCROLL", "PerspectiveScroll", kRollNCrawl, 1, 1, 1, NewPerspectiveScroll},
    {"PATH_GLOW", "Glow", kSpecial, 1, 1, 1, NewGlow},
};
constexpr int32_t kBuiltInRowCount = static_cast<int32_t>(std::size(kEntries));
static_assert(kBuiltInRowCount == 65);

// Created by the factory but never offered: no row, no texts, no passes of its own.
constexpr const char* kScrollNResizeId = "PATH_SCROLLNRESIZE";
constexpr EffectFactory kScrollNResizeFactory = NewScrollNResize;

constexpr void AppendText(char (&dst)[260], size_t& at, std::string_view text) {
    for (char c : text) dst[at++] = c;
}

constexpr void SetText(char (&dst)[260], std::string_view a, std::string_view b = {}, std::string_view c = {}) {
    size_t at = 0;
    AppendText(dst, at, a);
    AppendText(dst, at, b);
    AppendText(dst, at, c);
    dst[at] = '\0';
}

constexpr EffectTableRow MakeRow(const EffectEntry& e) {
    EffectTableRow row{};
    SetText(row.pathId, e.pathId);
    SetText(row.nameKey, "IDS_DSP_Ti_", e.displayKey, "_Name");
    SetText(row.descKey, "IDS_DSP_Ti_", e.displayKey, "_Desc");
    SetText(row.groupId, e.groupId);
    row.level = e.level;
    row.passes = e.passes;
    row.wholeImage = e.wholeImage;
    return row;
}

constexpr std::array<EffectTableRow, kBuiltInRowCount> kRows = [] {
    std::array<EffectTableRow, kBuiltInRowCount> rows{};
    for (int32_t k = 0; k < kBuiltInRowCount; ++k) rows[static_cast<size_t>(k)] = MakeRow(kEntries[k]);
    return rows;
}();

// The built-in row of an identifier (exact, case-sensitive), or -1; null and empty give -1.
int32_t BuiltInIndex(const char* pathId) {
    if (!pathId || !*pathId) return -1;
    for (int32_t k = 0; k < kBuiltInRowCount; ++k) {
        if (std::strcmp(pathId, kEntries[k].pathId) == 0) return k;
    }
    return -1;
}

}  // namespace

std::unique_ptr<PathEffect> NewPathEffect() { return std::make_unique<PathEffect>(); }

std::unique_ptr<PathEffect> EffectCatalog::CreateEffect(const char* pathId) {
    const int32_t k = BuiltInIndex(pathId);
    EffectFactory create = k >= 0 ? kEntries[k].create : nullptr;
    if (!create && pathId && std::strcmp(pathId, kScrollNResizeId) == 0) create = kScrollNResizeFactory;
    return create ? create() : nullptr;
}

int EffectCatalog::SelectByLevel(uint8_t level) {
    if (level == 0) return 0;
    offered_.clear();
    for (int32_t k = 0; k < kBuiltInRowCount; ++k) {
        if (kRows[static_cast<size_t>(k)].level >= level) offered_.push_back(kRows[static_cast<size_t>(k)]);
    }
    return static_cast<int>(offered_.size());
}

// The list is walked by index and its size read again after every call, so a callback that
// offers a different list through the host ends the walk cleanly instead of reading freed rows.
int EffectCatalog::EnumEffects(EffectEnumProc proc) {
    if (!proc) return 0;
    for (size_t k = 0; k < offered_.size(); ++k) {
        const EffectTableRow& row = offered_[k];
        const char* name = strings_.LookupCaption(row.nameKey);
        const char* desc = strings_.LookupCaption(row.descKey);
        if (proc(row.pathId, name, desc, row.groupId) == E_ABORT) break;
    }
    return 0;
}

int EffectCatalog::EnumEffectsW(EffectEnumProc proc) {
    if (!proc) return 0;
    for (size_t k = 0; k < offered_.size(); ++k) {
        const EffectTableRow& row = offered_[k];
        const char16_t* name = strings_.LookupCaptionW(row.nameKey);
        const char16_t* desc = strings_.LookupCaptionW(row.descKey);
        if (proc(row.pathId, name, desc, row.groupId) == E_ABORT) break;
    }
    return 0;
}

const char* EffectCatalog::GetEffectName(const char* pathId) {
    const EffectTableRow* row = FindOffered(pathId);
    return row ? strings_.LookupCaption(row->nameKey) : nullptr;
}

const char16_t* EffectCatalog::GetEffectNameW(const char* pathId) {
    const EffectTableRow* row = FindOffered(pathId);
    return row ? strings_.LookupCaptionW(row->nameKey) : nullptr;
}

const char* EffectCatalog::GetEffectDesc(const char* pathId) {
    const EffectTableRow* row = FindOffered(pathId);
    return row ? strings_.LookupCaption(row->descKey) : nullptr;
}

const char16_t* EffectCatalog::GetEffectDescW(const char* pathId) {
    const EffectTableRow* row = FindOffered(pathId);
    return row ? strings_.LookupCaptionW(row->descKey) : nullptr;
}

int EffectCatalog::GetPassCount(const char* pathId) {
    const int32_t k = BuiltInIndex(pathId);
    return k >= 0 ? kEntries[k].passes : 0;
}

int EffectCatalog::IsWholeImage(const char* pathId) {
    const int32_t k = BuiltInIndex(pathId);
    return k >= 0 ? kEntries[k].wholeImage : 0;
}

int EffectCatalog::BuiltInRowCount() { return kBuiltInRowCount; }

// An index outside the table answers an all-zero row (empty identifiers, level 0).
const EffectTableRow& EffectCatalog::BuiltInRow(int index) {
    static constexpr EffectTableRow kNone{};
    if (index < 0 || index >= kBuiltInRowCount) return kNone;
    return kRows[static_cast<size_t>(index)];
}

const EffectTableRow* EffectCatalog::FindOffered(const char* pathId) const {
    if (!pathId) return nullptr;
    for (const EffectTableRow& row : offered_) {
        if (std::strcmp(pathId, row.pathId) == 0) return &row;
    }
    return nullptr;
}

}  // namespace qel
