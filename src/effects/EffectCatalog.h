// The catalogue of built-in animation paths: the fixed table with display keys, groups, levels,
// pass counts and whole-image flags; the factory of effect objects; the list offered to the host
// for its user interface; and the display texts of the effects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/EffectStringTable.h"
#include "qel/QEL_Title2.h"

namespace qel {

class PathEffect;

struct EffectTableRow {
    char pathId[260];
    char nameKey[260];
    char descKey[260];
    char groupId[260];
    int32_t level;
    int32_t passes;
    int32_t wholeImage;
};
static_assert(sizeof(EffectTableRow) == 1052);

class EffectCatalog {
public:
    EffectCatalog() = default;
    EffectCatalog(const EffectCatalog&) = delete;
    EffectCatalog& operator=(const EffectCatalog&) = delete;

    // A new effect of the path, owned by the caller; null for a null, empty or unknown identifier
    // (exact, case-sensitive match).
    static std::unique_ptr<PathEffect> CreateEffect(const char* pathId);

    int SelectByLevel(uint8_t level);
    int EnumEffects(EffectEnumProc proc);
    int EnumEffectsW(EffectEnumProc proc);
    const char* GetEffectName(const char* pathId);
    const char16_t* GetEffectNameW(const char* pathId);
    const char* GetEffectDesc(const char* pathId);
    const char16_t* GetEffectDescW(const char* pathId);
    static int GetPassCount(const char* pathId);
    static int IsWholeImage(const char* pathId);
    // The display texts, which the host fills from its string-table file.
    EffectStringTable& Texts() { return strings_; }

    static int BuiltInRowCount();
    static const EffectTableRow& BuiltInRow(int index);

private:
    const EffectTableRow* FindOffered(const char* pathId) const;

    std::vector<EffectTableRow> offered_;
    EffectStringTable strings_;
};

}  // namespace qel
