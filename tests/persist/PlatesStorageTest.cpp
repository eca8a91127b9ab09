// Plates and gradients across a string: the extension's table, what edits do to a plate's
// characters, and how titles with them are saved for readers that know them and readers that
// do not.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/TitleHost.h"
#include "qel/qel_extensions.h"

namespace qel {
namespace {

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};
using Host = std::unique_ptr<ITitleHost, HostDeleter>;

const QelPlatesV1& Plates() {
    return *static_cast<const QelPlatesV1*>(QelGetExtension(QEL_PLATES_EXTENSION, QEL_PLATES_VERSION));
}

QelPlate WordPlate(int32_t first, int32_t count) {
    QelPlate p{};
    p.Per = QEL_PLATE_PER_WORD;
    p.First = first;
    p.Count = count;
    p.PadX = 8;
    p.Color1 = 0x336699;
    p.Color2 = 0x996633;
    p.GradType = 3;
    p.Alpha = 200;
    p.ShadowAlpha = 90;
    p.ShadowBlur = 2.5f;
    p.Reveal = QEL_REVEAL_GROW;
    p.RevealFrom = QEL_FROM_CENTER;
    p.RevealLength = 0.25f;
    return p;
}

std::u16string Save(ITitleHost& host) {
    uint32_t size = 0;
    EXPECT_EQ(host.SaveTitleToBuffer(nullptr, &size), S_OK);
    std::vector<char16_t> buffer(size / 2);
    EXPECT_EQ(host.SaveTitleToBuffer(buffer.data(), &size), S_OK);
    return std::u16string(buffer.data());
}

// The document as a reader that knows nothing of plates takes it: its own elements and
// attributes only.
std::string WithoutPlates(const std::u16string& text) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_buffer(text.data(), text.size() * 2, pugi::parse_default, pugi::encoding_utf16_le));
    for (pugi::xml_node s : doc.child("CTitle").child("StringList").children("MetaString")) {
        while (s.child("PlateList")) s.remove_child("PlateList");
        s.remove_attribute("GradientAcross");
    }
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

// Two strings with styled spans, several paragraphs and key frames.
Host StyledTitle() {
    Host host(GetTitleHost());
    for (int row = 0; row < 2; ++row) {
        host->AddString();
        host->InsertText(row, 0, u"Jane Doe\r\nSenior engineer");
        const MetaFace gold{1, 0x00C0FF, 0x0040FF, 1, 230, 0};
        host->SetDefaultFace(&gold);
        host->ApplyFace(row, 5, 3);
        const PathValue in{"PATH_SLIDELEFT", 0.0f}, rest{"PATH_SLIDELEFT", 1.0f};
        host->SetKeyFrame(row, 0.0f, &in);
        host->SetKeyFrame(row, 0.4f, &rest);
    }
    return host;
}

TEST(PlatesStorage, ReadersWithoutPlatesLoadTheTitleAsItWas) {
    Host host = StyledTitle();
    const std::u16string plain = Save(*host);
    const QelPlate word = WordPlate(0, 4);
    ASSERT_EQ(Plates().SetPlate(host.get(), 0, 0, &word), S_OK);
    QelPlate line = WordPlate(0, 0);
    line.Per = QEL_PLATE_PER_LINE;
    line.BorderSize = 1.5f;
    line.BorderColor = 0xFFFFFF;
    line.BorderAlpha = 255;
    ASSERT_EQ(Plates().SetPlate(host.get(), 1, 0, &line), S_OK);
    ASSERT_EQ(Plates().SetGradientAcross(host.get(), 1, QEL_ACROSS_LINE), S_OK);
    const std::u16string withPlates = Save(*host);
    EXPECT_NE(withPlates.find(u"<PlateList>"), std::u16string::npos);
    // Take the additions away and what is left is the title without them, attribute for attribute.
    EXPECT_EQ(WithoutPlates(withPlates), WithoutPlates(plain));

    // A host that only loads and saves through the operation table keeps them too.
    Host other(GetTitleHost());
    ASSERT_EQ(other->LoadTitleFromBuffer(withPlates.c_str()), S_OK);
    EXPECT_EQ(Save(*other), withPlates);
    QelPlate back{};
    ASSERT_EQ(Plates().GetPlate(other.get(), 0, 0, &back), S_OK);
    EXPECT_EQ(std::memcmp(&back, &word, sizeof back), 0);
    uint32_t across = 0;
    EXPECT_EQ(Plates().GetGradientAcross(other.get(), 1, &across), S_OK);
    EXPECT_EQ(across, QEL_ACROSS_LINE);
}

TEST(PlatesStorage, PlatesWithValuesOutOfRangeAreLeftOutOnLoading) {
    Host host = StyledTitle();
    const QelPlate first = WordPlate(0, 4), second = WordPlate(5, 3);
    ASSERT_EQ(Plates().SetPlate(host.get(), 0, 0, &first), S_OK);
    ASSERT_EQ(Plates().SetPlate(host.get(), 0, 1, &second), S_OK);
    std::u16string text = Save(*host);
    // The second plate edited by hand: a padding that is not a number.
    const size_t at = text.find(u"<MetaPlate Index=\"1\"");
    const size_t pad = text.find(u"PadX=\"", at);
    ASSERT_NE(pad, std::u16string::npos);
    text.replace(pad + 6, 1, u"nan\" Junk=\"");
    Host other(GetTitleHost());
    ASSERT_EQ(other->LoadTitleFromBuffer(text.c_str()), S_OK);
    EXPECT_EQ(Plates().GetPlateCount(other.get(), 0), 1);
    EXPECT_EQ(other->GetCharCount(0), host->GetCharCount(0));
}

