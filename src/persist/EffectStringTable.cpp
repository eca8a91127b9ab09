// (Placeholder: every lookup yields its key until the string table work lands.)
#include "persist/EffectStringTable.h"

namespace qel {

HRESULT EffectStringTable::LoadStringTableFile(const char16_t*) {
    wideTexts_.clear();
    narrowTexts_.clear();
    return E_FAIL;
}

const char* EffectStringTable::LookupCaption(const char* key) {
    if (!key) return nullptr;
    auto it = narrowTexts_.try_emplace(key, key).first;
    return it->second.c_str();
}

const char16_t* EffectStringTable::LookupCaptionW(const char* key) {
    if (!key) return nullptr;
    auto it = wideTexts_.find(key);
    if (it == wideTexts_.end()) {
        std::u16string wide;
        for (const char* p = key; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
        it = wideTexts_.emplace(key, wide).first;
    }
    return it->second.c_str();
}

}  // namespace qel
