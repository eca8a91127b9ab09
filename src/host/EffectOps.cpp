// The catalogue slots 57-64 forward to the TitleHost's EffectCatalog.
#include "host/Boundary.h"
#include "host/TitleHost.h"

namespace qel {

int32_t TitleHost::SelectByLevel(int32_t level) noexcept {
    return GuardValue(0, [&] { return Effects.SelectByLevel(static_cast<uint8_t>(level & 0xFF)); });
}

HRESULT TitleHost::LoadEffectStrings(const char16_t* path) noexcept {
    return Guard([&] { return Effects.LoadEffectStrings(path); });
}

int32_t TitleHost::EnumEffects(EffectEnumProc proc) noexcept {
    return GuardValue(0, [&] { return Effects.EnumEffects(proc); });
}

int32_t TitleHost::EnumEffectsW(EffectEnumProc proc) noexcept {
    return GuardValue(0, [&] { return Effects.EnumEffectsW(proc); });
}

const char* TitleHost::GetEffectName(const char* pathId) noexcept {
    return GuardValue<const char*>(nullptr, [&] { return Effects.GetEffectName(pathId); });
}

const char16_t* TitleHost::GetEffectNameW(const char* pathId) noexcept {
    return GuardValue<const char16_t*>(nullptr, [&] { return Effects.GetEffectNameW(pathId); });
}

const char* TitleHost::GetEffectDesc(const char* pathId) noexcept {
    return GuardValue<const char*>(nullptr, [&] { return Effects.GetEffectDesc(pathId); });
}

const char16_t* TitleHost::GetEffectDescW(const char* pathId) noexcept {
    return GuardValue<const char16_t*>(nullptr, [&] { return Effects.GetEffectDescW(pathId); });
}

}  // namespace qel
