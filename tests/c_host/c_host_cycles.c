/* A plug-in host's life: load the library, make a title, draw it, release it, unload the library,
 * 100 times over. Resident memory must stay flat: what one cycle leaves behind would pile up in
 * an editor that loads the engine per project or per preview. Under AddressSanitizer, resident
 * memory says nothing (freed blocks are held in quarantine); LeakSanitizer checks instead, at exit. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "qel/qel_title2.h"

#if defined(__SANITIZE_ADDRESS__)
#define QEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEL_ASAN 1
#endif
#endif

enum { kCycles = 100, kWarmCycles = 10, kWidth = 320, kHeight = 180 };
/* Growth allowed between the end of the warm-up and the last cycle, in KiB: the allocator's own
 * bookkeeping moves by a few pages; one lost FreeType library or worker thread per cycle is
 * hundreds of KiB over 90 cycles. */
enum { kAllowedGrowthKiB = 1024 };

static long ResidentKiB(void) {
    FILE* f = fopen("/proc/self/statm", "r");
    long size = 0, resident = 0;
    if (!f) return -1;
    if (fscanf(f, "%ld %ld", &size, &resident) != 2) resident = -1;
    fclose(f);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

/* One cycle; 0 on success. */
static int Cycle(const char* path, uint8_t* frame) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    QelTitleHost* (*getHost)(void) = (QelTitleHost * (*)(void)) dlsym(lib, "GetTitleHost");
    int32_t (*release)(QelTitleHost*) = (int32_t(*)(QelTitleHost*))dlsym(lib, "ReleaseTitleHost");
    int rc = 1;
    QelTitleHost* host = getHost && release ? getHost() : NULL;
    if (host) {
        QelRenderSettings rs;
        host->vtbl->GetRenderSettings(host, &rs);
        rs.Width = kWidth;
        rs.Height = kHeight;
        rs.ClipRect.right = kWidth;
        rs.ClipRect.bottom = kHeight;
        rs.MaxThreads = 2; /* worker threads start, and must be gone after the release */
        static const uint16_t text[] = {'P', 'l', 'u', 'g', '-', 'i', 'n', ' ', 0x6F22, 0};
        rc = host->vtbl->SetRenderSettings(host, &rs) != QEL_S_OK || host->vtbl->AddString(host) != 0 ||
             host->vtbl->InsertText(host, 0, 0, text) != 9 || host->vtbl->Render(host, frame, 0.5f) != QEL_S_OK;
        release(host);
    }
    dlclose(lib);
    return rc;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: c_host_cycles LIBRARY\n");
        return 2;
    }
    uint8_t* frame = calloc((size_t)kWidth * kHeight, 4);
    if (!frame) return 1;
    long warm = 0;
    for (int i = 0; i < kCycles; ++i) {
        if (Cycle(argv[1], frame) != 0) {
            fprintf(stderr, "cycle %d failed\n", i);
            free(frame);
            return 1;
        }
        if (i + 1 == kWarmCycles) warm = ResidentKiB();
    }
    free(frame);
    const long last = ResidentKiB();
    printf("c host cycles: resident %ld KiB after %d cycles, %ld KiB after %d\n", warm, kWarmCycles, last,
           (int)kCycles);
#ifndef QEL_ASAN
    if (warm <= 0 || last - warm > kAllowedGrowthKiB) {
        fprintf(stderr, "resident memory grew by %ld KiB over %d cycles\n", last - warm, kCycles - kWarmCycles);
        return 1;
    }
#endif
    return 0;
}
