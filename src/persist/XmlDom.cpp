#include "persist/XmlDom.h"

#include <locale.h>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/SafeFile.h"
#include "platform/AllocationGate.h"

namespace qel {
namespace {

// Collects serialised bytes in memory.
class VectorWriter final : public pugi::xml_writer {
public:
    explicit VectorWriter(std::vector<uint8_t>& out) : out_(out) {}
    void write(const void* data, size_t size) override {
        const auto* bytes = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), bytes, bytes + size);
    }

private:
    std::vector<uint8_t>& out_;
};

// The saved form: tab indentation (readers accept any white space between elements), a byte-order
// mark and UTF-16 little-endian, whatever the machine's byte order.
constexpr unsigned kSaveFlags = pugi::format_indent | pugi::format_write_bom;
constexpr pugi::xml_encoding kSaveEncoding = pugi::encoding_utf16_le;

// The "C" locale, for number parsing that does not depend on the host's LC_NUMERIC.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool EqualsIgnoringAsciiCase(const char* text, const char* lowerWord) {
    for (; *lowerWord; ++text, ++lowerWord) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *lowerWord) return false;
    }
    return *text == 0;
}

// Reads the whole file, refusing anything above the document limit. False when unreadable.
bool ReadWholeFile(const std::string& path, std::vector<char>& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    bool ok = false;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size >= 0 && static_cast<unsigned long>(size) <= XmlDom::kMaxDocumentBytes &&
            std::fseek(file, 0, SEEK_SET) == 0) {
            out.resize(static_cast<size_t>(size));
            ok = out.empty() || std::fread(out.data(), 1, out.size(), file) == out.size();
        }
    }
    std::fclose(file);
    return ok;
}

}  // namespace

