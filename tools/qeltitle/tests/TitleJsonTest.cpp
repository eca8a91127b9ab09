// Titles as JSON: export then build gives back the same title document (the demo title and a title
// that uses every field), and mistakes are reported at their line, column and field.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "player/TitleFiles.h"
#include "authoring/TitleJson.h"

namespace qeltitle {
namespace {

// Every field of the format at least once, none at its default.
constexpr const char* kEveryField = R"({
  "frame": [1280, 720],
  "length": 5,
  "style": {"font": "Liberation Serif", "size": 60, "bold": true, "italic": true, "underline": true,
            "strikeout": true, "charset": 0, "kerning": false, "color": ["#FF000080", "#0000FF"], "gradient": 3, "blur": 2,
            "fill": true, "border": {"size": 4, "color": "#102030C0", "gradient": 0, "blur": 1},
            "shadow": {"offset": [5, -3.5], "blur": 3, "extrude": true, "color": ["#000000", "#404040"],
                       "face": true, "border": false},
            "spacing": 2.5, "widthScale": 1.25, "align": "right", "lineSpace": 4, "before": 1, "after": 2,
            "leftIndent": 8, "rightIndent": 6},
  "strings": [
    {"spans": [{"text": "Plain "}, {"text": "red", "color": "#FF0000", "size": 70, "shadow": false,
                "plate": {"radius": 30, "color": "#FFD000"}},
               {"text": "\n"}, {"text": "second", "border": {"enabled": false}, "fill": false, "lang": "sr"}],
     "at": [40, 50.5], "width": 900, "rotate": -7.5, "effect": "PATH_FADE", "progress": 0.25, "mask": "mask.png",
     "paragraphs": [{"align": "left"}, {"align": 4, "lineSpace": 9}],
     "keys": [{"time": 0, "effect": "PATH_SLIDEUP", "progress": 0}, {"time": 1.25, "effect": "PATH_SLIDEUP"},
              {"time": 4.2, "effect": "PATH_WIPELEFT", "progress": 0.5}],
     "plate": [{"per": "line", "padding": [10, 4], "radius": 6, "color": ["#10203040", "#405060"], "gradient": 5,
                "across": "string", "border": {"size": 1.5, "color": "#FFFFFF80"},
                "shadow": {"offset": [3, 3], "blur": 2, "color": "#00000060"},
                "reveal": {"type": "grow", "from": "center", "start": 0.5, "length": 1, "hideStart": 4,
                           "hideLength": 0.5}},
               {"per": "word", "chars": [0, 5]}],
     "across": "line"},
    {"text": "縦書き", "style": {"font": "Droid Sans Fallback", "bold": false}, "vertical": true,
     "anchor": "top-right", "margin": [30, 20]},
    {"text": ""}
  ]
})";

std::string Document(qel::ITitleHost& host) {
    std::string bytes;
    Expected<std::string> document = TitleDocument(host);
    EXPECT_TRUE(document) << document.Message();
    if (document) bytes = *document;
    return bytes;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(TitleJson, ExportThenBuildGivesTheSameTitle) {
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    struct Case {
        const char* name;
        bool fromJson;
        std::string source;
    } cases[] = {{"every field", true, kEveryField}, {"demo title", false, ReadFile(QEL_DEMO_TITLE)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TitleExtras extras;
        std::vector<std::string> warnings;
        if (c.fromJson)
            ASSERT_TRUE(BuildTitleFromJson(*host, c.source, "t.json", extras, warnings, error)) << error;
        else
            ASSERT_TRUE(LoadTitleText(*host, c.source, "demo"));
        const std::string original = Document(*host);
        std::string json;
        ASSERT_TRUE(ExportTitleToJson(*host, extras, json, error)) << error;
        TitleExtras again;
        ASSERT_TRUE(BuildTitleFromJson(*host, json, "exported.json", again, warnings, error)) << error << "\n" << json;
        EXPECT_TRUE(Document(*host) == original) << json;
        std::string json2;
        ASSERT_TRUE(ExportTitleToJson(*host, again, json2, error));
        EXPECT_EQ(json2, json);
    }
    // The fields arrived where they belong: alpha of the face, seconds of the key frames.
    qel::MetaFace face{};
    TitleExtras extras;
    std::vector<std::string> warnings;
    ASSERT_TRUE(BuildTitleFromJson(*host, kEveryField, "t.json", extras, warnings, error));
    host->GetCharFace(0, 0, &face);
    EXPECT_EQ(face.Alpha, 0x80u);
    EXPECT_EQ(face.GradType, 3);
    float key = 0;
    qel::PathValue value{};
    host->GetFirstKeyFrame(0, &key, &value);
    host->GetNextKeyFrame(0, &key, &value);
    EXPECT_FLOAT_EQ(key, 0.25f);
}

TEST(TitleJson, MistakesNameLineColumnAndField) {
    const struct {
        const char* json;
        const char* error;
    } cases[] = {
        {"{\"strings\": [\n  {\"text\": \"a\",\n   \"style\": {\"size\": \"big\"}}]}", "t.json:3:22: strings[0].style.size: expected a number"},
        {"{\"strings\": [{\"text\": \"a\", \"colour\": \"#FFFFFF\"}]}", "t.json:1:38: strings[0].colour: unknown field"},
        {"{\"strings\": [{\"text\": \"a\"}, {\"spans\": [{\"text\": \"b\", \"color\": \"red\"}]}]}",
         "t.json:1:63: strings[1].spans[0].color: expected a colour #RRGGBB or #RRGGBBAA"},
        {"{\"length\": 2, \"strings\": [{\"text\": \"a\", \"keys\": [{\"time\": 3, \"effect\": \"PATH_FADE\"}]}]}",
         "t.json:1:59: strings[0].keys[0].time: expected a number from 0 to 2"},
        {"{\"strings\": [{\"text\": \"a\"}]", "t.json:1:28: syntax error"},
        {"{\"strings\": [{\"text\": \"a\", \"spans\": []}]}", "t.json:1:14: strings[0]: a string has either"},
        {"{\"strings\": [{\"text\": \"a\", \"style\": {\"size\": 1e999}}]}", "t.json:1:46: number overflow"},
    };
    std::string error;
    HostPtr host = std::move(*NewHost());
    ASSERT_TRUE(host);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        TitleExtras extras;
        std::vector<std::string> warnings;
        EXPECT_FALSE(BuildTitleFromJson(*host, c.json, "t.json", extras, warnings, error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_EQ(host->GetStringCount(), 0);
    }
}

}  // namespace
}  // namespace qeltitle
