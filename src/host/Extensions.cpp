// Named extensions beside the operation table (qel_extensions.h). Each is a static table of
// plain functions whose first argument is the TitleHost; a later version of an extension only
// appends members, so one table answers every version up to its own.
#include <cstring>

#include "host/Boundary.h"
#include "host/TitleHost.h"
#include "qel/qel_extensions.h"

namespace qel {
namespace {

// The TitleHost behind a host's pointer: the object GetTitleHost returned, as C or C++ sees it.
TitleHost* HostOf(void* host) { return static_cast<TitleHost*>(static_cast<ITitleHost*>(host)); }

int32_t GetPlateCount(void* host, int32_t row) {
    if (!host) return 0;
    return GuardValue<int32_t>(0, [&] { return HostOf(host)->Engine().GetPlateCount(row); });
}

int32_t GetPlate(void* host, int32_t row, int32_t index, QelPlate* out) {
    if (!host || !out) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().GetPlate(row, index, out); });
}

int32_t SetPlate(void* host, int32_t row, int32_t index, const QelPlate* plate) {
    if (!host || !plate) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().SetPlate(row, index, *plate); });
}

int32_t RemovePlate(void* host, int32_t row, int32_t index) {
    if (!host) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().RemovePlate(row, index); });
}

int32_t SetGradientAcross(void* host, int32_t row, uint32_t across) {
    if (!host) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().SetGradientAcross(row, across); });
}

int32_t GetGradientAcross(void* host, int32_t row, uint32_t* out) {
    if (!host || !out) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().GetGradientAcross(row, out); });
}

int32_t SetLanguage(void* host, int32_t row, const char* tag) {
    if (!host) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().SetLanguage(row, tag); });
}

int32_t GetLanguage(void* host, int32_t row, char* buffer, uint32_t size) {
    if (!host || (!buffer && size > 0)) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().GetLanguage(row, buffer, size); });
}

int32_t SetEvenLines(void* host, int32_t row, uint32_t even) {
    if (!host) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().SetEvenLines(row, even); });
}

int32_t GetEvenLines(void* host, int32_t row, uint32_t* out) {
    if (!host || !out) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().GetEvenLines(row, out); });
}

int32_t SetDefaultLanguage(void* host, const char* tag) {
    if (!host) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().SetDefaultLanguage(tag); });
}

int32_t GetCharLanguage(void* host, int32_t row, int32_t col, char* buffer, uint32_t size) {
    if (!host || (!buffer && size > 0)) return E_POINTER;
    return Guard([&] { return HostOf(host)->Engine().GetCharLanguage(row, col, buffer, size); });
}

constexpr QelTextV2 kTextV2{{sizeof(QelTextV2), QEL_TEXT_VERSION, SetLanguage, GetLanguage, SetEvenLines, GetEvenLines},
                            SetDefaultLanguage, GetCharLanguage};

int32_t SetImageCacheBudget(void* host, uint64_t bytes) {
    if (!host) return E_POINTER;
    return Guard([&] {
        HostOf(host)->Renderer().CharacterImages().SetBudget(bytes);
        return S_OK;
    });
}

int32_t GetImageCacheStats(void* host, QelCacheStats* out) {
    if (!host || !out) return E_POINTER;
    return Guard([&] {
        const ImageCacheStats s = HostOf(host)->Renderer().CharacterImages().Stats();
        *out = QelCacheStats{s.budgetBytes, s.usedBytes, s.entries, s.hits, s.misses};
        return S_OK;
    });
}

constexpr QelCacheV1 kCacheV1{sizeof(QelCacheV1), QEL_CACHE_VERSION, SetImageCacheBudget, GetImageCacheStats};

constexpr QelPlatesV1 kPlatesV1{sizeof(QelPlatesV1), QEL_PLATES_VERSION, GetPlateCount, GetPlate, SetPlate,
                                RemovePlate, SetGradientAcross, GetGradientAcross};

struct Extension {
    const char* name;
    uint32_t version;
    const void* table;
};
constexpr Extension kExtensions[] = {
    {QEL_PLATES_EXTENSION, QEL_PLATES_VERSION, &kPlatesV1},
    {QEL_TEXT_EXTENSION, QEL_TEXT_VERSION, &kTextV2},
    {QEL_CACHE_EXTENSION, QEL_CACHE_VERSION, &kCacheV1},
};

}  // namespace
}  // namespace qel

extern "C" __attribute__((visibility("default"))) const void* QelGetExtension(const char* name, uint32_t version) {
    if (!name) return nullptr;
    for (const qel::Extension& e : qel::kExtensions) {
        if (std::strcmp(e.name, name) == 0) return version <= e.version ? e.table : nullptr;
    }
    return nullptr;
}
