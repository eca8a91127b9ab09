// The title XML format: a CTitle document carrying every string with its characters, lines,
// paragraphs, its own style lists and its key frames.
//
//   CTitle Version="2.0"
//     Header / Information Creator CreateDate LastModified
//     StringList
//       MetaString (attributes)  CharList LineList ParagraphList FontList FaceList BorderList
//                                ShadowList PathList, each holding one record element per entry,
//                                and PlateList when the string has plates
//
// Every element is written also when its list is empty; attributes come in a fixed order. Loading
// takes records in document order (Index attributes are ignored), reads a missing attribute as
// zero, false or empty, and keeps the first of key frames with equal keys.
#pragma once

#include <vector>

#include "model/TitleModel.h"
#include "persist/XmlDom.h"

namespace qel {

class TitleXmlSerializer {
public:
    // The serializer reads into and writes from strings, which it does not own.
    explicit TitleXmlSerializer(std::vector<MetaString>& strings) : strings_(&strings) {}
    // For writing only: the strings are read, never changed.
    explicit TitleXmlSerializer(const std::vector<MetaString>& strings)
        : strings_(const_cast<std::vector<MetaString>*>(&strings)) {}

    // The document's creation status; every operation checks it first.
    HRESULT Status() const { return dom_.Status(); }
    XmlDom& Dom() { return dom_; }

    // Writes the whole CTitle tree into the serializer's document, dated today (UTC).
    [[nodiscard]] HRESULT BuildDocument();
    // Writes StringList and everything under it as parent's last child (parent may belong to
    // another document). E_FAIL when parent cannot hold elements.
    [[nodiscard]] HRESULT WriteStrings(XmlNode parent);
    // Finds the CTitle root of the loaded document and reads its strings. S_OK or E_FAIL.
    [[nodiscard]] HRESULT ReadDocument();
    // Appends the strings of parent's StringList. E_FAIL when there is no StringList.
    [[nodiscard]] HRESULT ReadStrings(XmlNode parent);

private:
    void WriteString(XmlNode list, const MetaString& s, uint32_t index);
    void ReadString(XmlNode element, MetaString& s);
    void ReadPlates(XmlNode element, MetaString& s);
    void ReadText(MetaString& s);

    XmlDom dom_;
    std::vector<MetaString>* strings_;
};

// Checks that a loaded title can be used without reading out of range: style, line and
// paragraph indices point into their lists, and lines and paragraphs cover the characters in
// order. (Keys that are not numbers never get this far: the reader stores them as 0.) On
// failure, *why (when given) names the first fault.
[[nodiscard]] bool IsUsableTitle(const std::vector<MetaString>& strings, std::string* why = nullptr);

// The date text written into Information: year/month/day of now in UTC, without leading zeros.
std::string TitleSaveDate();

}  // namespace qel
