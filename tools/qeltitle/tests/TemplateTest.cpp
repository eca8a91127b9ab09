// Templates filled from data: CSV as RFC 4180 writes it, fields found and filled, values made
// safe as file names, and a filled title's refusals and fitting, each naming the field.
#include <gtest/gtest.h>

#include "authoring/DataRows.h"
#include "authoring/KeyFrames.h"
#include "authoring/LowerThird.h"
#include "authoring/StyledString.h"
#include "authoring/Template.h"
#include "player/TitlePlayer.h"

namespace qeltitle {
namespace {

TEST(DataRows, CsvAsSpreadsheetsWriteIt) {
    // A byte-order mark, CR LF, quoted commas, doubled quotes, a line break inside quotes, an
    // empty cell, a blank last line.
    const Expected<DataTable> t = ReadCsv("\xEF\xBB\xBF name , role\r\n\"Smith, J\",\"say \"\"hi\"\"\"\r\n"
                                          "\"two\r\nlines\",\r\nshort\r\n\r\n", "t.csv");
    ASSERT_TRUE(t) << t.Message();
    ASSERT_EQ(t->columns, (std::vector<std::string>{"name", "role"}));
    ASSERT_EQ(t->rows.size(), 3u);
    EXPECT_EQ(*t->rows[0].Find("name"), "Smith, J");
    EXPECT_EQ(*t->rows[0].Find("role"), "say \"hi\"");
    EXPECT_EQ(*t->rows[1].Find("name"), "two\nlines");
    EXPECT_EQ(*t->rows[1].Find("role"), "");
    EXPECT_EQ(t->rows[2].Where(), "row 3 (line 5)");  // the quoted line break counted
    EXPECT_NE(t->rows[2].problem.find("1 cells where the header has 2"), std::string::npos);
}

TEST(DataRows, BrokenTablesNameTheirPlace) {
    const struct {
        const char* bytes;
        const char* message;
    } cases[] = {
        {"name\n\"open\nx\n", "t.csv:2: a quoted cell is not closed"},
        {"name,name\n", "column 'name' is named twice"},
        {"name,,role\n", "column 2 has no name"},
        {"", "no header row"},
        {"\xFF\xFEn\0", "UTF-16"},
    };
    for (const auto& c : cases) {
        const Expected<DataTable> t = ReadCsv(c.bytes, "t.csv");
        EXPECT_FALSE(t) << c.bytes;
        EXPECT_NE(t.Message().find(c.message), std::string::npos) << t.Message();
    }
    const Expected<DataTable> j = ReadDataJson(R"([{"name": "A", "n": 2, "gone": null}, [1], {"name": {}}])", "t.json");
    ASSERT_TRUE(j);
    EXPECT_EQ(*j->rows[0].Find("n"), "2");
    EXPECT_EQ(j->rows[0].Find("gone"), nullptr);
    EXPECT_EQ(j->rows[1].problem, "expected an object of fields");
    EXPECT_EQ(j->rows[2].problem, "field name: expected text, a number or true/false");
}

TEST(DataRows, ValuesMakeSafeFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"../../etc/passwd", "_.._etc_passwd"}, {" .hidden. ", "hidden"}, {"...", ""}, {"a%d{b}", "a_d_b_"},
        {"Zoë Ångström", "Zoë Ångström"},      {"tab\there", "tab_here"},
    };
    for (const auto& [value, name] : cases) EXPECT_EQ(FileNamePart(value), name) << value;
    // Cut at a character's start: 'é' is two bytes, 61 of them are 122.
    std::string accents;
    for (int i = 0; i < 61; ++i) accents += "é";
    EXPECT_EQ(FileNamePart(accents).size(), 120u);
    EXPECT_EQ(*OutputName("out/{name}-{n}.mov", {{"name", "a/b"}, {"n", "2"}}), "out/a_b-2.mov");
    EXPECT_EQ(OutputName("out/{name}.mov", {{"name", " .. "}}).Message(), "field name: ' .. ' gives an empty file name");
    EXPECT_FALSE(OutputFields("out/{name.mov"));
    EXPECT_EQ(*ParseRowRange("3:"), (RowRange{3, 0x7fffffff}));
    EXPECT_FALSE(ParseRowRange("5:2"));
}

