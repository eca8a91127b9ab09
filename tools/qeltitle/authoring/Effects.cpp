#include "authoring/Effects.h"

namespace qeltitle {

using namespace qel;

namespace {

// The enumeration callback has no context argument, so the list it fills is reached through one
// per-thread slot that holds it only while a walk runs (the scope below sets and clears it).
// Nothing else in the tool keeps state between calls.
class EnumerationScope {
public:
    explicit EnumerationScope(std::vector<EffectInfo>& list) { Target() = &list; }
    ~EnumerationScope() { Target() = nullptr; }
    EnumerationScope(const EnumerationScope&) = delete;
    EnumerationScope& operator=(const EnumerationScope&) = delete;

    static int32_t Collect(const char* pathId, const void* name, const void* desc, const char* groupId) {
        std::vector<EffectInfo>* list = Target();
        if (!list) return E_ABORT;
        EffectInfo info;
        info.pathId = pathId ? pathId : "";
        info.group = groupId ? groupId : "";
        info.name = DisplayKeyOf(name ? static_cast<const char*>(name) : "");
        info.description = desc ? static_cast<const char*>(desc) : "";
        list->push_back(std::move(info));
        return S_OK;
    }

private:
    static std::vector<EffectInfo>*& Target() {
        thread_local std::vector<EffectInfo>* target = nullptr;
        return target;
    }
};

}  // namespace

std::vector<EffectInfo> OfferedEffects(ITitleHost& host, int level) {
    std::vector<EffectInfo> effects;
    if (host.SelectByLevel(level) <= 0) return effects;
    const EnumerationScope scope(effects);
    host.EnumEffects(&EnumerationScope::Collect);
    return effects;
}

bool CheckEffectLevel(ITitleHost& host, long level, std::string& error) {
    std::string valid;
    bool offered = false;
    for (int candidate = 1; candidate <= 255; ++candidate) {
        const int32_t count = host.SelectByLevel(candidate);
        if (count <= 0) continue;
        offered = offered || candidate == level;
        valid += (valid.empty() ? "" : ", ") + std::to_string(candidate) + " (" + std::to_string(count) + " effects)";
    }
    host.SelectByLevel(1);
    if (!offered) error = "level " + std::to_string(level) + " offers no effect; the levels are " + valid;
    return offered;
}

std::string DisplayKeyOf(std::string_view text) {
    constexpr std::string_view kPrefix = "IDS_DSP_Ti_", kSuffix = "_Name";
    if (text.size() > kPrefix.size() + kSuffix.size() && text.starts_with(kPrefix) && text.ends_with(kSuffix))
        return std::string(text.substr(kPrefix.size(), text.size() - kPrefix.size() - kSuffix.size()));
    return std::string(text);
}

}  // namespace qeltitle
