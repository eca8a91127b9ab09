// Word lists from speech recognition read into cues of one word each, with the word's times.
//
// Four shapes of JSON are read, told apart by their members: Whisper's (`segments[].words[]` with
// `word`, `start` and `end` in seconds), whisperX's (`word_segments[]`, the same fields; a word it
// could not align, such as a number, has no times and takes them from its neighbours),
// whisper.cpp's full output (`-ojf`: `transcription[].tokens[]` with `offsets` in milliseconds;
// special tokens such as [_BEG_] are skipped and the pieces of a word, which do not start with a
// space, are joined), and a plain array of `{"word", "start", "end"}`. A word keeps the space
// before it, so that words of languages written without spaces join up again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "authoring/Subtitles.h"
#include "player/Result.h"

namespace qeltitle {

enum class WordListFormat { Whisper, WhisperX, WhisperCpp, Plain };

struct WordList {
    WordListFormat format = WordListFormat::Plain;
    std::vector<Cue> words;  // one per word, in the order spoken; text with its leading space
};

// True when `bytes` hold JSON (an object or an array) rather than subtitle text.
bool LooksLikeJson(std::string_view bytes);

// Reads the word list in `bytes` (the contents of the file `name`). A refusal names the file, the
// line and column, the field and the reason: "talk.json:12:18: segments[0].words[3].end: the word
// ends before it starts".
Expected<WordList> ReadWordList(std::string_view bytes, const std::string& name);

const char* WordListFormatName(WordListFormat format);

}  // namespace qeltitle