TEST(PlatesExtension, TableVersionsAndRefusals) {
    EXPECT_NE(QelGetExtension(QEL_PLATES_EXTENSION, 0), nullptr);
    EXPECT_EQ(QelGetExtension(QEL_PLATES_EXTENSION, QEL_PLATES_VERSION + 1), nullptr);
    EXPECT_EQ(QelGetExtension("qel.nothing", 1), nullptr);
    EXPECT_EQ(QelGetExtension(nullptr, 1), nullptr);
    EXPECT_EQ(Plates().StructSize, sizeof(QelPlatesV1));

    Host host = StyledTitle();
    const QelPlate good = WordPlate(0, 4);
    struct Refused {
        const char* what;
        void (*spoil)(QelPlate&);
    };
    const Refused refused[] = {
        {"per", [](QelPlate& p) { p.Per = 3; }},
        {"padding not a number", [](QelPlate& p) { p.PadX = std::nanf(""); }},
        {"negative radius", [](QelPlate& p) { p.Radius = -1; }},
        {"alpha", [](QelPlate& p) { p.Alpha = 256; }},
        {"colour", [](QelPlate& p) { p.Color2 = 0x1000000; }},
        {"reveal time", [](QelPlate& p) { p.RevealStart = 1.5f; }},
        {"infinite shadow", [](QelPlate& p) { p.ShadowX = INFINITY; }},
        {"first character", [](QelPlate& p) { p.First = -1; }},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.what);
        QelPlate bad = good;
        r.spoil(bad);
        EXPECT_EQ(Plates().SetPlate(host.get(), 0, 0, &bad), E_INVALIDARG);
    }
    EXPECT_EQ(Plates().SetPlate(host.get(), 0, 1, &good), E_INVALIDARG);  // beyond the count
    EXPECT_EQ(Plates().SetPlate(host.get(), 7, 0, &good), E_INVALIDARG);  // no such string
    EXPECT_EQ(Plates().SetPlate(host.get(), 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(Plates().SetGradientAcross(host.get(), 0, 3), E_INVALIDARG);
    EXPECT_EQ(Plates().GetPlateCount(host.get(), 0), 0);
    for (int i = 0; i < QEL_MAX_PLATES; ++i) ASSERT_EQ(Plates().SetPlate(host.get(), 0, i, &good), S_OK);
    EXPECT_EQ(Plates().SetPlate(host.get(), 0, QEL_MAX_PLATES, &good), E_INVALIDARG);
    EXPECT_EQ(Plates().RemovePlate(host.get(), 0, QEL_MAX_PLATES), E_INVALIDARG);
    EXPECT_EQ(Plates().RemovePlate(host.get(), 0, 0), S_OK);
    EXPECT_EQ(Plates().GetPlateCount(host.get(), 0), QEL_MAX_PLATES - 1);
}

TEST(PlatesEditing, APlateKeepsToItsCharacters) {
    struct Case {
        const char* edit;
        void (*apply)(ITitleHost&);
        int32_t first, count;  // the plate afterwards; count -1: removed
    };
    // The plate covers "Doe" (characters 5 to 7) of "Jane Doe\r\nSenior engineer".
    const Case cases[] = {
        {"typed in front", [](ITitleHost& h) { h.InsertText(0, 0, u"Dr "); }, 8, 3},
        {"typed at its start", [](ITitleHost& h) { h.InsertText(0, 5, u"X"); }, 6, 3},
        {"typed inside", [](ITitleHost& h) { h.InsertText(0, 6, u"XY"); }, 5, 5},
        {"typed at its end", [](ITitleHost& h) { h.InsertText(0, 8, u"s"); }, 5, 4},
        {"typed after", [](ITitleHost& h) { h.InsertText(0, 12, u"!"); }, 5, 3},
        {"deleted in front", [](ITitleHost& h) { h.DeleteText(0, 0, 2); }, 3, 3},
        {"deleted across its start", [](ITitleHost& h) { h.DeleteText(0, 3, 3); }, 3, 2},
        {"deleted inside", [](ITitleHost& h) { h.DeleteText(0, 6, 1); }, 5, 2},
        {"deleted whole", [](ITitleHost& h) { h.DeleteText(0, 4, 5); }, 0, -1},
        {"string cleared", [](ITitleHost& h) { h.ClearString(0); }, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        Host host = StyledTitle();
        const QelPlate doe = WordPlate(5, 3);
        ASSERT_EQ(Plates().SetPlate(host.get(), 0, 0, &doe), S_OK);
        QelPlate whole{};
        ASSERT_EQ(Plates().SetPlate(host.get(), 0, 1, &whole), S_OK);
        c.apply(*host);
        QelPlate p{};
        if (c.count < 0) {
            ASSERT_EQ(Plates().GetPlateCount(host.get(), 0), 1);  // the whole string's stays
            ASSERT_EQ(Plates().GetPlate(host.get(), 0, 0, &p), S_OK);
            EXPECT_EQ(p.Count, 0);
            continue;
        }
        ASSERT_EQ(Plates().GetPlate(host.get(), 0, 0, &p), S_OK);
        EXPECT_EQ(p.First, c.first);
        EXPECT_EQ(p.Count, c.count);
    }
}

}  // namespace
}  // namespace qel
