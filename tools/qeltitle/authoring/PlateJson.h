// Plates behind text (the library's "qel.plates" extension) written as JSON, in titles and in
// caption styles:
//
//   "plate": {"per": "line", "padding": [24, 10], "radius": 12, "color": "#000000A0",
//             "border": {"size": 2, "color": "#FFFFFF"}, "shadow": {"offset": [4, 4], "blur": 6},
//             "reveal": {"type": "wipe", "from": "left", "start": 0, "length": 0.5}}
//
// Lengths are layout units like font sizes; reveal times are seconds when the title has a
// length, else title time (0 to 1). Every field is optional: "plate": {} is a translucent black
// box behind the whole string, and a field names only what differs from that.
#pragma once

#include <optional>

#include "authoring/JsonInput.h"
#include "qel/QEL_Title2.h"
#include "qel/qel_extensions.h"

namespace qeltitle {

// The library's plate functions, or null when the library has none.
const QelPlatesV1* PlatesExtension();

// What "plate": {} gives.
QelPlate DefaultPlate();

// The fields of `f` (an object) over `plate`; `length` is the title's in seconds, when it has one.
void ReadPlate(const JsonField& f, QelPlate& plate, const std::optional<double>& length);
// The fields that turn DefaultPlate() into `plate`, without the character range.
Json PlateJson(const QelPlate& plate, const std::optional<double>& length);

// "own", "line" or "string" (QEL_ACROSS_...).
uint32_t ReadAcross(const JsonField& f);
const char* AcrossName(uint32_t across);

// Sets the string's plates and gradient-across mode through the extension; false with `error`
// when the library has no plates or refuses one.
bool SetStringPlates(qel::ITitleHost& host, int row, const std::vector<QelPlate>& plates, uint32_t across,
                     std::string& error);

}  // namespace qeltitle
