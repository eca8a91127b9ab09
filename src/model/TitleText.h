// What the text of a string is written in: its language tag's form.
#pragma once

#include <string_view>

#include "qel/qel_extensions.h"

namespace qel {

// Whether a stored or given language tag has the form of one (BCP 47's letters, digits and
// hyphens, starting with a letter, at most QEL_MAX_LANGUAGE bytes); empty is valid (none).
bool LanguageTagValid(std::string_view tag);

}  // namespace qel
