#include "persist/TitleXml.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

namespace qel {
namespace {

// Fixed-size text members (PathID, MaskFile) hold at most 259 bytes and their terminator.
constexpr uint32_t kTextCapacity = 260;

// Reads a text attribute into a fixed member; a missing or too long value leaves it empty.
void ReadText(XmlDom& dom, const char* name, char (&member)[kTextCapacity]) {
    uint32_t length = kTextCapacity;
    if (dom.GetString(name, member, &length) != S_OK) member[0] = 0;
}

float ReadFloat(XmlDom& dom, const char* name) {
    float value = 0;
    (void)dom.GetFloat(name, &value);
    return value;
}

int32_t ReadInt(XmlDom& dom, const char* name) {
    int32_t value = 0;
    (void)dom.GetInt(name, &value);
    return value;
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

// Writes one record element under list: its attributes are selected for the writer and
// released again afterwards.
template <class WriteAttributes>
void WriteRecord(XmlDom& dom, XmlNode list, const char* name, WriteAttributes&& write) {
    XmlNode element = dom.CreateChildElement(list, name);
    if (!element) return;
    (void)dom.SelectAttributes(element);
    write();
    (void)dom.ReleaseAttributes();
}

// Writes a list element and one record per entry, Index counting from 0.
template <class Record, class WriteAttributes>
void WriteList(XmlDom& dom, XmlNode parent, const char* listName, const char* recordName,
               const std::vector<Record>& records, WriteAttributes&& write) {
    XmlNode list = dom.CreateChildElement(parent, listName);
    if (!list) return;
    for (size_t i = 0; i < records.size(); ++i) {
        WriteRecord(dom, list, recordName, [&] {
            (void)dom.SetUInt("Index", static_cast<uint32_t>(i));
            write(records[i]);
        });
    }
}

// Reads every record element of a list in document order; an absent list reads as empty.
template <class Record, class ReadAttributes>
void ReadList(XmlDom& dom, XmlNode parent, const char* listName, const char* recordName,
              std::vector<Record>& records, ReadAttributes&& read) {
    const XmlNode list = dom.FindChild(parent, listName);
    if (!list) return;
    for (const XmlNode& element : dom.FindChildren(list, recordName)) {
        (void)dom.SelectAttributes(element);
        Record record{};
        read(record);
        records.push_back(record);
        (void)dom.ReleaseAttributes();
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
    XmlNode list = dom_.CreateChildElement(parent, "StringList");
    if (!list) return E_FAIL;
    for (size_t i = 0; i < strings_->size(); ++i) WriteString(list, (*strings_)[i], static_cast<uint32_t>(i));
    return S_OK;
}

void TitleXmlSerializer::WriteString(XmlNode list, const MetaString& s, uint32_t index) {
    XmlDom& dom = dom_;
    XmlNode element = dom.CreateChildElement(list, "MetaString");
    if (!element) return;
    (void)dom.SelectAttributes(element);
    (void)dom.SetUInt("Index", index);
    (void)dom.SetFloat("Left", s.Left);
    (void)dom.SetFloat("Top", s.Top);
    (void)dom.SetFloat("Width", s.Width);
    (void)dom.SetFloat("Height", s.Height);
    (void)dom.SetInt("ParagraphCount", s.ParagraphCount);
    (void)dom.SetFloat("WidthLimit", s.WidthLimit);
    (void)dom.SetFloat("RotateDegree", s.RotateDegree);
    (void)dom.SetBool("Vertical", static_cast<uint32_t>(s.Vertical));
    (void)dom.SetString("PathID", std::string(s.PathID, strnlen(s.PathID, sizeof s.PathID)).c_str());
    (void)dom.SetFloat("PathProgress", s.PathProgress);
    (void)dom.SetString("MaskFile", std::string(s.MaskFile, strnlen(s.MaskFile, sizeof s.MaskFile)).c_str());
    (void)dom.ReleaseAttributes();

    WriteList(dom, element, "CharList", "MetaCharacter", s.chars, [&](const MetaCharacter& c) {
        (void)dom.SetUInt("Value", c.Value);
        (void)dom.SetFloat("Left", c.Left);
        (void)dom.SetFloat("Top", c.Top);
        (void)dom.SetFloat("Width", c.Width);
        (void)dom.SetFloat("Height", c.Height);
        (void)dom.SetFloat("WidthScale", c.WidthScale);
        (void)dom.SetFloat("Spacing", c.Spacing);
        (void)dom.SetInt("LineIndex", c.LineIndex);
        (void)dom.SetInt("FontIndex", c.FontIndex);
        (void)dom.SetInt("FaceIndex", c.FaceIndex);
        (void)dom.SetInt("BorderIndex", c.BorderIndex);
        (void)dom.SetInt("ShadowIndex", c.ShadowIndex);
    });
    WriteList(dom, element, "LineList", "MetaLine", s.lines, [&](const MetaLine& l) {
        (void)dom.SetFloat("Left", l.Left);
        (void)dom.SetFloat("Top", l.Top);
        (void)dom.SetFloat("Width", l.Width);
        (void)dom.SetFloat("Height", l.Height);
        (void)dom.SetInt("CharStart", l.CharStart);
        (void)dom.SetInt("CharEnd", l.CharEnd);
        (void)dom.SetInt("ParagraphIndex", l.ParagraphIndex);
    });
    WriteList(dom, element, "ParagraphList", "MetaParagraph", s.paragraphs, [&](const MetaParagraph& p) {
        (void)dom.SetFloat("Left", p.Left);
        (void)dom.SetFloat("Top", p.Top);
        (void)dom.SetFloat("Width", p.Width);
        (void)dom.SetFloat("Height", p.Height);
        (void)dom.SetInt("LineStart", p.LineStart);
        (void)dom.SetInt("LineEnd", p.LineEnd);
        (void)dom.SetUInt("Align", p.Align);
        (void)dom.SetFloat("LineSpace", p.LineSpace);
        (void)dom.SetFloat("BeforeSpace", p.BeforeSpace);
        (void)dom.SetFloat("AfterSpace", p.AfterSpace);
        (void)dom.SetFloat("LeftIndent", p.LeftIndent);
        (void)dom.SetFloat("RightIndent", p.RightIndent);
    });
    WriteList(dom, element, "FontList", "MetaFont", s.fonts, [&](const MetaFont& f) {
        (void)dom.SetBytes("LogFont", &f.LogFont, sizeof f.LogFont);
        (void)dom.SetFloat("SizeRatio", f.SizeRatio);
        (void)dom.SetFloat("Ascent", f.Ascent);
        (void)dom.SetFloat("Descent", f.Descent);
        (void)dom.SetFloat("IntLead", f.IntLead);
        (void)dom.SetFloat("ExtLead", f.ExtLead);
        (void)dom.SetFloat("StrikeoutPos", f.StrikeoutPos);
        (void)dom.SetFloat("StrikeoutSize", f.StrikeoutSize);
        (void)dom.SetFloat("UnderlinePos", f.UnderlinePos);
        (void)dom.SetFloat("UnderlineSize", f.UnderlineSize);
    });
    WriteList(dom, element, "FaceList", "MetaFace", s.faces, [&](const MetaFace& f) {
        (void)dom.SetBool("Enable", f.Enable);
        (void)dom.SetUInt("Color1", f.Color1);
        (void)dom.SetUInt("Color2", f.Color2);
        (void)dom.SetInt("GradType", f.GradType);
        (void)dom.SetUInt("Alpha", f.Alpha);
        (void)dom.SetInt("BlurRadius", f.BlurRadius);
    });
    WriteList(dom, element, "BorderList", "MetaBorder", s.borders, [&](const MetaBorder& b) {
        (void)dom.SetBool("Enable", b.Enable);
        (void)dom.SetInt("Size", b.Size);
        (void)dom.SetUInt("Color1", b.Color1);
        (void)dom.SetUInt("Color2", b.Color2);
        (void)dom.SetInt("GradType", b.GradType);
        (void)dom.SetUInt("Alpha", b.Alpha);
        (void)dom.SetInt("BlurRadius", b.BlurRadius);
    });
    WriteList(dom, element, "ShadowList", "MetaShadow", s.shadows, [&](const MetaShadow& h) {
        (void)dom.SetBool("EnableFace", h.EnableFace);
        (void)dom.SetBool("EnableBorder", h.EnableBorder);
        (void)dom.SetUInt("Color1", h.Color1);
        (void)dom.SetUInt("Color2", h.Color2);
        (void)dom.SetInt("GradType", h.GradType);
        (void)dom.SetUInt("Alpha", h.Alpha);
        (void)dom.SetInt("BlurRadius", h.BlurRadius);
        (void)dom.SetFloat("OffsetX", h.OffsetX);
        (void)dom.SetFloat("OffsetY", h.OffsetY);
        (void)dom.SetBool("Height", h.Height);
    });

    // Key frames in ascending key order; Index counts from 1 here.
    XmlNode paths = dom.CreateChildElement(element, "PathList");
    if (!paths) return;
    uint32_t pathIndex = 1;
    for (const auto& entry : s.KeyFrames) {
        const float key = entry.first;
        const PathValue& value = entry.second;
        WriteRecord(dom, paths, "MetaPath", [&] {
            (void)dom.SetUInt("Index", pathIndex++);
            (void)dom.SetFloat("KeyFrame", key);
            (void)dom.SetString("PathID", std::string(value.PathID, strnlen(value.PathID, sizeof value.PathID)).c_str());
            (void)dom.SetFloat("PathProgress", value.PathProgress);
        });
    }
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
    const XmlNode list = dom_.FindChild(parent, "StringList");
    if (!list) return E_FAIL;
    for (const XmlNode& element : dom_.FindChildren(list, "MetaString")) {
        strings_->emplace_back();
        ReadString(element, strings_->back());
    }
    return S_OK;
}

void TitleXmlSerializer::ReadString(XmlNode element, MetaString& s) {
    XmlDom& dom = dom_;
    (void)dom.SelectAttributes(element);
    s.Left = ReadFloat(dom, "Left");
    s.Top = ReadFloat(dom, "Top");
    s.Width = ReadFloat(dom, "Width");
    s.Height = ReadFloat(dom, "Height");
    s.ParagraphCount = ReadInt(dom, "ParagraphCount");
    s.WidthLimit = ReadFloat(dom, "WidthLimit");
    s.RotateDegree = ReadFloat(dom, "RotateDegree");
    s.Vertical = static_cast<int32_t>(ReadFlag(dom, "Vertical"));
    ReadText(dom, "PathID", s.PathID);
    s.PathProgress = ReadFloat(dom, "PathProgress");
    ReadText(dom, "MaskFile", s.MaskFile);
    (void)dom.ReleaseAttributes();

    ReadList(dom, element, "CharList", "MetaCharacter", s.chars, [&](MetaCharacter& c) {
        c.Value = static_cast<uint16_t>(ReadUInt(dom, "Value"));
        c.Left = ReadFloat(dom, "Left");
        c.Top = ReadFloat(dom, "Top");
        c.Width = ReadFloat(dom, "Width");
        c.Height = ReadFloat(dom, "Height");
        c.WidthScale = ReadFloat(dom, "WidthScale");
        c.Spacing = ReadFloat(dom, "Spacing");
        c.LineIndex = ReadInt(dom, "LineIndex");
        c.FontIndex = ReadInt(dom, "FontIndex");
        c.FaceIndex = ReadInt(dom, "FaceIndex");
        c.BorderIndex = ReadInt(dom, "BorderIndex");
        c.ShadowIndex = ReadInt(dom, "ShadowIndex");
    });
    ReadList(dom, element, "LineList", "MetaLine", s.lines, [&](MetaLine& l) {
        l.Left = ReadFloat(dom, "Left");
        l.Top = ReadFloat(dom, "Top");
        l.Width = ReadFloat(dom, "Width");
        l.Height = ReadFloat(dom, "Height");
        l.CharStart = ReadInt(dom, "CharStart");
        l.CharEnd = ReadInt(dom, "CharEnd");
        l.ParagraphIndex = ReadInt(dom, "ParagraphIndex");
    });
    ReadList(dom, element, "ParagraphList", "MetaParagraph", s.paragraphs, [&](MetaParagraph& p) {
        p.Left = ReadFloat(dom, "Left");
        p.Top = ReadFloat(dom, "Top");
        p.Width = ReadFloat(dom, "Width");
        p.Height = ReadFloat(dom, "Height");
        p.LineStart = ReadInt(dom, "LineStart");
        p.LineEnd = ReadInt(dom, "LineEnd");
        p.Align = ReadUInt(dom, "Align");
        p.LineSpace = ReadFloat(dom, "LineSpace");
        p.BeforeSpace = ReadFloat(dom, "BeforeSpace");
        p.AfterSpace = ReadFloat(dom, "AfterSpace");
        p.LeftIndent = ReadFloat(dom, "LeftIndent");
        p.RightIndent = ReadFloat(dom, "RightIndent");
    });
    ReadList(dom, element, "FontList", "MetaFont", s.fonts, [&](MetaFont& f) {
        // Only the bytes present are filled; the rest of the description stays zero.
        uint32_t capacity = sizeof f.LogFont;
        (void)dom.GetBytes("LogFont", &f.LogFont, &capacity);
        // The face name is used as a terminated string: a stored name that fills all 32 units is
        // cut to 31 rather than read past its end.
        f.LogFont.lfFaceName[31] = 0;
        f.SizeRatio = ReadFloat(dom, "SizeRatio");
        f.Ascent = ReadFloat(dom, "Ascent");
        f.Descent = ReadFloat(dom, "Descent");
        f.IntLead = ReadFloat(dom, "IntLead");
        f.ExtLead = ReadFloat(dom, "ExtLead");
        f.StrikeoutPos = ReadFloat(dom, "StrikeoutPos");
        f.StrikeoutSize = ReadFloat(dom, "StrikeoutSize");
        f.UnderlinePos = ReadFloat(dom, "UnderlinePos");
        f.UnderlineSize = ReadFloat(dom, "UnderlineSize");
    });
    ReadList(dom, element, "FaceList", "MetaFace", s.faces, [&](MetaFace& f) {
        f.Enable = ReadFlag(dom, "Enable");
        f.Color1 = ReadUInt(dom, "Color1");
        f.Color2 = ReadUInt(dom, "Color2");
        f.GradType = ReadInt(dom, "GradType");
        f.Alpha = ReadUInt(dom, "Alpha") & 0xFF;
        f.BlurRadius = ReadInt(dom, "BlurRadius");
    });
    ReadList(dom, element, "BorderList", "MetaBorder", s.borders, [&](MetaBorder& b) {
        b.Enable = ReadFlag(dom, "Enable");
        b.Size = ReadInt(dom, "Size");
        b.Color1 = ReadUInt(dom, "Color1");
        b.Color2 = ReadUInt(dom, "Color2");
        b.GradType = ReadInt(dom, "GradType");
        b.Alpha = ReadUInt(dom, "Alpha") & 0xFF;
        b.BlurRadius = ReadInt(dom, "BlurRadius");
    });
    ReadList(dom, element, "ShadowList", "MetaShadow", s.shadows, [&](MetaShadow& h) {
        h.EnableFace = ReadFlag(dom, "EnableFace");
        h.EnableBorder = ReadFlag(dom, "EnableBorder");
        h.Color1 = ReadUInt(dom, "Color1");
        h.Color2 = ReadUInt(dom, "Color2");
        h.GradType = ReadInt(dom, "GradType");
        h.Alpha = ReadUInt(dom, "Alpha") & 0xFF;
        h.BlurRadius = ReadInt(dom, "BlurRadius");
        h.OffsetX = ReadFloat(dom, "OffsetX");
        h.OffsetY = ReadFloat(dom, "OffsetY");
        h.Height = ReadFlag(dom, "Height");
    });

    const XmlNode paths = dom.FindChild(element, "PathList");
    if (!paths) return;
    for (const XmlNode& path : dom.FindChildren(paths, "MetaPath")) {
        (void)dom.SelectAttributes(path);
        float key = ReadFloat(dom, "KeyFrame");
        // A key that is not a number is malformed like any unreadable value and reads as 0; it
        // could not be ordered in the key-frame map.
        if (std::isnan(key)) key = 0;
        PathValue value{};
        ReadText(dom, "PathID", value.PathID);
        value.PathProgress = ReadFloat(dom, "PathProgress");
        (void)dom.ReleaseAttributes();
        s.KeyFrames.try_emplace(key, value);  // the first of equal keys stays
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
