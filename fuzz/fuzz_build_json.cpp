// Fuzzes titles written as JSON: the text is built into a title with the library's editing
// operations; what builds is exported and built again, which must succeed (a title the tool made
// is one it can write and read back).
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "player/TitleFiles.h"
#include "authoring/TitleJson.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qel::fuzz::Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qel::ITitleHost* host = GetTitleHost();
    if (!host) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qeltitle::TitleExtras extras;
    std::vector<std::string> warnings;
    std::string error, json;
    if (!qeltitle::BuildTitleFromJson(*host, text, "fuzz", extras, warnings, error)) {
        if (error.empty() || host->GetStringCount() != 0) std::abort();
        return 0;
    }
    if (!qeltitle::ExportTitleToJson(*host, extras, json, error)) return 0;  // a lone line feed, for one
    if (!qeltitle::BuildTitleFromJson(*host, json, "exported", extras, warnings, error)) std::abort();
    return 0;
}
