#include "persist/TitleXml.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>

#include "model/Plates.h"
#include "model/TitleText.h"

namespace qel {
namespace {

// ---------------------------------------------------------------------------------------------
// The field tables: one row per saved attribute, in the order it is written. The writer and the
// reader both walk these rows, so an attribute's name, form and place exist exactly once.

// Fixed-size text members (PathID, MaskFile) hold at most 259 bytes and their terminator.
constexpr uint32_t kTextCapacity = 260;

// How a member is stored and what reading it back keeps.
enum class FieldKind : uint8_t {
    Float,     // float member, the decimal form of XmlDom
    Int,       // int32_t member, signed decimal
    UInt,      // uint32_t member, unsigned decimal (colours above 2^31 stay unsigned)
    Flag,      // uint32_t or int32_t member, "true"/"false"; reads back as 1 or 0
    Optional,  // uint32_t flag written only when set ("true"), so files without it stay as
               // they were; missing reads as 0. Older readers skip the attribute.
    Sparse,    // uint32_t member, unsigned, written only when not 0 (as Optional); missing reads as 0
    Alpha,     // uint32_t member, unsigned; reads back only its low 8 bits (0..255)
    CodeUnit,  // uint16_t member (one UTF-16 unit), unsigned; reads back its low 16 bits
    Text,      // char[260] member; a missing or longer stored value reads as empty
    LogFont,   // LOGFONTW member, its 92 bytes as hex pairs; a short value fills only its bytes
    Tag,       // std::string or char[QEL_MAX_LANGUAGE + 1] member written only when not empty (as
               // Optional); at most 260 bytes read, and a value longer than the member reads as empty
};

// The type behind a member pointer, and its record.
template <class MemberPointer>
struct MemberOf;
template <class R, class T>
struct MemberOf<T R::*> {
    using Record = R;
    using type = T;
};

template <class T>
constexpr bool KindFits(FieldKind kind) {
    switch (kind) {
        case FieldKind::Float: return std::is_same_v<T, float>;
        case FieldKind::Int: return std::is_same_v<T, int32_t>;
        case FieldKind::UInt:
        case FieldKind::Alpha: return std::is_same_v<T, uint32_t>;
        case FieldKind::Flag: return std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>;
        case FieldKind::Optional:
        case FieldKind::Sparse: return std::is_same_v<T, uint32_t>;
        case FieldKind::CodeUnit: return std::is_same_v<T, uint16_t>;
        case FieldKind::Text: return std::is_same_v<T, char[kTextCapacity]>;
        case FieldKind::LogFont: return std::is_same_v<T, LOGFONTW>;
        case FieldKind::Tag: return std::is_same_v<T, std::string> || std::is_same_v<T, char[QEL_MAX_LANGUAGE + 1]>;
    }
    return false;
}

// One saved attribute of Record: its name and how it goes to and comes from the document.
template <class Record>
struct Field {
    const char* name;
    void (*write)(XmlDom& dom, const char* name, const Record& record);
    void (*read)(XmlDom& dom, const char* name, Record& record);
};

// ---------------------------------------------------------------------------------------------
// One value by its kind. Results of attribute writes are not inspected; a missing or malformed
// attribute reads as zero, false or empty and is no error.

void WriteValue(XmlDom& dom, const char* name, FieldKind, float value) { (void)dom.SetFloat(name, value); }
void WriteValue(XmlDom& dom, const char* name, FieldKind kind, int32_t value) {
    if (kind == FieldKind::Flag) {
        (void)dom.SetBool(name, static_cast<uint32_t>(value));
    } else {
        (void)dom.SetInt(name, value);
    }
}
void WriteValue(XmlDom& dom, const char* name, FieldKind kind, uint32_t value) {
    if (kind == FieldKind::Flag) {
        (void)dom.SetBool(name, value);
    } else if (kind == FieldKind::Optional) {
        if (value) (void)dom.SetBool(name, true);
    } else if (kind == FieldKind::Sparse) {
        if (value) (void)dom.SetUInt(name, value);
    } else {
        (void)dom.SetUInt(name, value);
    }
}
void WriteValue(XmlDom& dom, const char* name, FieldKind, uint16_t value) { (void)dom.SetUInt(name, value); }
void WriteValue(XmlDom& dom, const char* name, FieldKind, const char (&text)[kTextCapacity]) {
    (void)dom.SetString(name, std::string(text, strnlen(text, kTextCapacity)).c_str());
}
void WriteValue(XmlDom& dom, const char* name, FieldKind, const std::string& tag) {
    if (!tag.empty()) (void)dom.SetString(name, tag.c_str());
}
void WriteValue(XmlDom& dom, const char* name, FieldKind, const char (&tag)[QEL_MAX_LANGUAGE + 1]) {
    if (tag[0]) (void)dom.SetString(name, std::string(tag, strnlen(tag, sizeof tag)).c_str());
}
void WriteValue(XmlDom& dom, const char* name, FieldKind, const LOGFONTW& logFont) {
    (void)dom.SetBytes(name, &logFont, sizeof logFont);
}

uint32_t ReadUInt(XmlDom& dom, const char* name) {
    uint32_t value = 0;
    (void)dom.GetUInt(name, &value);
    return value;
}
uint32_t ReadFlag(XmlDom& dom, const char* name) {
    bool value = false;
    (void)dom.GetBool(name, &value);
    return value ? 1u : 0u;
}

void ReadValue(XmlDom& dom, const char* name, FieldKind, float& value) {
    value = 0;
    (void)dom.GetFloat(name, &value);
}
void ReadValue(XmlDom& dom, const char* name, FieldKind kind, int32_t& value) {
    if (kind == FieldKind::Flag) {
        value = static_cast<int32_t>(ReadFlag(dom, name));
    } else {
        value = 0;
        (void)dom.GetInt(name, &value);
    }
}
void ReadValue(XmlDom& dom, const char* name, FieldKind kind, uint32_t& value) {
    switch (kind) {
        case FieldKind::Flag:
        case FieldKind::Optional: value = ReadFlag(dom, name); break;
        case FieldKind::Alpha: value = ReadUInt(dom, name) & 0xFF; break;
        default: value = ReadUInt(dom, name); break;
    }
}
void ReadValue(XmlDom& dom, const char* name, FieldKind, uint16_t& value) {
    value = static_cast<uint16_t>(ReadUInt(dom, name));
}
void ReadValue(XmlDom& dom, const char* name, FieldKind, char (&text)[kTextCapacity]) {
    uint32_t length = kTextCapacity;
    if (dom.GetString(name, text, &length) != S_OK) text[0] = 0;
}
void ReadValue(XmlDom& dom, const char* name, FieldKind, std::string& tag) {
    char text[kTextCapacity];
    uint32_t length = kTextCapacity;
    tag = dom.GetString(name, text, &length) == S_OK ? std::string(text, strnlen(text, kTextCapacity)) : std::string();
}
void ReadValue(XmlDom& dom, const char* name, FieldKind, char (&tag)[QEL_MAX_LANGUAGE + 1]) {
    std::string value;
    ReadValue(dom, name, FieldKind::Tag, value);
    std::memset(tag, 0, sizeof tag);
    if (value.size() < sizeof tag) std::memcpy(tag, value.data(), value.size());
}
void ReadValue(XmlDom& dom, const char* name, FieldKind, LOGFONTW& logFont) {
    // Only the bytes present are filled; the rest of the description keeps what the record held
    // (zero in a new record).
    uint32_t capacity = sizeof logFont;
    (void)dom.GetBytes(name, &logFont, &capacity);
    // The face name is used as a terminated string: a stored name that fills all 32 units is
    // cut to 31 rather than read past its end.
    logFont.lfFaceName[31] = 0;
}

// The row for the member Member stored as Kind.
template <FieldKind Kind, auto Member>
constexpr auto Row(const char* name) {
    using Record = typename MemberOf<decltype(Member)>::Record;
    static_assert(KindFits<typename MemberOf<decltype(Member)>::type>(Kind), "the kind does not suit the member");
    return Field<Record>{
        name, [](XmlDom& dom, const char* n, const Record& r) { WriteValue(dom, n, Kind, r.*Member); },
        [](XmlDom& dom, const char* n, Record& r) { ReadValue(dom, n, Kind, r.*Member); }};
}

// ---------------------------------------------------------------------------------------------
// The tables.

// A key frame as one record: the key of the map entry and its value side by side.
struct StoredKeyFrame {
    float KeyFrame = 0;
    char PathID[kTextCapacity] = {};
    float PathProgress = 0;
};

using K = FieldKind;

constexpr Field<MetaString> kStringFields[] = {
    Row<K::Float, &MetaString::Left>("Left"),
    Row<K::Float, &MetaString::Top>("Top"),
    Row<K::Float, &MetaString::Width>("Width"),
    Row<K::Float, &MetaString::Height>("Height"),
    Row<K::Int, &MetaString::ParagraphCount>("ParagraphCount"),
    Row<K::Float, &MetaString::WidthLimit>("WidthLimit"),
    Row<K::Float, &MetaString::RotateDegree>("RotateDegree"),
    Row<K::Flag, &MetaString::Vertical>("Vertical"),
    Row<K::Text, &MetaString::PathID>("PathID"),
    Row<K::Float, &MetaString::PathProgress>("PathProgress"),
    Row<K::Text, &MetaString::MaskFile>("MaskFile"),
    Row<K::Sparse, &MetaString::GradientAcross>("GradientAcross"),
    Row<K::Tag, &MetaString::Language>("Language"),
    Row<K::Optional, &MetaString::EvenLines>("EvenLines"),
};

constexpr Field<MetaCharacter> kCharacterFields[] = {
    Row<K::CodeUnit, &MetaCharacter::Value>("Value"),
    Row<K::Float, &MetaCharacter::Left>("Left"),
    Row<K::Float, &MetaCharacter::Top>("Top"),
    Row<K::Float, &MetaCharacter::Width>("Width"),
    Row<K::Float, &MetaCharacter::Height>("Height"),
    Row<K::Float, &MetaCharacter::WidthScale>("WidthScale"),
    Row<K::Float, &MetaCharacter::Spacing>("Spacing"),
    Row<K::Int, &MetaCharacter::LineIndex>("LineIndex"),
    Row<K::Int, &MetaCharacter::FontIndex>("FontIndex"),
    Row<K::Int, &MetaCharacter::FaceIndex>("FaceIndex"),
    Row<K::Int, &MetaCharacter::BorderIndex>("BorderIndex"),
    Row<K::Int, &MetaCharacter::ShadowIndex>("ShadowIndex"),
};

constexpr Field<MetaLine> kLineFields[] = {
    Row<K::Float, &MetaLine::Left>("Left"),
    Row<K::Float, &MetaLine::Top>("Top"),
    Row<K::Float, &MetaLine::Width>("Width"),
    Row<K::Float, &MetaLine::Height>("Height"),
    Row<K::Int, &MetaLine::CharStart>("CharStart"),
    Row<K::Int, &MetaLine::CharEnd>("CharEnd"),
    Row<K::Int, &MetaLine::ParagraphIndex>("ParagraphIndex"),
};

constexpr Field<MetaParagraph> kParagraphFields[] = {
    Row<K::Float, &MetaParagraph::Left>("Left"),
    Row<K::Float, &MetaParagraph::Top>("Top"),
    Row<K::Float, &MetaParagraph::Width>("Width"),
    Row<K::Float, &MetaParagraph::Height>("Height"),
    Row<K::Int, &MetaParagraph::LineStart>("LineStart"),
    Row<K::Int, &MetaParagraph::LineEnd>("LineEnd"),
    Row<K::UInt, &MetaParagraph::Align>("Align"),
    Row<K::Float, &MetaParagraph::LineSpace>("LineSpace"),
    Row<K::Float, &MetaParagraph::BeforeSpace>("BeforeSpace"),
    Row<K::Float, &MetaParagraph::AfterSpace>("AfterSpace"),
    Row<K::Float, &MetaParagraph::LeftIndent>("LeftIndent"),
    Row<K::Float, &MetaParagraph::RightIndent>("RightIndent"),
};

constexpr Field<MetaFont> kFontFields[] = {
    Row<K::LogFont, &MetaFont::LogFont>("LogFont"),
    Row<K::Float, &MetaFont::SizeRatio>("SizeRatio"),
    Row<K::Float, &MetaFont::Ascent>("Ascent"),
    Row<K::Float, &MetaFont::Descent>("Descent"),
    Row<K::Float, &MetaFont::IntLead>("IntLead"),
    Row<K::Float, &MetaFont::ExtLead>("ExtLead"),
    Row<K::Float, &MetaFont::StrikeoutPos>("StrikeoutPos"),
    Row<K::Float, &MetaFont::StrikeoutSize>("StrikeoutSize"),
    Row<K::Float, &MetaFont::UnderlinePos>("UnderlinePos"),
    Row<K::Float, &MetaFont::UnderlineSize>("UnderlineSize"),
    Row<K::Optional, &MetaFont::Kerning>("Kerning"),
    Row<K::Tag, &MetaFont::Language>("Language"),
};

constexpr Field<MetaFace> kFaceFields[] = {
    Row<K::Flag, &MetaFace::Enable>("Enable"),
    Row<K::UInt, &MetaFace::Color1>("Color1"),
    Row<K::UInt, &MetaFace::Color2>("Color2"),
    Row<K::Int, &MetaFace::GradType>("GradType"),
    Row<K::Alpha, &MetaFace::Alpha>("Alpha"),
    Row<K::Int, &MetaFace::BlurRadius>("BlurRadius"),
};

constexpr Field<MetaBorder> kBorderFields[] = {
    Row<K::Flag, &MetaBorder::Enable>("Enable"),
    Row<K::Int, &MetaBorder::Size>("Size"),
    Row<K::UInt, &MetaBorder::Color1>("Color1"),
    Row<K::UInt, &MetaBorder::Color2>("Color2"),
    Row<K::Int, &MetaBorder::GradType>("GradType"),
    Row<K::Alpha, &MetaBorder::Alpha>("Alpha"),
    Row<K::Int, &MetaBorder::BlurRadius>("BlurRadius"),
};

constexpr Field<MetaShadow> kShadowFields[] = {
    Row<K::Flag, &MetaShadow::EnableFace>("EnableFace"),
    Row<K::Flag, &MetaShadow::EnableBorder>("EnableBorder"),
    Row<K::UInt, &MetaShadow::Color1>("Color1"),
    Row<K::UInt, &MetaShadow::Color2>("Color2"),
    Row<K::Int, &MetaShadow::GradType>("GradType"),
    Row<K::Alpha, &MetaShadow::Alpha>("Alpha"),
    Row<K::Int, &MetaShadow::BlurRadius>("BlurRadius"),
    Row<K::Float, &MetaShadow::OffsetX>("OffsetX"),
    Row<K::Float, &MetaShadow::OffsetY>("OffsetY"),
    Row<K::Flag, &MetaShadow::Height>("Height"),
};

constexpr Field<QelPlate> kPlateFields[] = {
    Row<K::UInt, &QelPlate::Per>("Per"),
    Row<K::Int, &QelPlate::First>("First"),
    Row<K::Int, &QelPlate::Count>("Count"),
    Row<K::Float, &QelPlate::PadX>("PadX"),
    Row<K::Float, &QelPlate::PadY>("PadY"),
    Row<K::Float, &QelPlate::Radius>("Radius"),
    Row<K::UInt, &QelPlate::Color1>("Color1"),
    Row<K::UInt, &QelPlate::Color2>("Color2"),
    Row<K::Int, &QelPlate::GradType>("GradType"),
    Row<K::UInt, &QelPlate::Alpha>("Alpha"),
    Row<K::UInt, &QelPlate::Across>("Across"),
    Row<K::Float, &QelPlate::BorderSize>("BorderSize"),
    Row<K::UInt, &QelPlate::BorderColor>("BorderColor"),
    Row<K::UInt, &QelPlate::BorderAlpha>("BorderAlpha"),
    Row<K::Float, &QelPlate::ShadowX>("ShadowX"),
    Row<K::Float, &QelPlate::ShadowY>("ShadowY"),
    Row<K::Float, &QelPlate::ShadowBlur>("ShadowBlur"),
    Row<K::UInt, &QelPlate::ShadowColor>("ShadowColor"),
    Row<K::UInt, &QelPlate::ShadowAlpha>("ShadowAlpha"),
    Row<K::UInt, &QelPlate::Reveal>("Reveal"),
    Row<K::UInt, &QelPlate::RevealFrom>("RevealFrom"),
    Row<K::Float, &QelPlate::RevealStart>("RevealStart"),
    Row<K::Float, &QelPlate::RevealLength>("RevealLength"),
    Row<K::Float, &QelPlate::HideStart>("HideStart"),
    Row<K::Float, &QelPlate::HideLength>("HideLength"),
};

constexpr Field<StoredKeyFrame> kKeyFrameFields[] = {
    Row<K::Float, &StoredKeyFrame::KeyFrame>("KeyFrame"),
    Row<K::Text, &StoredKeyFrame::PathID>("PathID"),
    Row<K::Float, &StoredKeyFrame::PathProgress>("PathProgress"),
};

// A list element and the record elements it holds.
template <class Record>
struct RecordList {
    const char* listName;
    const char* recordName;
    std::span<const Field<Record>> fields;
};

// A list of the string record: its element names, fields and the vector it is kept in.
template <class Record>
struct StringMemberList {
    RecordList<Record> list;
    std::vector<Record> MetaString::*records;
};

constexpr RecordList<MetaString> kStrings{"StringList", "MetaString", kStringFields};
constexpr RecordList<StoredKeyFrame> kKeyFrames{"PathList", "MetaPath", kKeyFrameFields};
// Plates come after PathList and only when the string has some: a reader that does not know them
// finds its lists by name and passes over this one, and titles without plates are saved as before.
constexpr RecordList<QelPlate> kPlates{"PlateList", "MetaPlate", kPlateFields};

// The lists under each MetaString except PathList (a map, below), in the order they are written.
constexpr std::tuple kStringLists{
    StringMemberList<MetaCharacter>{{"CharList", "MetaCharacter", kCharacterFields}, &MetaString::chars},
    StringMemberList<MetaLine>{{"LineList", "MetaLine", kLineFields}, &MetaString::lines},
    StringMemberList<MetaParagraph>{{"ParagraphList", "MetaParagraph", kParagraphFields}, &MetaString::paragraphs},
    StringMemberList<MetaFont>{{"FontList", "MetaFont", kFontFields}, &MetaString::fonts},
    StringMemberList<MetaFace>{{"FaceList", "MetaFace", kFaceFields}, &MetaString::faces},
    StringMemberList<MetaBorder>{{"BorderList", "MetaBorder", kBorderFields}, &MetaString::borders},
    StringMemberList<MetaShadow>{{"ShadowList", "MetaShadow", kShadowFields}, &MetaString::shadows},
};

// ---------------------------------------------------------------------------------------------
// Whole records through their tables.

// Writes one record element under list: Index, then the table's attributes in order, with the
// element's attributes selected for the writer and released again afterwards. Returns the element (null when it
// could not be made) for the lists it holds.
template <class Record>
XmlNode WriteRecord(XmlDom& dom, XmlNode list, const RecordList<Record>& format, uint32_t index,
                    const Record& record) {
    XmlNode element = dom.CreateChildElement(list, format.recordName);
    if (!element) return element;
    (void)dom.SelectAttributes(element);
    (void)dom.SetUInt("Index", index);
    for (const Field<Record>& f : format.fields) {
        f.write(dom, f.name, record);
    }
    (void)dom.ReleaseAttributes();
    return element;
}

// Reads the table's attributes of one record element into record (Index is not read: a
// record's position is its document position).
template <class Record>
void ReadRecord(XmlDom& dom, XmlNode element, const RecordList<Record>& format, Record& record) {
    (void)dom.SelectAttributes(element);
    for (const Field<Record>& f : format.fields) {
        f.read(dom, f.name, record);
    }
    (void)dom.ReleaseAttributes();
}

// Writes a list element and one record per entry, Index counting from 0.
template <class Record>
void WriteList(XmlDom& dom, XmlNode parent, const RecordList<Record>& format, const std::vector<Record>& records) {
    XmlNode list = dom.CreateChildElement(parent, format.listName);
    if (!list) return;
    for (size_t i = 0; i < records.size(); ++i) WriteRecord(dom, list, format, static_cast<uint32_t>(i), records[i]);
}

// Reads every record element of a list in document order; an absent list reads as empty.
template <class Record>
void ReadList(XmlDom& dom, XmlNode parent, const RecordList<Record>& format, std::vector<Record>& records) {
    const XmlNode list = dom.FindChild(parent, format.listName);
    if (!list) return;
    for (const XmlNode& element : dom.FindChildren(list, format.recordName)) {
        Record record{};
        ReadRecord(dom, element, format, record);
        records.push_back(record);
    }
}

// True when [start, end] ranges tile 0..count-1 in order: the first starts at 0, each starts
// right after the previous end, the last ends at count - 1.
template <class Range, class Start, class End>
bool RangesTile(const std::vector<Range>& ranges, size_t count, Start start, End end) {
    int64_t next = 0;
    for (const Range& r : ranges) {
        if (start(r) != next || end(r) < start(r)) return false;
        next = int64_t{end(r)} + 1;
    }
    return next == static_cast<int64_t>(count);
}

bool InRange(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

}  // namespace

std::string TitleSaveDate() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return std::to_string(utc.tm_year + 1900) + "/" + std::to_string(utc.tm_mon + 1) + "/" +
           std::to_string(utc.tm_mday);
}

// ---------------------------------------------------------------------------------------------
// Writing

HRESULT TitleXmlSerializer::BuildDocument() {
    if (!strings_) return E_FAIL;
    XmlNode root = dom_.CreateRootElement("CTitle");
    if (!root) return E_FAIL;
    (void)dom_.SelectAttributes(root);
    (void)dom_.SetString("Version", "2.0");
    (void)dom_.ReleaseAttributes();

    XmlNode header = dom_.CreateChildElement(root, "Header");
    XmlNode information = dom_.CreateChildElement(header, "Information");
    if (information) {
        const std::string date = TitleSaveDate();
        (void)dom_.SelectAttributes(information);
        (void)dom_.SetString("Creator", "CTitle Exported XML");
        (void)dom_.SetString("CreateDate", date.c_str());
        (void)dom_.SetString("LastModified", date.c_str());
        (void)dom_.ReleaseAttributes();
    }
    return WriteStrings(root);
}

HRESULT TitleXmlSerializer::WriteStrings(XmlNode parent) {
    if (!strings_) return E_FAIL;
    XmlNode list = dom_.CreateChildElement(parent, kStrings.listName);
    if (!list) return E_FAIL;
    for (size_t i = 0; i < strings_->size(); ++i) WriteString(list, (*strings_)[i], static_cast<uint32_t>(i));
    return S_OK;
}

void TitleXmlSerializer::WriteString(XmlNode list, const MetaString& s, uint32_t index) {
    XmlDom& dom = dom_;
    const XmlNode element = WriteRecord(dom, list, kStrings, index, s);
    if (!element) return;
    std::apply([&](const auto&... member) { (WriteList(dom, element, member.list, s.*member.records), ...); },
               kStringLists);

    // Key frames in ascending key order; Index counts from 1 here.
    XmlNode paths = dom.CreateChildElement(element, kKeyFrames.listName);
    if (!paths) return;
    uint32_t pathIndex = 1;
    for (const auto& [key, value] : s.KeyFrames) {
        StoredKeyFrame record;
        record.KeyFrame = key;
        std::memcpy(record.PathID, value.PathID, sizeof record.PathID);
        record.PathProgress = value.PathProgress;
        WriteRecord(dom, paths, kKeyFrames, pathIndex++, record);
    }
    if (!s.plates.empty()) WriteList(dom, element, kPlates, s.plates);
}

// ---------------------------------------------------------------------------------------------
// Reading

HRESULT TitleXmlSerializer::ReadDocument() {
    const XmlNode root = dom_.FindDocumentChild("CTitle");
    if (!root) return E_FAIL;
    return ReadStrings(root) == S_OK ? S_OK : E_FAIL;
}

HRESULT TitleXmlSerializer::ReadStrings(XmlNode parent) {
    if (!strings_) return E_FAIL;
    const XmlNode list = dom_.FindChild(parent, kStrings.listName);
    if (!list) return E_FAIL;
    for (const XmlNode& element : dom_.FindChildren(list, kStrings.recordName)) {
        strings_->emplace_back();
        ReadString(element, strings_->back());
    }
    return S_OK;
}

void TitleXmlSerializer::ReadString(XmlNode element, MetaString& s) {
    XmlDom& dom = dom_;
    ReadRecord(dom, element, kStrings, s);
    std::apply([&](const auto&... member) { (ReadList(dom, element, member.list, s.*member.records), ...); },
               kStringLists);

    const XmlNode paths = dom.FindChild(element, kKeyFrames.listName);
    for (const XmlNode& path : dom.FindChildren(paths, kKeyFrames.recordName)) {
        StoredKeyFrame record;
        ReadRecord(dom, path, kKeyFrames, record);
        // A key that is not a number is malformed like any unreadable value and reads as 0; it
        // could not be ordered in the key-frame map.
        if (std::isnan(record.KeyFrame)) record.KeyFrame = 0;
        PathValue value{};
        std::memcpy(value.PathID, record.PathID, sizeof value.PathID);
        value.PathProgress = record.PathProgress;
        s.KeyFrames.try_emplace(record.KeyFrame, value);  // the first of equal keys stays
    }
    ReadPlates(element, s);
    ReadText(s);
}

// The language is read as a tag or not at all: a value that is not one (edited by hand) is
// dropped rather than handed to the shaper.
void TitleXmlSerializer::ReadText(MetaString& s) {
    if (!LanguageTagValid(s.Language)) s.Language.clear();
    for (MetaFont& font : s.fonts) {
        if (!LanguageTagValid(std::string_view(font.Language, strnlen(font.Language, sizeof font.Language))))
            std::memset(font.Language, 0, sizeof font.Language);
    }
}

// A plate with a value outside its range (edited by hand, or from a later version) is left out
// rather than drawn from numbers nobody checked; so are plates beyond the most a string holds.
// An unknown gradient-across mode reads as none.
void TitleXmlSerializer::ReadPlates(XmlNode element, MetaString& s) {
    if (s.GradientAcross > QEL_ACROSS_STRING) s.GradientAcross = 0;
    std::vector<QelPlate> plates;
    ReadList(dom_, element, kPlates, plates);
    for (const QelPlate& plate : plates) {
        if (PlateValid(plate) && s.plates.size() < QEL_MAX_PLATES) s.plates.push_back(plate);
    }
}

// ---------------------------------------------------------------------------------------------
// Validation of what was read

bool IsUsableTitle(const std::vector<MetaString>& strings, std::string* why) {
    auto fail = [&](size_t row, const char* what) {
        if (why) *why = "string " + std::to_string(row) + ": " + what;
        return false;
    };
    for (size_t row = 0; row < strings.size(); ++row) {
        const MetaString& s = strings[row];
        if (s.chars.empty()) {
            if (!s.lines.empty() || !s.paragraphs.empty()) return fail(row, "lines or paragraphs without characters");
            continue;
        }
        if (!RangesTile(s.lines, s.chars.size(), [](const MetaLine& l) { return l.CharStart; },
                        [](const MetaLine& l) { return l.CharEnd; })) {
            return fail(row, "lines do not cover the characters in order");
        }
        if (!RangesTile(s.paragraphs, s.lines.size(), [](const MetaParagraph& p) { return p.LineStart; },
                        [](const MetaParagraph& p) { return p.LineEnd; })) {
            return fail(row, "paragraphs do not cover the lines in order");
        }
        for (size_t p = 0; p < s.paragraphs.size(); ++p) {
            for (int32_t l = s.paragraphs[p].LineStart; l <= s.paragraphs[p].LineEnd; ++l) {
                if (s.lines[static_cast<size_t>(l)].ParagraphIndex != static_cast<int32_t>(p)) {
                    return fail(row, "a line names a paragraph that does not hold it");
                }
            }
        }
        for (size_t l = 0; l < s.lines.size(); ++l) {
            for (int32_t c = s.lines[l].CharStart; c <= s.lines[l].CharEnd; ++c) {
                if (s.chars[static_cast<size_t>(c)].LineIndex != static_cast<int32_t>(l)) {
                    return fail(row, "a character names a line that does not hold it");
                }
            }
        }
        for (const MetaCharacter& c : s.chars) {
            if (!InRange(c.FontIndex, s.fonts.size()) || !InRange(c.FaceIndex, s.faces.size()) ||
                !InRange(c.BorderIndex, s.borders.size()) || !InRange(c.ShadowIndex, s.shadows.size())) {
                return fail(row, "a character's style index is outside its list");
            }
        }
    }
    return true;
}

}  // namespace qel
