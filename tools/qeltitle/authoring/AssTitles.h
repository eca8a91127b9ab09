// SubStation scripts drawn as titles, placed as players (libass) place them, and captions written
// out as a SubStation script.
//
// Each event becomes the titles of a string that holds its lines, each character in the look its
// override tags give it: the face named and sized as the script says (a SubStation size is the
// height of the font's ascent and descent, not its em), the primary colour and alpha, the outline
// and the shadow in their colours, blur, spacing, stretching and turning. The string's box goes
// where players put the text's box: by the alignment at the margins, at \pos, along \move. Events
// of one layer shown together move apart as players move them (later ones up from the bottom, or
// down from the top and middle), positioned events excepted. Layout units are output pixels:
// the script's PlayResX x PlayResY is stretched onto the frame. An event is split into titles
// where what it shows changes during its time (a karaoke syllable sung, a frame of a \move);
// \fad and \fade are the opacity of key frames within them.
#pragma once

#include <string>
#include <vector>

#include "authoring/Ass.h"
#include "authoring/Captions.h"

namespace qeltitle {

// The titles of `script`'s events for a `width` x `height` frame at `fps`, drawn at scale 1, in
// the order they are drawn (by layer, then as the file gives them). Warnings name an event by
// its line in `name`.
Status MakeAssTitles(const AssScript& script, const std::string& name, int width, int height, double fps,
                     std::vector<CaptionTitle>& out, std::vector<std::string>& warnings);

// The events as cues, for drawing in a caption style or writing as WebVTT: their text with italic
// and bold, karaoke syllables as spoken times, their alignment, margins and \pos as cue settings.
std::vector<Cue> AssCues(const AssScript& script);
// Where an event stands as cue settings, in percent of the script's frame: \pos (or where \move
// starts) as line and position with the box's side and edge the alignment names; else the
// margins, an event at the bottom leaving its line to the caption style.
CuePlacement AssPlacement(const AssScript& script, const AssEvent& event);

// Cues in a caption style as a script for a `width` x `height` frame: one style from the caption
// style (face, size, colours, outline, shadow, alignment and margins), the lines the cues break,
// italic and bold, and word times as karaoke (\k: the text before its time in the secondary
// colour, which is the style's; the spoken word in the primary, which is the highlight's).
AssScript CaptionScript(qel::ITitleHost& host, const std::vector<Cue>& cues, const CaptionStyle& style, int width,
                        int height);

}  // namespace qeltitle
