#include "authoring/Effects.h"

#include <cctype>

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

bool CheckEffectName(const std::vector<EffectInfo>& offered, const std::string& name, std::string& error) {
    for (const EffectInfo& e : offered)
        if (e.pathId == name) return true;
    // Names that differ only in case, underscores or the PATH_ prefix ("fade", "PATH_SLIDE_RIGHT")
    // are taken for a slip of the intended one.
    const auto key = [](std::string_view text) {
        std::string letters;
        for (char c : text)
            if (std::isalnum(static_cast<unsigned char>(c)))
                letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return letters.starts_with("PATH") ? letters.substr(4) : letters;
    };
    error = "unknown effect '" + name + "'";
    for (const EffectInfo& e : offered)
        if (key(e.pathId) == key(name)) {
            error += " (did you mean " + e.pathId + "?)";
            break;
        }
    error += "; 'qeltitle effects' lists them";
    return false;
}

}  // namespace qeltitle
