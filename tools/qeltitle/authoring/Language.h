// The language of a text (a BCP 47 tag: "ja", "zh-Hans", "zh-Hant", "ko", "th", "ar"): the face
// that writes it, found through fontconfig's language matching, and the language a subtitle file
// says it is in.
#pragma once

#include <string>
#include <string_view>

#include "qel/QEL_Title2.h"

namespace qeltitle {

// Sets the language string `row` is shaped in (none when empty) and its even lines through the
// library's text extension. False with a message when the library lacks it or refuses.
bool SetStringText(qel::ITitleHost& host, int row, const std::string& language, bool evenLines, std::string& error);
// The language and even lines of string `row` as the library holds them (empty, false without
// the extension).
std::string StringLanguage(qel::ITitleHost& host, int row);
// The language that new text and ApplyFont give their characters (a run's own, over the
// string's; empty: none), and the one character `col` of string `row` has (empty: none, or a
// library without runs in languages). A library without them ignores a language set.
void SetRunLanguage(qel::ITitleHost& host, const std::string& language);
std::string CharLanguage(qel::ITitleHost& host, int row, int col);
// Sets the even lines of every string of the title; false with a message as SetStringText.
bool SetTitleEvenLines(qel::ITitleHost& host, bool evenLines, std::string& error);
bool StringEvenLines(qel::ITitleHost& host, int row);

// The family fontconfig chooses for `tag` among the installed faces that cover the language (a
// sans-serif one where it can), or empty when none does or the tag is not a language.
std::string FaceForLanguage(const std::string& tag);

// The language of a subtitle file: WebVTT's "Language:" header, else a tag before the file name's
// extension ("talk.ja.srt", "talk.zh-Hant.vtt"); empty when neither says.
std::string SubtitleLanguage(std::string_view bytes, const std::string& path);

}  // namespace qeltitle
