// XmlDom: the engine's one door to an XML document. It owns one document and offers what the
// title format and the effect string table need: a new document that already carries the
// declaration, root and child elements, typed attributes written to and read from a current
// element, lookup of direct children by name, and loading and saving through a file or memory.
//
// Value forms, the same for every file the engine writes or reads:
//   unsigned   "%u"                   read like signed
//   signed     "%d"                   "#" + hex digits, or decimal with optional sign; both
//                                     accumulate modulo 2^32, so "%u" text reads back bit-exact
//   boolean    "true" / "false"       true exactly for "true" in any ASCII case
//   float      "%.6f" of the double   any decimal form, narrowed to 32 bits; a value that six
//              (more decimals when    decimals would not give back bit for bit is written with
//              six lose bits)         the shortest fixed form that does
//   bytes      "%02X" per byte        hex pairs of either case
//   string     the text               UTF-8 (narrow) or UTF-16 (wide)
// Numbers are written and read independently of the process locale.
//
// An XmlDom lives for one load or save operation on one thread. Nothing here throws except
// std::bad_alloc, which the host boundary turns into E_OUTOFMEMORY.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Unicode.h"  // Utf8ToUtf16 / Utf16ToUtf8, used across the persistence layer
#include "qel/QEL_Title2.h"

namespace qel {

// An element handle; null (default) when absent. Handles stay valid while the document lives.
using XmlNode = pugi::xml_node;
// Like children of one element, in document order.
using XmlNodeList = std::vector<XmlNode>;

class XmlDom {
public:
    // Texts (files or buffers) larger than this are refused before parsing, in bytes. A title of
    // thousands of characters takes a few MiB; the limit bounds what a damaged or hostile file
    // can make the parser allocate.
    static constexpr size_t kMaxDocumentBytes = size_t{64} << 20;

    // Creates the document with its declaration (version 1.0, encoding UTF-16).
    XmlDom();
    XmlDom(const XmlDom&) = delete;
    XmlDom& operator=(const XmlDom&) = delete;

    // Creation status: S_OK, or the failure that left the object without a document.
    HRESULT Status() const { return status_; }

    // ---- elements ----
    // A new element appended to the document, or null. No attributes are selected afterwards.
    XmlNode CreateRootElement(const char* name);
    // A new element appended as parent's last child (parent may belong to another document), or null.
    XmlNode CreateChildElement(XmlNode parent, const char* name);
    // Makes element's attributes current; E_FAIL for a null element (nothing changes).
    HRESULT SelectAttributes(XmlNode element);
    // Drops the current attributes; S_OK.
    HRESULT ReleaseAttributes();

    // ---- writing attributes of the current element ----
    // An attribute set again keeps its place and takes the new value; new ones go last.
    HRESULT SetString(const char* name, const char* text);
    HRESULT SetUInt(const char* name, uint32_t value);
    HRESULT SetInt(const char* name, int32_t value);
    HRESULT SetBool(const char* name, uint32_t value);  // only the low byte counts
    HRESULT SetFloat(const char* name, float value);
    HRESULT SetBytes(const char* name, const void* data, size_t count);

    // ---- reading attributes of the current element ----
    // length: in, the buffer's capacity including the terminator (ignored without a buffer);
    // out, the text's length without terminator. A missing attribute gives E_FAIL, length 0 and
    // an empty buffer; a buffer too small gives E_INVALIDARG and an empty buffer; null length
    // gives E_INVALIDARG. GetString counts UTF-8 bytes, GetWString UTF-16 units.
    HRESULT GetString(const char* name, char* buffer, uint32_t* length);
    HRESULT GetWString(const char* name, char16_t* buffer, uint32_t* length);
    // count: in, the capacity in bytes; without data, out n/2 for a text of n digits. A capacity
    // below n/2 gives E_INVALIDARG and writes nothing; otherwise n/2 bytes are written and count
    // keeps the caller's value. A pair that is not two hex digits yields 0.
    HRESULT GetBytes(const char* name, void* data, uint32_t* count);
    // On any failure the output is zero / false and GetString's result is returned (texts of
    // 256 bytes or more do not fit and give E_INVALIDARG).
    HRESULT GetInt(const char* name, int32_t* value);
    HRESULT GetUInt(const char* name, uint32_t* value);
    HRESULT GetBool(const char* name, bool* value);
    HRESULT GetFloat(const char* name, float* value);

    // ---- finding nodes: names select direct element children ----
    XmlNode FindChild(XmlNode node, const char* name) const;
    XmlNodeList FindChildren(XmlNode node, const char* name) const;
    XmlNode FindDocumentChild(const char* name) const;

    // ---- loading and saving ----
    // S_OK when parsed; S_FALSE when the file cannot be read, is too large or does not parse
    // (the document is then empty, so callers find no root); E_INVALIDARG for a null path.
    HRESULT LoadFile(const char16_t* path);
    // Parses NUL-terminated UTF-16 text (a leading byte-order mark is allowed). S_OK or E_FAIL.
    HRESULT LoadText(const char16_t* text);
    // Writes UTF-16 little-endian with a byte-order mark, replacing the file only once the new
    // one is complete (base/SafeFile). S_OK or E_FAIL.
    HRESULT SaveFile(const char16_t* path) const;
    // The document as UTF-16 little-endian bytes: the mark FF FE, then the text, no terminator.
    HRESULT SaveToMemory(std::vector<uint8_t>& out) const;

private:
    pugi::xml_attribute FindAttribute(const char* name) const;
    void Reset();

    pugi::xml_document document_;
    XmlNode current_;  // whose attributes are selected; null when none
    HRESULT status_ = S_OK;
};

// Parses a signed value by the rules above (no failure: text without digits gives 0).
uint32_t ParseXmlInteger(const char* text);

// Routes pugixml's allocations through the engine's allocation gate (on), or gives pugixml back
// its own functions (off). pugixml keeps one pair of functions for the whole process, shared with
// any other user of it, so the engine never does this by itself: it is for tests that make
// allocations fail.
void RouteXmlAllocationsThroughGate(bool on);

}  // namespace qel
