// Fuzzes the title loader: LoadTitleFromBuffer on arbitrary text, then a save of whatever loaded.
// The input encoding is described in FuzzInput.h.
#include "FuzzInput.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qel::fuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qel::ITitleHost* host = GetTitleHost();
    if (!host || size == 0) return 0;
    const std::u16string text = qel::fuzz::TitleText(data, size);
    if (host->LoadTitleFromBuffer(text.c_str()) == qel::S_OK && host->GetStringCount() > 0) {
        (void)qel::fuzz::SaveTitle(*host);
    }
    return 0;
}
