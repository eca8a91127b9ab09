// The library's only exported functions.
#include <new>

#include "host/TitleHost.h"

#define QEL_EXPORT extern "C" __attribute__((visibility("default")))

QEL_EXPORT qel::ITitleHost* GetTitleHost() {
    try {
        return new qel::TitleHost();
    } catch (...) {
        return nullptr;
    }
}

QEL_EXPORT qel::ITitleHost* GetTitleHost3() { return GetTitleHost(); }

QEL_EXPORT int32_t ReleaseTitleHost(qel::ITitleHost* host) {
    if (host) host->Destroy(1);
    return 0;
}

QEL_EXPORT int32_t ReleaseTitleHost3(qel::ITitleHost* host) { return ReleaseTitleHost(host); }
