// (Placeholder until the catalogue lands.)
#include "effects/EffectCatalog.h"

#include "effects/PathEffect.h"

namespace qel {

EffectCatalog::EffectCatalog() : rowCount_(0) {}
EffectCatalog::~EffectCatalog() = default;
PathEffect* EffectCatalog::CreateEffect(const char*) { return nullptr; }
int EffectCatalog::ReleaseEffect(PathEffect* effect) {
    delete effect;
    return 1;
}
int EffectCatalog::SelectByLevel(uint8_t) { return 0; }
int EffectCatalog::EnumEffects(EffectEnumProc) { return 0; }
int EffectCatalog::EnumEffectsW(EffectEnumProc) { return 0; }
const char* EffectCatalog::GetEffectName(const char*) { return nullptr; }
const char16_t* EffectCatalog::GetEffectNameW(const char*) { return nullptr; }
const char* EffectCatalog::GetEffectDesc(const char*) { return nullptr; }
const char16_t* EffectCatalog::GetEffectDescW(const char*) { return nullptr; }
int EffectCatalog::GetPassCount(const char*) const { return 0; }
int EffectCatalog::IsWholeImage(const char*) const { return 0; }
HRESULT EffectCatalog::LoadEffectStrings(const char16_t* path) { return strings_.LoadStringTableFile(path); }
int EffectCatalog::BuiltInRowCount() { return 0; }
const EffectTableRow& EffectCatalog::BuiltInRow(int) {
    static const EffectTableRow empty{};
    return empty;
}
const EffectTableRow* EffectCatalog::FindOffered(const char*) const { return nullptr; }

}  // namespace qel
