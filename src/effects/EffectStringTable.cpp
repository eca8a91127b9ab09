#include "effects/EffectStringTable.h"

#include "base/Unicode.h"

namespace qel {

void EffectStringTable::Clear() {
    wideTexts_.clear();
    narrowTexts_.clear();
}

void EffectStringTable::Set(std::string key, std::string caption, std::u16string wideCaption) {
    narrowTexts_.insert_or_assign(key, std::move(caption));
    wideTexts_.insert_or_assign(std::move(key), std::move(wideCaption));
}

const char* EffectStringTable::LookupCaption(const char* key) {
    if (!key) return nullptr;
    return narrowTexts_.try_emplace(key, key).first->second.c_str();
}

const char16_t* EffectStringTable::LookupCaptionW(const char* key) {
    if (!key) return nullptr;
    auto it = wideTexts_.find(key);
    if (it == wideTexts_.end()) {
        lastConvertedKey_ = Utf8ToUtf16(key);
        it = wideTexts_.emplace(key, lastConvertedKey_).first;
    }
    return it->second.c_str();
}

}  // namespace qel
