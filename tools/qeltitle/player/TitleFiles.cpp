#include "player/TitleFiles.h"

#include <dlfcn.h>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <vector>

#include "base/Unicode.h"
#include "player/SafeFile.h"

namespace qeltitle {

using namespace qel;

namespace {

// The first character whose line or style index lies outside its string's list, as "line N:
// string R, character C: FontIndex="7" is outside the string's FontList (1 entry)"; empty when
// every index is in range. The file is read again as UTF-8 so that element offsets give lines.
std::string DiagnoseStyleIndices(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
        std::u16string text((bytes.size() - 2) / 2, u'\0');
        std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
        bytes = Utf16ToUtf8(text);
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8)) return {};
    const auto lineOf = [&](const pugi::xml_node& node) {
        const auto end = bytes.begin() + std::min<ptrdiff_t>(node.offset_debug(), static_cast<ptrdiff_t>(bytes.size()));
        return std::to_string(std::count(bytes.begin(), end, '\n') + 1);
    };
    static constexpr struct {
        const char* attribute;
        const char* list;
        const char* entry;
    } kIndices[] = {{"LineIndex", "LineList", "MetaLine"},       {"FontIndex", "FontList", "MetaFont"},
                    {"FaceIndex", "FaceList", "MetaFace"},       {"BorderIndex", "BorderList", "MetaBorder"},
                    {"ShadowIndex", "ShadowList", "MetaShadow"}};
    int row = 0;
    for (const pugi::xml_node string : doc.document_element().child("StringList").children("MetaString")) {
        int column = 0;
        for (const pugi::xml_node c : string.child("CharList").children("MetaCharacter")) {
            for (const auto& index : kIndices) {
                const pugi::xml_node list = string.child(index.list);
                const auto size = std::distance(list.children(index.entry).begin(), list.children(index.entry).end());
                const auto value = static_cast<int32_t>(c.attribute(index.attribute).as_llong(0));
                if (value >= 0 && value < size) continue;
                return "line " + lineOf(c) + ": string " + std::to_string(row) + ", character " + std::to_string(column) +
                       ": " + index.attribute + "=\"" + c.attribute(index.attribute).value() + "\" is outside the string's " +
                       index.list + " (" + std::to_string(size) + (size == 1 ? " entry" : " entries") + ")";
            }
            ++column;
        }
        ++row;
    }
    return {};
}

// Why the library may have refused a title file, found by reading it ourselves.
std::string DiagnoseTitleFile(const std::string& path) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed) {
        if (parsed.status == pugi::status_file_not_found) return "cannot be opened";
        if (parsed.status == pugi::status_no_document_element) return "not a title document (no XML in it)";
        return "not well-formed XML (" + std::string(parsed.description()) + " at byte " +
               std::to_string(parsed.offset) + ")";
    }
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "CTitle") != 0)
        return "not a title document (its root element is <" + std::string(root.name()) + ">, not <CTitle>)";
    const pugi::xml_node list = root.child("StringList");
    if (!list) return "not a title document (<CTitle> has no <StringList>)";
    if (!list.child("MetaString")) return "not a title document (<StringList> has no <MetaString>)";
    if (std::string index = DiagnoseStyleIndices(path); !index.empty()) return index;
    return "the title library refused it: its strings' character, line and paragraph lists do not fit together";
}

// Why the library may have refused an effect string table.
std::string DiagnoseStringTable(const std::string& path) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed) {
        if (parsed.status == pugi::status_no_document_element) return "not a string table (no XML in it)";
        return "not well-formed XML (" + std::string(parsed.description()) + " at byte " +
               std::to_string(parsed.offset) + ")";
    }
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "QelDspInfo") != 0)
        return "not a string table (its root element is <" + std::string(root.name()) + ">, not <QelDspInfo>)";
    const pugi::xml_node table = root.child("StringTable");
    if (!table) return "not a string table (<QelDspInfo> has no <StringTable>)";
    if (!table.child("StringGroup")) return "not a string table (<StringTable> has no <StringGroup>)";
    return "the title library could not read it";
}

