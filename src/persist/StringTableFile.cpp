#include "persist/StringTableFile.h"

#include "persist/XmlDom.h"

namespace qel {
namespace {

// Captions and keys are read into buffers of this many bytes or UTF-16 units (terminator
// included); longer texts read as empty.
constexpr uint32_t kTextCapacity = 260;

std::string ReadNarrow(XmlDom& dom, const char* name) {
    char text[kTextCapacity];
    uint32_t length = kTextCapacity;
    return dom.GetString(name, text, &length) == S_OK ? std::string(text, length) : std::string();
}

std::u16string ReadWide(XmlDom& dom, const char* name) {
    char16_t text[kTextCapacity];
    uint32_t length = kTextCapacity;
    return dom.GetWString(name, text, &length) == S_OK ? std::u16string(text, length) : std::u16string();
}

}  // namespace

HRESULT LoadStringTableFile(const char16_t* path, EffectStringTable& table) {
    table.Clear();
    XmlDom dom;
    if (dom.Status() < 0) return dom.Status();
    const HRESULT loaded = dom.LoadFile(path);
    if (loaded < 0) return loaded;
    return ParseStringTable(dom, table);
}

HRESULT ParseStringTable(XmlDom& dom, EffectStringTable& table) {
    table.Clear();
    const XmlNode root = dom.FindDocumentChild("QelDspInfo");
    if (!root) return E_FAIL;
    // language and version are read for completeness and not used.
    (void)dom.SelectAttributes(root);
    (void)ReadWide(dom, "language");
    (void)ReadWide(dom, "version");
    (void)dom.ReleaseAttributes();

    const XmlNode items = dom.FindChild(root, "StringTable");
    if (!items) return E_FAIL;
    for (const XmlNode& group : dom.FindChildren(items, "StringGroup")) {
        (void)dom.SelectAttributes(group);
        (void)ReadWide(dom, "name");
        (void)dom.ReleaseAttributes();
        for (const XmlNode& item : dom.FindChildren(group, "StringItem")) {
            (void)dom.SelectAttributes(item);
            std::string key = ReadNarrow(dom, "stringID");
            std::string caption = ReadNarrow(dom, "stringCaption");
            std::u16string wideCaption = ReadWide(dom, "stringCaption");
            (void)dom.ReleaseAttributes();
            table.Set(std::move(key), std::move(caption), std::move(wideCaption));
        }
    }
    return S_OK;
}

}  // namespace qel
