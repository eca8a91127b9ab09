// Borders and blurs wider than the library draws (kMaxStylePixels frame pixels): the library
// draws them at that width, and the tool says so rather than let a picture differ silently from
// what was asked.
#pragma once

#include <string>
#include <vector>

#include "qel/QEL_Title2.h"

namespace qeltitle {

// One warning for the widest border and one for the widest blur of string `row` (every string
// when -1) that pass the library's limit at `scale` frame pixels per layout unit, each naming
// the width asked for and the width drawn; none when everything is within it.
std::vector<std::string> StyleLimitWarnings(qel::ITitleHost& host, int row, float scale);

}  // namespace qeltitle