bool CheckReadable(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "is a directory";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

Expected<HostPtr> NewHost() {
    HostPtr host(GetTitleHost());
    if (!host) return Failure("the title library could not create a title (out of memory)");
    return host;
}

Status LoadTitle(ITitleHost& host, const std::string& path) {
    std::string reason;
    if (!CheckReadable(path, reason)) return Failure("cannot load title: " + path + ": " + reason);
    if (host.LoadTitleFromFile(Utf8ToUtf16(path).c_str()) != S_OK)
        return Failure("cannot load title: " + path + ": " + DiagnoseTitleFile(path));
    return {};
}

Status LoadTitle(ITitleHost& host, const std::string& path, TitleMeta& meta, std::string& warning) {
    if (Status loaded = LoadTitle(host, path); !loaded) return loaded;
    if (!ReadTitleMeta(path, meta, warning)) meta = TitleMeta{};
    return {};
}

Expected<std::string> TitleDocument(ITitleHost& host, const TitleMeta* meta) {
    // The library's buffer holds the text after the byte-order mark and a zero unit in place of
    // it: the file is the mark and the text, exactly what the library's own file save writes.
    // The document carries the day of the save, so its size may change between the size query
    // and the copy (at midnight): a copy that did not fit is asked again.
    uint32_t size = 0;
    std::vector<char16_t> text;
    HRESULT status = host.SaveTitleToBuffer(nullptr, &size);
    for (int attempt = 0; status == S_OK && size > text.size() * 2 && attempt < 3; ++attempt) {
        text.assign(size / 2 + 1, u'\0');
        status = host.SaveTitleToBuffer(text.data(), &size);
    }
    if (status != S_OK || size < 2 || size > text.size() * 2)
        return Failure("the title library could not write it: " + StatusText(status));
    std::u16string document(text.data(), (size - 2) / 2);
    if (meta && (meta->length || meta->frame) && !InsertTitleMeta(document, *meta))
        return Failure("the title library's document has no <CTitle> element");
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(document.data()), document.size() * 2);
    return bytes;
}

Status SaveTitle(ITitleHost& host, const std::string& path, const TitleMeta* meta) {
    const std::string context = "cannot save title: " + path + ": ";
    Expected<std::string> bytes = TitleDocument(host, meta);
    if (!bytes) return std::move(bytes).Context(context).ToStatus();
    if (Status made = CreateParentFolders(path); !made) return std::move(made).Context(context);
    std::string error;
    if (!WriteWholeFile(path, *bytes, error)) return Failure(context + error);
    return {};
}

Status LoadTitleText(ITitleHost& host, std::string_view bytes, const std::string& name) {
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
        text.resize((bytes.size() - 2) / 2);
        std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    } else {
        if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
        text = Utf8ToUtf16(bytes);
    }
    if (host.LoadTitleFromBuffer(text.c_str()) != S_OK)
        return Failure("cannot load title: " + name + ": not a title document the library can read");
    return {};
}

Status LoadEffectStrings(ITitleHost& host, const std::string& path) {
    std::string reason;
    if (!CheckReadable(path, reason)) return Failure("cannot load effect strings: " + path + ": " + reason);
    if (host.LoadEffectStrings(Utf8ToUtf16(path).c_str()) != S_OK)
        return Failure("cannot load effect strings: " + path + ": " + DiagnoseStringTable(path));
    return {};
}

std::string DefaultEffectStringsPath() {
    // The library's own file, found through one of its exported functions.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetTitleHost), &info) == 0 || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kEffectStringsFile;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return path;
}

Status LoadChosenEffectStrings(ITitleHost& host, const std::optional<std::string>& named, bool keysOnly) {
    if (named) return LoadEffectStrings(host, *named);
    if (keysOnly) return {};
    const std::string installed = DefaultEffectStringsPath();
    return installed.empty() ? Status() : LoadEffectStrings(host, installed);
}

std::string StatusText(HRESULT status) {
    switch (status) {
        case S_OK: return "success";
        case S_FALSE: return "S_FALSE";
        case E_INVALIDARG: return "invalid argument (E_INVALIDARG)";
        case E_POINTER: return "null pointer (E_POINTER)";
        case E_FAIL: return "failed (E_FAIL)";
        case E_OUTOFMEMORY: return "out of memory (E_OUTOFMEMORY)";
        case E_ABORT: return "aborted (E_ABORT)";
        default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "status 0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace qeltitle