TEST(Template, FieldsFoundAndFilled) {
    EXPECT_EQ(*FieldsIn("{{ name }}, {{role}} and {{name}}"), (std::vector<std::string>{"name", "role"}));
    for (const char* bad : {"{{name", "name}}", "{{}}"}) EXPECT_FALSE(FieldsIn(bad)) << bad;
    std::string out, missing;
    // One pass: a value holding braces is not filled again.
    EXPECT_TRUE(FillFields("{{a}}-{{ b }}", {{"a", "{{b}}"}, {"b", "x"}}, out, missing));
    EXPECT_EQ(out, "{{b}}-x");
    EXPECT_FALSE(FillFields("{{a}} {{c}}", {{"a", "1"}}, out, missing));
    EXPECT_EQ(missing, "c");
}

constexpr const char* kLowerThird = R"({"style": {"size": 60, "color": "{{accent}}"},
  "strings": [{"text": "{{name}}", "anchor": "bottom-left", "margin": [100, 80]}, {"text": "fixed"}]})";

TEST(Template, RefusalsNameTheField) {
    const Expected<TitleTemplate> t = TitleTemplate::FromJson(kLowerThird, "t.json");
    ASSERT_TRUE(t) << t.Message();
    EXPECT_EQ(t->Fields(), (std::vector<std::string>{"accent", "name"}));
    const std::pair<FieldValues, const char*> cases[] = {
        {{{"accent", "#FF0000"}}, "field name: missing"},
        {{{"accent", "#FF0000"}, {"name", "bell\a"}}, "field name: holds a control character (U+0007)"},
        {{{"accent", "#FF0000"}, {"name", "\xC3("}}, "field name: is not UTF-8 text"},
        {{{"accent", "red"}, {"name", "A"}}, "field accent: style.color: expected a colour"},
    };
    for (const auto& [values, message] : cases) {
        const Expected<FilledTitle> filled = t->Fill(values, FitRule::Shrink);
        EXPECT_FALSE(filled) << message;
        EXPECT_EQ(filled.Message().rfind(message, 0), 0u) << filled.Message();
    }
    EXPECT_FALSE(TitleTemplate::FromJson(R"({"strings": [{"text": "none"}]})", "t.json"));
}

TEST(Template, LongValuesShrinkToTheDesignOrFail) {
    const Expected<TitleTemplate> t = TitleTemplate::FromJson(kLowerThird, "t.json");
    ASSERT_TRUE(t);
    const std::string longName(50, 'W');  // about 2970 units at size 60
    const FieldValues values = {{"accent", "#FFFFFF"}, {"name", longName}};
    Expected<FilledTitle> shrunk = t->Fill(values, FitRule::Shrink);
    ASSERT_TRUE(shrunk) << shrunk.Message();
    const Extent e = MeasureString(*shrunk->host, 0);
    EXPECT_GE(e.left, 99.0f);
    EXPECT_LE(e.right, 1920.0f - 100.0f);  // inside both margins
    EXPECT_GT(e.right, 1920.0f - 140.0f);  // and not shrunk further than needed
    ASSERT_EQ(shrunk->warnings.size(), 1u);
    EXPECT_EQ(shrunk->warnings[0].rfind("field name: string 0 set at ", 0), 0u) << shrunk->warnings[0];
    EXPECT_EQ(t->Fill(values, FitRule::Fail).Message().rfind("field name: too long for the design", 0), 0u);
    EXPECT_NE(t->Fill({{"accent", "#FFFFFF"}, {"name", std::string(200, 'W')}}, FitRule::Shrink)
                  .Message()
                  .find("less than half its size"),
              std::string::npos);
    EXPECT_TRUE(t->Fill(values, FitRule::Off));
}

