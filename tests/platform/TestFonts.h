// Shared set-up of the platform tests: the fixed test fonts, and requests built from face names.
#pragma once

#include <cstdlib>
#include <string>

#include "model/Fonts.h"

namespace qel::test {

// Points fontconfig at the test configuration before its first use, unless the runner already did.
inline const bool kTestFontsConfigured = [] {
    setenv("FONTCONFIG_FILE", QEL_BINARY_DIR "/test-fonts.conf", 0);
    return true;
}();

inline FontSpec Spec(std::u16string_view face, float size = 24, bool bold = false, bool italic = false,
                     uint32_t charSet = 1) {
    FontSpec spec{};
    face.copy(spec.FaceName, 31);
    spec.CharSet = charSet;
    spec.Size = size;
    spec.Bold = bold;
    spec.Italic = italic;
    return spec;
}

inline LOGFONTW LogFont(std::u16string_view face, bool bold = false, bool italic = false) {
    return LogFontFromSpec(kDesignHeight, Spec(face, 24, bold, italic));
}

inline std::u16string FaceOf(const LOGFONTW& lf) { return lf.lfFaceName; }

}  // namespace qel::test
