// The catalogue slots 57-64: the offered list and the effects' display texts.
#include "host/Boundary.h"
#include "host/TitleHost.h"
#include "persist/StringTableFile.h"

namespace qel {

int32_t TitleHost::SelectByLevel(int32_t level) noexcept {
    return GuardValue(0, [&] { return effects_.SelectByLevel(static_cast<uint8_t>(level & 0xFF)); });
}

HRESULT TitleHost::LoadEffectStrings(const char16_t* path) noexcept {
    return Guard([&] { return LoadStringTableFile(path, effects_.Texts()); });
}

int32_t TitleHost::EnumEffects(EffectEnumProc proc) noexcept {
    return GuardValue(0, [&] { return effects_.EnumEffects(proc); });
}

int32_t TitleHost::EnumEffectsW(EffectEnumProc proc) noexcept {
    return GuardValue(0, [&] { return effects_.EnumEffectsW(proc); });
}

const char* TitleHost::GetEffectName(const char* pathId) noexcept {
    return GuardValue<const char*>(nullptr, [&] { return effects_.GetEffectName(pathId); });
}

const char16_t* TitleHost::GetEffectNameW(const char* pathId) noexcept {
    return GuardValue<const char16_t*>(nullptr, [&] { return effects_.GetEffectNameW(pathId); });
}

const char* TitleHost::GetEffectDesc(const char* pathId) noexcept {
    return GuardValue<const char*>(nullptr, [&] { return effects_.GetEffectDesc(pathId); });
}

const char16_t* TitleHost::GetEffectDescW(const char* pathId) noexcept {
    return GuardValue<const char16_t*>(nullptr, [&] { return effects_.GetEffectDescW(pathId); });
}

}  // namespace qel
