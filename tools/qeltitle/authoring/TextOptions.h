// The command line of `text`, read into options without touching the library or any file, so
// that every good and bad command line can be checked on its own. Effect names are checked later
// against the library's catalogue.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "authoring/StyledString.h"

namespace qeltitle {

struct TextOptions {
    std::u16string text;  // paragraph breaks expanded (ExpandTitleText)
    std::string output;
    bool append = false;
    StringStyle style;
    std::string effect;  // empty: no animation
    std::string then;    // empty: `effect` alone
    // Timing in seconds: the title's length, and the entrance and exit of the string in it.
    std::optional<double> length, in, out;
    bool frameGiven = false;  // --frame was given (else style.frame is the default)
    // --fit-to: true "output", false "design"; unset: output for a new title with an --anchor
    // other than center, else what the title had (design for a new one).
    std::optional<bool> fitOutput;
    // --even-lines: the new string's even lines (on unless given), and with --append, when given,
    // every string's of the title (titles made before lines were even lack them).
    std::optional<bool> evenLines;
};

// The entrance and exit when --length is given without them: a second each, at most 40% of it.
double DefaultTransition(double length);

enum class ParseOutcome { Run, Help, BadUsage };

// Run: `out` is filled. Help: `message` is the help text. BadUsage: `message` says what is wrong,
// naming the option.
ParseOutcome ParseTextOptions(const std::vector<std::string>& args, TextOptions& out, std::string& message);

}  // namespace qeltitle