TEST(LowerThird, ThePairIsOneBlockPlacedForTheFrame) {
    const struct {
        DesignFrame frame;
        Anchor anchor;
        LowerThirdStyle style;
    } cases[] = {
        {{1920, 1080}, {0, 2}, LowerThirdStyle::Clean},
        {{1080, 1920}, {0, 2}, LowerThirdStyle::News},
        {{1920, 1080}, {2, 2}, LowerThirdStyle::Bold},
    };
    for (const auto& c : cases) {
        LowerThirdSpec spec;
        spec.frame = c.frame;
        spec.anchor = c.anchor;
        spec.style = c.style;
        const Expected<TitleTemplate> t = TitleTemplate::FromJson(LowerThirdTemplate(spec).dump(), "lt");
        ASSERT_TRUE(t) << t.Message();
        Expected<FilledTitle> title = t->Fill({{"name", "Jane Doe"}, {"role", "Reporter, Lagos"}}, FitRule::Fail);
        ASSERT_TRUE(title) << title.Message();
        qel::ITitleHost& host = *title->host;
        ASSERT_EQ(host.GetStringCount(), 1);
        ASSERT_EQ(host.GetLineCount(0), 2);
        // The block at its anchor, the margins' distance from the frame's edges.
        const Margin m = DefaultMargin(c.frame);
        const Extent e = MeasureString(host, 0);
        const float W = static_cast<float>(c.frame.width), H = static_cast<float>(c.frame.height);
        EXPECT_NEAR(c.anchor.x == 0 ? e.left : W - e.right, m.x, 1.5f);
        EXPECT_NEAR(H - e.bottom, m.y, 1.5f);
        // The role, smaller, under the name and aligned on the anchored side.
        qel::RectF name{}, role{};
        host.GetLineRect(0, 0, &name);
        host.GetLineRect(0, 1, &role);
        EXPECT_GT(role.y, name.y + name.height * 0.9f);
        EXPECT_GT(name.height, role.height * 1.3f);
        if (c.anchor.x == 0)
            EXPECT_NEAR(name.x, role.x, 1.5f);
        else
            EXPECT_NEAR(name.x + name.width, role.x + role.width, 1.5f);
    }
    // Portrait sets the block higher, clear of the apps' buttons; the name stays readable.
    EXPECT_GE(DefaultMargin({1080, 1920}).y, 1920 * 0.19f);
    EXPECT_EQ(DefaultNameSize({1080, 1920}), 70.0f);
    EXPECT_EQ(DefaultNameSize({1920, 1080}), 65.0f);
}

TEST(LowerThird, NewsBarsStandBehindTheNameAtRest) {
    LowerThirdSpec spec;
    spec.style = LowerThirdStyle::News;
    spec.accent = "#E02818";
    Expected<FilledTitle> title = TitleTemplate::FromJson(LowerThirdTemplate(spec).dump(), "lt")
                                      ->Fill({{"name", "Jane Doe"}, {"role", "Reporter"}}, FitRule::Fail);
    ASSERT_TRUE(title) << title.Message();
    const Extent e = MeasureString(*title->host, 0);
    // The block's extent holds the bars: inside the name bar's padding, left of the first letter,
    // its blue, opaque. The bar wipes away at the end of the title; a still at rest shows it
    // whole, as the text.
    const int x = static_cast<int>(e.left) + 10, y = static_cast<int>(e.top) + 30;
    TitlePlayer player(std::move(title->host), "lt", title->meta);
    PlayerFrame transparent;
    transparent.keepAlpha = true;
    ASSERT_TRUE(player.Place(transparent));
    for (const bool atRest : {false, true}) {
        std::string error;
        if (atRest) {
            ASSERT_TRUE(PoseAtRest(player.Host(), error)) << error;
        }
        const Image clear(1920, 1080);
        Image frame;
        ASSERT_TRUE(player.Draw(clear, atRest ? 1.0 : 0.5, frame));
        const uint8_t* p = frame.At(x, y);
        const int blue[4] = {0x9A, 0x4E, 0x1F, 255};  // #1F4E9A as B, G, R, A
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(p[c], blue[c], 2) << "channel " << c << (atRest ? " at rest" : " at 0.5");
        // The accent: a bar (0.12 of the name's size, about 8 units) just outside the name's bar.
        const uint8_t* a = frame.At(static_cast<int>(e.left) - 4, y);
        const int red[4] = {0x18, 0x28, 0xE0, 255};
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(a[c], red[c], 2) << "accent channel " << c;
        EXPECT_EQ(frame.At(static_cast<int>(e.left) - 12, y)[3], 0) << "the bar is thin";
    }
}

}  // namespace
}  // namespace qeltitle
