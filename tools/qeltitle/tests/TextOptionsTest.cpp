// The command line of `text` read into options, without running the command.
#include <gtest/gtest.h>

#include <sstream>

#include "authoring/TextOptions.h"

namespace qeltitle {
namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

TEST(TextOptions, GoodCommandLines) {
    const struct {
        std::string args;
        void (*check)(const TextOptions&);
    } cases[] = {
        {"Hi -o t.xml",
         [](const TextOptions& o) {
             EXPECT_EQ(o.text, u"Hi");
             EXPECT_EQ(o.output, "t.xml");
             EXPECT_FALSE(o.append);
             EXPECT_EQ(o.style.size, 72.0f);
             EXPECT_EQ(o.style.align, 6u);
             EXPECT_EQ(o.style.gradient, 0);
             EXPECT_FALSE(o.style.at);
             EXPECT_TRUE(o.effect.empty());
         }},
        {"--output=t.xml A\\nB --append --size 12.5 --bold --italic --vertical",
         [](const TextOptions& o) {
             EXPECT_EQ(o.text, u"A\r\nB");
             EXPECT_TRUE(o.append);
             EXPECT_EQ(o.style.size, 12.5f);
             EXPECT_TRUE(o.style.bold && o.style.italic && o.style.vertical);
         }},
        {"X -o t.xml --color #FF0000:#0000FF",
         [](const TextOptions& o) {
             EXPECT_EQ(o.style.color1, 0xFF0000u);
             EXPECT_EQ(o.style.color2, 0x0000FFu);
             EXPECT_EQ(o.style.gradient, 1);  // two colours make a gradient
         }},
        {"X -o t.xml --color #FF0000:#0000FF --gradient 0", [](const TextOptions& o) { EXPECT_EQ(o.style.gradient, 0); }},
        {"X -o t.xml --border 5 --shadow 2,-3:4:extrude:#102030 --align right --rotate -15 --at 10,20 --frame 640x360",
         [](const TextOptions& o) {
             ASSERT_TRUE(o.style.border && o.style.shadow && o.style.at);
             EXPECT_EQ(o.style.border->size, 5);
             EXPECT_EQ(o.style.shadow->dy, -3.0f);
             EXPECT_TRUE(o.style.shadow->extrude);
             EXPECT_EQ(o.style.align, 2u);
             EXPECT_EQ(o.style.rotate, -15.0f);
             EXPECT_EQ(o.style.at->second, 20.0f);
             EXPECT_EQ(o.style.frame.width, 640);
         }},
        {"X -o t.xml --effect PATH_SLIDEUP --then PATH_FADE --font DejaVu",
         [](const TextOptions& o) {
             EXPECT_EQ(o.effect, "PATH_SLIDEUP");
             EXPECT_EQ(o.then, "PATH_FADE");
             EXPECT_EQ(o.style.font, "DejaVu");
         }},
        // After "--" a text may start with a dash.
        {"-o t.xml -- -5", [](const TextOptions& o) { EXPECT_EQ(o.text, u"-5"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        TextOptions options;
        std::string message;
        ASSERT_EQ(ParseTextOptions(Words(c.args), options, message), ParseOutcome::Run) << message;
        c.check(options);
    }
}

TEST(TextOptions, BadCommandLinesSayWhatIsWrong) {
    const struct {
        std::string args;
        const char* message;
    } cases[] = {
        {"", "expected one TEXT argument"},
        {"A B -o t.xml", "expected one TEXT argument"},
        {"Hi", "missing -o TITLE.xml"},
        {"Hi -o", "option -o needs a value"},
        {"Hi --output= ", "-o: the file name is empty"},
        {"\\\\ -o t.xml --bogus", "unknown option --bogus"},
        {"Hi -o t.xml --size 0", "--size: number '0' out of range"},
        {"Hi -o t.xml --size big", "--size: bad number 'big'"},
        {"Hi -o t.xml --color red", "--color: bad colour 'red'"},
        {"Hi -o t.xml --color #FFFFFF:#000000:#FF0000", "--color: bad colours"},
        {"Hi -o t.xml --gradient 8", "--gradient: number '8' out of range"},
        {"Hi -o t.xml --border 3:#12", "--border: bad colour '#12'"},
        {"Hi -o t.xml --shadow 3", "--shadow: bad shadow '3'"},
        {"Hi -o t.xml --shadow 3,3:soft", "--shadow: bad shadow part 'soft'"},
        {"Hi -o t.xml --align middle", "--align: bad alignment 'middle'"},
        {"Hi -o t.xml --rotate 4000", "--rotate: number '4000' out of range"},
        {"Hi -o t.xml --at 10", "--at: bad position '10'"},
        {"Hi -o t.xml --frame 0x10", "--frame: bad size '0x10'"},
        {"Hi -o t.xml --then PATH_FADE", "--then needs --effect"},
        {"Hi -o t.xml --bold=yes", "option --bold takes no value"},
        {"Hi -o t.xml --length -4", "--length: bad time '-4': times cannot be negative"},
        {"Hi -o t.xml --length 0", "--length: a title lasts longer than 0 seconds"},
        {"Hi -o t.xml --length 4 --in 1", "--in and --out time an effect"},
        {"Hi -o t.xml --length 4 --in 3 --out 2 --effect PATH_FADE", "longer than --length"},
        {"Hi -o t.xml --at 1,1 --anchor top", "--at places the corner itself"},
        {"Hi -o t.xml --anchor middle", "--anchor: bad anchor 'middle'"},
        {"Hi -o t.xml --margin 1,2,3", "--margin: bad margin"},
        {"Hi -o t.xml --width 0", "--width: number '0' out of range"},
        {"Hi -o t.xml --color #FFFFFF80:#00000040", "--color: bad colours"},
        {"Hi -o t.xml --even-lines yes", "--even-lines: expected on or off, not 'yes'"},
    };
    for (const auto& c : cases) {
        TextOptions options;
        std::string message;
        EXPECT_EQ(ParseTextOptions(Words(c.args), options, message), ParseOutcome::BadUsage) << c.args;
        EXPECT_NE(message.find(c.message), std::string::npos) << c.args << "\nmessage: " << message;
    }
    // An empty text (only possible as a separate argument) is refused too.
    TextOptions options;
    std::string message;
    EXPECT_EQ(ParseTextOptions({"", "-o", "t.xml"}, options, message), ParseOutcome::BadUsage);
    EXPECT_EQ(message, "the text is empty");
}

TEST(TextOptions, HelpWinsOverErrorsAfterIt) {
    TextOptions options;
    std::string message;
    EXPECT_EQ(ParseTextOptions({"--help", "--bogus"}, options, message), ParseOutcome::Help);
    EXPECT_NE(message.find("--then PATH_..."), std::string::npos) << message;
}

}  // namespace
}  // namespace qeltitle
