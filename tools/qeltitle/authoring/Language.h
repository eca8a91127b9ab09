// The language of a text (a BCP 47 tag: "ja", "zh-Hans", "zh-Hant", "ko", "th", "ar"): the face
// that writes it, found through fontconfig's language matching, and the language a subtitle file
// says it is in.
#pragma once

#include <string>
#include <string_view>

namespace qeltitle {

// The family fontconfig chooses for `tag` among the installed faces that cover the language (a
// sans-serif one where it can), or empty when none does or the tag is not a language.
std::string FaceForLanguage(const std::string& tag);

// The language of a subtitle file: WebVTT's "Language:" header, else a tag before the file name's
// extension ("talk.ja.srt", "talk.zh-Hant.vtt"); empty when neither says.
std::string SubtitleLanguage(std::string_view bytes, const std::string& path);

}  // namespace qeltitle