uint32_t ParseXmlInteger(const char* text) {
    uint32_t value = 0;
    if (*text == '#') {
        for (++text; HexDigit(*text) >= 0; ++text) value = value * 16 + static_cast<uint32_t>(HexDigit(*text));
        return value;
    }
    while (IsAsciiSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    for (; *text >= '0' && *text <= '9'; ++text) value = value * 10 + static_cast<uint32_t>(*text - '0');
    return negative ? 0u - value : value;
}

// ---------------------------------------------------------------------------------------------
// Creation

XmlDom::XmlDom() { Reset(); }

void XmlDom::Reset() {
    document_.reset();
    current_ = XmlNode();
    pugi::xml_node declaration = document_.append_child(pugi::node_declaration);
    if (!declaration) {
        status_ = E_FAIL;
        return;
    }
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-16";
    status_ = S_OK;
}

// ---------------------------------------------------------------------------------------------
// Elements

XmlNode XmlDom::CreateRootElement(const char* name) {
    XmlNode element = document_.append_child(name);
    if (element) current_ = XmlNode();
    return element;
}

XmlNode XmlDom::CreateChildElement(XmlNode parent, const char* name) {
    // Only elements and documents hold elements; anything else (text, a null handle) refuses.
    if (parent.type() != pugi::node_element && parent.type() != pugi::node_document) return XmlNode();
    XmlNode element = parent.append_child(name);
    if (element) current_ = XmlNode();
    return element;
}

HRESULT XmlDom::SelectAttributes(XmlNode element) {
    if (!element) return E_FAIL;
    current_ = element;
    return S_OK;
}

HRESULT XmlDom::ReleaseAttributes() {
    current_ = XmlNode();
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Writing attributes

HRESULT XmlDom::SetString(const char* name, const char* text) {
    if (!current_ || !name || !text) return E_FAIL;
    pugi::xml_attribute attribute = current_.attribute(name);
    if (!attribute) attribute = current_.append_attribute(name);
    return attribute && attribute.set_value(text) ? S_OK : E_FAIL;
}

HRESULT XmlDom::SetUInt(const char* name, uint32_t value) {
    char text[16];
    *std::to_chars(text, text + sizeof text - 1, value).ptr = 0;
    return SetString(name, text);
}

HRESULT XmlDom::SetInt(const char* name, int32_t value) {
    char text[16];
    *std::to_chars(text, text + sizeof text - 1, value).ptr = 0;
    return SetString(name, text);
}

HRESULT XmlDom::SetBool(const char* name, uint32_t value) {
    return SetString(name, (value & 0xFF) ? "true" : "false");
}

HRESULT XmlDom::SetFloat(const char* name, float value) {
    // Fixed point with six decimals, no exponent (FLT_MAX needs 39 digits before the point). Six
    // decimals cannot carry every float (24/2048, the size ratio of a 24-unit font, is 0.01171875),
    // so a value that would not read back to the same bits is written with as many decimals as it
    // needs: still fixed point, and a load then restores it exactly.
    char text[256];
    if (std::isnan(value)) return SetString(name, std::signbit(value) ? "-nan" : "nan");
    auto result = std::to_chars(text, text + sizeof text - 1, static_cast<double>(value), std::chars_format::fixed, 6);
    if (result.ec != std::errc()) return E_FAIL;
    *result.ptr = 0;
    if (std::isfinite(value) && static_cast<float>(strtod_l(text, nullptr, CLocale())) != value) {
        result = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed);
        if (result.ec != std::errc()) return E_FAIL;
        *result.ptr = 0;
    }
    return SetString(name, text);
}

HRESULT XmlDom::SetBytes(const char* name, const void* data, size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::string text(2 * count, '\0');
    for (size_t i = 0; i < count; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return SetString(name, text.c_str());
}

// ---------------------------------------------------------------------------------------------
// Reading attributes

pugi::xml_attribute XmlDom::FindAttribute(const char* name) const {
    if (!current_ || !name) return pugi::xml_attribute();
    return current_.attribute(name);
}

namespace {

// The length and capacity rules shared by the narrow and the wide getter.
template <class Char>
HRESULT CopyOut(std::basic_string_view<Char> text, Char* buffer, uint32_t* length) {
    if (text.size() > std::numeric_limits<uint32_t>::max() - 1) return E_FAIL;
    const auto n = static_cast<uint32_t>(text.size());
    if (!buffer) {
        *length = n;
        return S_OK;
    }
    if (n + 1 > *length) {
        if (*length > 0) buffer[0] = 0;
        *length = n;
        return E_INVALIDARG;
    }
    std::memcpy(buffer, text.data(), n * sizeof(Char));
    buffer[n] = 0;
    *length = n;
    return S_OK;
}

}  // namespace

HRESULT XmlDom::GetString(const char* name, char* buffer, uint32_t* length) {
    if (!length) return E_INVALIDARG;
    const pugi::xml_attribute attribute = FindAttribute(name);
    if (!attribute) {
        if (buffer && *length > 0) buffer[0] = 0;
        *length = 0;
        return E_FAIL;
    }
    return CopyOut<char>(attribute.value(), buffer, length);
}

HRESULT XmlDom::GetWString(const char* name, char16_t* buffer, uint32_t* length) {
    if (!length) return E_INVALIDARG;
    const pugi::xml_attribute attribute = FindAttribute(name);
    if (!attribute) {
        if (buffer && *length > 0) buffer[0] = 0;
        *length = 0;
        return E_FAIL;
    }
    const std::u16string wide = Utf8ToUtf16(attribute.value());
    return CopyOut<char16_t>(wide, buffer, length);
}

HRESULT XmlDom::GetBytes(const char* name, void* data, uint32_t* count) {
    if (!count) return E_INVALIDARG;
    uint32_t n = 0;
    if (GetString(name, nullptr, &n) != S_OK) {
        *count = 0;
        return E_FAIL;
    }
    if (!data) {
        *count = n / 2;
        return S_OK;
    }
    if (*count < n / 2) return E_INVALIDARG;
    const char* text = FindAttribute(name).value();
    auto* bytes = static_cast<uint8_t*>(data);
    for (uint32_t i = 0; i < n / 2; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        bytes[i] = high >= 0 && low >= 0 ? static_cast<uint8_t>(high * 16 + low) : 0;
    }
    return S_OK;
}

HRESULT XmlDom::GetInt(const char* name, int32_t* value) {
    uint32_t bits = 0;
    const HRESULT hr = GetUInt(name, &bits);
    *value = static_cast<int32_t>(bits);
    return hr;
}

HRESULT XmlDom::GetUInt(const char* name, uint32_t* value) {
    char text[256];
    uint32_t length = sizeof text;
    const HRESULT hr = GetString(name, text, &length);
    *value = hr == S_OK ? ParseXmlInteger(text) : 0;
    return hr;
}

HRESULT XmlDom::GetBool(const char* name, bool* value) {
    char text[256];
    uint32_t length = sizeof text;
    const HRESULT hr = GetString(name, text, &length);
    *value = hr == S_OK && EqualsIgnoringAsciiCase(text, "true");
    return hr;
}

HRESULT XmlDom::GetFloat(const char* name, float* value) {
    char text[256];
    uint32_t length = sizeof text;
    const HRESULT hr = GetString(name, text, &length);
    if (hr != S_OK) {
        *value = 0.0f;
        return hr;
    }
    const double wide = strtod_l(text, nullptr, CLocale());
    // Narrowing rounds to nearest: a magnitude less than half a unit above FLT_MAX (such as
    // 3.4028235e38, FLT_MAX's shortest text) gives FLT_MAX, and only from the midway point on does
    // it overflow to infinity. The cast is left to in-range values, where it is defined.
    constexpr double kOverflow = 0x1.ffffffp127;  // midway between FLT_MAX and 2^128
    const double magnitude = std::fabs(wide);
    if (magnitude > FLT_MAX) {
        const float limit = magnitude >= kOverflow ? std::numeric_limits<float>::infinity() : FLT_MAX;
        *value = std::signbit(wide) ? -limit : limit;
    } else {
        *value = static_cast<float>(wide);
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Finding nodes

XmlNode XmlDom::FindChild(XmlNode node, const char* name) const {
    return node && name ? node.child(name) : XmlNode();
}

XmlNodeList XmlDom::FindChildren(XmlNode node, const char* name) const {
    XmlNodeList list;
    if (!node || !name) return list;
    for (XmlNode child = node.child(name); child; child = child.next_sibling(name)) list.push_back(child);
    return list;
}

XmlNode XmlDom::FindDocumentChild(const char* name) const { return FindChild(document_, name); }

// ---------------------------------------------------------------------------------------------
// Loading and saving

HRESULT XmlDom::LoadFile(const char16_t* path) {
    if (!path) return E_INVALIDARG;
    current_ = XmlNode();
    std::vector<char> bytes;
    if (!ReadWholeFile(Utf16ToUtf8(path), bytes)) {
        document_.reset();
        return S_FALSE;
    }
    // The encoding comes from the byte-order mark or the first bytes of the text.
    const pugi::xml_parse_result result =
        document_.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result) {
        document_.reset();
        return S_FALSE;
    }
    return S_OK;
}

HRESULT XmlDom::LoadText(const char16_t* text) {
    if (!text) return E_FAIL;
    current_ = XmlNode();
    constexpr size_t kMaxUnits = kMaxDocumentBytes / sizeof(char16_t);
    size_t units = 0;
    while (text[units] != 0) {
        if (++units > kMaxUnits) {
            document_.reset();
            return E_FAIL;
        }
    }
    const pugi::xml_parse_result result =
        document_.load_buffer(text, units * sizeof(char16_t), pugi::parse_default, pugi::encoding_utf16);
    if (!result) {
        document_.reset();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT XmlDom::SaveFile(const char16_t* path) const {
    if (!path || !*path) return E_FAIL;
    // The whole document is made in memory first and then replaces the file in one step, so a
    // failed save (full disk, size limit) never leaves a cut-off title behind.
    std::vector<uint8_t> block;
    if (SaveToMemory(block) != S_OK) return E_FAIL;
    std::string reason;  // the failure line of the save operation names the file
    const std::string_view bytes(reinterpret_cast<const char*>(block.data()), block.size());
    return WriteWholeFile(Utf16ToUtf8(path), bytes, reason) ? S_OK : E_FAIL;
}

HRESULT XmlDom::SaveToMemory(std::vector<uint8_t>& out) const {
    out.clear();
    VectorWriter writer(out);
    document_.save(writer, "\t", kSaveFlags, kSaveEncoding);
    return out.size() >= 2 ? S_OK : E_FAIL;
}

void RouteXmlAllocationsThroughGate(bool on) {
    // pugixml's defaults are malloc and free, so blocks taken before the switch may be freed after.
    if (on)
        pugi::set_memory_management_functions(GatedMalloc, std::free);
    else
        pugi::set_memory_management_functions(std::malloc, std::free);
}

}  // namespace qel
