// Load and save: slots 42-47.
//
// A load first empties the title, then reads into a separate list, checks that list and only then
// makes it the title's strings, so a failed load always leaves an empty title and never a partial
// one. The title then rebuilds what the format does not carry: rotation values, layout and the
// fonts of this machine.
#include <cstring>
#include <string>
#include <vector>

#include "host/Boundary.h"
#include "base/DebugOutput.h"
#include "host/TitleHost.h"
#include "persist/TitleXml.h"

namespace qel {
namespace {

constexpr char kLoadBufferFailed[] = "QEL_Title2: Failed to load title from buffer!";
constexpr char kSaveBufferFailed[] = "QEL_Title2: Failed to save title to buffer!";

bool Failed(HRESULT hr) { return hr < 0; }

// "<prefix><path>!" cut to 255 UTF-16 units (a 256-unit buffer with its terminator).
void WritePathMessage(const char16_t* prefix, const char16_t* path) {
    constexpr size_t kMessageUnits = 255;
    std::u16string message = prefix;
    message += path ? std::u16string_view(path) : std::u16string_view(u"(null)");
    message += u'!';
    if (message.size() > kMessageUnits) message.resize(kMessageUnits);
    DebugOutput(Utf16ToUtf8(message));
}

// Makes the checked list the title.
HRESULT AdoptLoadedStrings(Title& title, std::vector<MetaString>& loaded) {
    // A file is taken as stored, but one whose indices point outside its own lists would make
    // layout and rendering read out of range: it is refused as a failed load.
    if (!IsUsableTitle(loaded)) return E_FAIL;
    title.AdoptLoadedStrings(std::move(loaded));
    return S_OK;
}

}  // namespace

HRESULT TitleHost::LoadTitleFromBuffer(const char16_t* text) noexcept {
    if (!text) return E_INVALIDARG;
    const HRESULT hr = Guard([&] {
        title_.RemoveAllStrings();
        std::vector<MetaString> loaded;
        TitleXmlSerializer serializer(loaded);
        if (Failed(serializer.Status())) return serializer.Status();
        if (serializer.Dom().LoadText(text) != S_OK) return E_FAIL;
        if (const HRESULT read = serializer.ReadDocument(); Failed(read)) return read;
        return AdoptLoadedStrings(title_, loaded);
    });
    if (Failed(hr)) DebugOutput(kLoadBufferFailed);
    return hr;
}

HRESULT TitleHost::SaveTitleToBuffer(char16_t* buffer, uint32_t* sizeBytes) noexcept {
    const HRESULT hr = Guard([&] {
        // The size is read and written: without it there is nowhere to report the needed size.
        if (!sizeBytes) return E_POINTER;
        TitleXmlSerializer serializer(title_.Strings());
        if (Failed(serializer.Status())) return serializer.Status();
        std::vector<uint8_t> block;
        if (serializer.BuildDocument() != S_OK || serializer.Dom().SaveToMemory(block) != S_OK) return E_FAIL;
        if (block.size() > UINT32_MAX) return E_FAIL;
        // The block is the byte-order mark and the text; the caller gets the text and a zero
        // unit in its place, the same number of bytes.
        const auto needed = static_cast<uint32_t>(block.size());
        if (buffer && *sizeBytes >= needed) {
            std::memcpy(buffer, block.data() + 2, needed - 2);
            buffer[(needed - 2) / 2] = 0;
        }
        *sizeBytes = needed;
        return S_OK;
    });
    if (Failed(hr)) DebugOutput(kSaveBufferFailed);
    return hr;
}

HRESULT TitleHost::LoadTitleFromFile(const char16_t* path) noexcept {
    const HRESULT hr = Guard([&] {
        if (!path || !*path) return E_INVALIDARG;
        title_.RemoveAllStrings();
        std::vector<MetaString> loaded;
        TitleXmlSerializer serializer(loaded);
        if (Failed(serializer.Status())) return serializer.Status();
        // S_FALSE (unreadable or not XML) goes on and finds no root.
        if (Failed(serializer.Dom().LoadFile(path))) return E_FAIL;
        if (const HRESULT read = serializer.ReadDocument(); Failed(read)) return read;
        return AdoptLoadedStrings(title_, loaded);
    });
    if (Failed(hr)) WritePathMessage(u"QEL_Title2: Failed to load title from file ", path);
    return hr;
}

HRESULT TitleHost::SaveTitleToFile(const char16_t* path) noexcept {
    const HRESULT hr = Guard([&] {
        if (!path || !*path) return E_INVALIDARG;
        TitleXmlSerializer serializer(title_.Strings());
        if (Failed(serializer.Status())) return serializer.Status();
        if (serializer.BuildDocument() != S_OK) return E_FAIL;
        return serializer.Dom().SaveFile(path) == S_OK ? S_OK : E_FAIL;
    });
    if (Failed(hr)) WritePathMessage(u"QEL_Title2: Failed to save title to file ", path);
    return hr;
}

HRESULT TitleHost::LoadTitleFromNode(pugi::xml_node* node) noexcept {
    // No element to read from: refused before the title is emptied, so nothing is lost.
    if (!node || !*node) return E_POINTER;
    return Guard([&] {
        title_.RemoveAllStrings();
        std::vector<MetaString> loaded;
        TitleXmlSerializer serializer(loaded);
        if (Failed(serializer.Status())) return E_FAIL;
        // An element without a StringList is an empty title, not an error.
        (void)serializer.ReadStrings(*node);
        return AdoptLoadedStrings(title_, loaded);
    });
}

HRESULT TitleHost::SaveTitleToNode(pugi::xml_node* node) noexcept {
    // No element to write under: refused rather than reported as saved.
    if (!node || !*node) return E_POINTER;
    return Guard([&] {
        TitleXmlSerializer serializer(title_.Strings());
        if (Failed(serializer.Status())) return E_FAIL;
        return serializer.WriteStrings(*node);
    });
}

}  // namespace qel
