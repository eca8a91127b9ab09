// Where lines may break, by the Unicode line breaking rules through ICU: between words at spaces,
// inside Thai, Lao, Khmer and Burmese text by ICU's dictionaries (at word and syllable
// boundaries, never inside one), between CJK ideographs, and never before a CJK closing mark
// ("。", "，", "」") or after an opening one. Korean breaks at its spaces, between words, as its
// captions and books do. Lines are then filled from these breaks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qeltitle {

// A place a line may start: `at` is the index (UTF-16 code units) of its first character.
// `hard` marks a break the text demands (after a line feed or paragraph separator).
struct BreakOpportunity {
    size_t at = 0;
    bool hard = false;
};

// The opportunities of `text` after its start, in order; the last is at text.size(). `language`
// (BCP 47, e.g. "ja", "zh-Hant", "th"; empty: none) tunes the rules the way ICU does for it.
std::vector<BreakOpportunity> LineBreakOpportunities(std::u16string_view text, const std::string& language = {});

// True for a well-formed BCP 47 language tag ("ja", "zh-Hant", "pt-BR", "sr-Latn-RS").
bool IsLanguageTag(const std::string& tag);

// True for the characters a line drops at its end when it breaks there (spaces and tabs).
bool IsBreakSpace(char16_t c);

// Greedy filling: the indices where lines start (after the first) so that each line's width, the
// sum of `advances` of its characters without the spaces it ends with, is at most `width`. A
// piece between opportunities longer than a line stays whole on its own line. `advances` has one
// width per code unit of `text` (layout units).
std::vector<size_t> FillLines(std::u16string_view text, const std::vector<float>& advances, float width,
                              const std::vector<BreakOpportunity>& breaks);

// `text` with a line break (CR LF) at each of `starts` (indices where a line starts), the spaces
// before each break removed. `mapOut`, when given, receives for each index of `text` its index in
// the result (removed spaces map to where the break went), plus one entry for text.size().
std::u16string InsertLineBreaks(std::u16string_view text, const std::vector<size_t>& starts,
                                std::vector<size_t>* mapOut = nullptr);

}  // namespace qeltitle
