// Speech recognisers' word lists: the four formats give the same captions with each word at its
// time, drawn when it is spoken; lists that are not word lists are refused at their place.
#include <gtest/gtest.h>

#include "authoring/Captions.h"
#include "authoring/WordLists.h"
#include "player/TitlePlayer.h"

namespace qeltitle {
namespace {

// "Hello there. How are you?" as each recogniser writes it; whisperX could not align "are".
const struct {
    WordListFormat format;
    const char* json;
} kLists[] = {
    {WordListFormat::Whisper,
     R"({"text": " Hello there. How are you?", "segments": [{"id": 0, "start": 0.0, "end": 2.5, "words": [
        {"word": " Hello", "start": 0.0, "end": 0.4, "probability": 0.9}, {"word": " there.", "start": 0.5, "end": 0.9},
        {"word": " How", "start": 1.2, "end": 1.4}, {"word": " are", "start": 1.5, "end": 1.7},
        {"word": " you?", "start": 1.8, "end": 2.4}]}], "language": "en"})"},
    {WordListFormat::WhisperX,
     R"({"segments": [{"start": 0.0, "end": 2.5, "text": "Hello there. How are you?"}], "word_segments": [
        {"word": "Hello", "start": 0.0, "end": 0.4, "score": 0.9}, {"word": "there.", "start": 0.5, "end": 0.9},
        {"word": "How", "start": 1.2, "end": 1.5}, {"word": "are"}, {"word": "you?", "start": 1.8, "end": 2.4}]})"},
    {WordListFormat::WhisperCpp,
     R"({"systeminfo": "AVX = 1", "result": {"language": "en"}, "transcription": [{"offsets": {"from": 0, "to": 2500},
        "text": " Hello there. How are you?", "tokens": [
        {"text": "[_BEG_]", "offsets": {"from": 0, "to": 0}, "id": 50364},
        {"text": " Hel", "timestamps": {"from": "00:00:00,000", "to": "00:00:00,200"}, "id": 1},
        {"text": "lo", "offsets": {"from": 200, "to": 400}}, {"text": " there", "offsets": {"from": 500, "to": 850}},
        {"text": ".", "offsets": {"from": 850, "to": 900}}, {"text": " How", "offsets": {"from": 1200, "to": 1400}},
        {"text": " are", "offsets": {"from": 1500, "to": 1700}}, {"text": " you", "offsets": {"from": 1800, "to": 2300}},
        {"text": "?", "offsets": {"from": 2300, "to": 2400}}, {"text": "[_TT_125]", "offsets": {"from": 2500, "to": 2500}}]}]})"},
    {WordListFormat::Plain,
     R"([{"word": "Hello", "start": 0.0, "end": 0.4}, {"word": "there.", "start": 0.5, "end": 0.9},
        {"word": "How", "start": 1.2, "end": 1.4}, {"word": "are", "start": 1.5, "end": 1.7},
        {"word": "you?", "start": 1.8, "end": 2.4}])"},
};

// The light pixels of a caption title drawn at `seconds` on a 960x540 frame.
int InkAt(const CaptionTitle& t, double seconds, double fps) {
    Expected<TitlePlayer> player = TitlePlayer::FromDocument(t.document, "caption");
    if (!player || !player->Place(PlayerFrame{960, 540, 0.5f, true, 0})) return -1;
    Image frame;
    const int frames = t.last - t.first + 1;
    if (!player->Draw(Image(960, 540), (seconds * fps - t.first) / frames, frame)) return -1;
    int ink = 0;
    for (int y = 0; y < 540; ++y)
        for (int x = 0; x < 960; ++x) ink += frame.At(x, y)[3] > 128;
    return ink;
}

TEST(WordLists, FourFormatsGiveTheWordsAtTheirTimes) {
    HostPtr host = std::move(*NewHost());
    CaptionStyle style = DefaultCaptionStyle(*host);
    style.in = {};
    style.word = {"PATH_FADE", 0.04};
    for (const auto& list : kLists) {
        SCOPED_TRACE(WordListFormatName(list.format));
        Expected<WordList> read = ReadWordList(list.json, "w.json");
        ASSERT_TRUE(read) << read.Message();
        EXPECT_EQ(read->format, list.format);
        const WordSpacing spacing = list.format == WordListFormat::Whisper || list.format == WordListFormat::WhisperCpp
                                        ? WordSpacing::Own
                                        : WordSpacing::ByScript;
        const std::vector<Cue> captions = GroupWordCues(read->words, style, spacing);
        std::vector<std::string> texts;
        for (const Cue& c : captions) texts.push_back(c.Text());
        ASSERT_EQ(texts, (std::vector<std::string>{"Hello there.", "How are you?"}));  // a sentence ends a caption
        std::vector<double> times;
        for (const CuePiece& p : captions[1].pieces)
            if (p.text != " ") times.push_back(p.time);
        EXPECT_EQ(times, (std::vector<double>{1.2, 1.5, 1.8}));
        // Drawn: each word of the second caption adds ink once spoken, none before.
        std::vector<CaptionTitle> titles;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(MakeCaptionTitles(captions, style, 960, 540, 25, titles, warnings, error)) << error;
        ASSERT_EQ(titles.size(), 2u);
        for (double word : {1.5, 1.8}) {
            EXPECT_EQ(InkAt(titles[1], word - 0.08, 25), InkAt(titles[1], word - 0.04, 25)) << word;
            EXPECT_LT(InkAt(titles[1], word - 0.04, 25), InkAt(titles[1], word + 0.08, 25)) << word;
        }
    }
}

TEST(WordLists, WordsOfUnspacedScriptsJoinAndCaptionsKeepToTheirCharacters) {
    HostPtr host = std::move(*NewHost());
    CaptionStyle style = DefaultCaptionStyle(*host);
    style.phraseChars = 12;
    Expected<WordList> read = ReadWordList(
        R"([{"word": "今日", "start": 0, "end": 0.2}, {"word": "は", "start": 0.2, "end": 0.3},
            {"word": "OK", "start": 0.3, "end": 0.4}, {"word": "twelve", "start": 0.4, "end": 0.5},
            {"word": "chars", "start": 0.5, "end": 0.6}])",
        "ja.json");
    ASSERT_TRUE(read) << read.Message();
    std::vector<std::string> texts;
    for (const Cue& c : GroupWordCues(read->words, style, WordSpacing::ByScript)) texts.push_back(c.Text());
    EXPECT_EQ(texts, (std::vector<std::string>{"今日はOK twelve", "chars"}));
}

TEST(WordLists, WhatIsNotAWordListIsRefusedAtItsPlace) {
    const struct {
        const char* json;
        const char* error;
    } cases[] = {
        {R"({"foo": 1})", "w.json:1:1: (document): not a word list"},
        {R"([{"word": "a", "start": 1, "end": "x"}])", "w.json:1:35: [0].end: expected a time in seconds"},
        {"[\n  {\"word\": \"a\", \"start\": 2, \"end\": 1}]", "w.json:2:36: [0].end: the word ends before it starts"},
        {R"([{"word": "a", "start": -1, "end": 1}])", "w.json:1:25: [0].start: expected a number from 0"},
        {R"({"segments": [{"text": "hi"}]})", "w.json:1:15: segments[0]: a segment without word times"},
        {"[\n{\"word\": }]", "w.json:2:10: syntax error"},
        {"[\n  {\"word\": \"a\", \"start\": 1e999}]", "w.json:2:26: number overflow"},
        {R"({"transcription": [{"tokens": [{"text": " a", "timestamps": {"from": "00:00:0x,000", "to": "00:00:01,000"}}]}]})",
         "w.json:1:70: transcription[0].tokens[0].timestamps.from: bad time '00:00:0x,000'"},
        {R"({"word_segments": [{"word": "no"}, {"word": "times"}]})", "w.json:1:20: word_segments[0]: no word in the list has times"},
        {"[]", "w.json: the word list holds no words"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        Expected<WordList> read = ReadWordList(c.json, "w.json");
        ASSERT_FALSE(read);
        EXPECT_EQ(read.Message().rfind(c.error, 0), 0u) << read.Message();
    }
}

}  // namespace
}  // namespace qeltitle
