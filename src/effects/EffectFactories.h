// The factories the catalogue's table points at: one per effect class. Each family unit defines
// its classes privately and exposes only these. A path whose family is not built yet points at
// NewPathEffect, the default behaviour (every character at its place, opaque).
#pragma once

namespace qel {

class PathEffect;
using EffectFactory = PathEffect* (*)();

PathEffect* NewPathEffect();

// Slide family.
PathEffect* NewSlideDown();
PathEffect* NewSlideUp();
PathEffect* NewSlideLeft();
PathEffect* NewSlideRight();
PathEffect* NewHideDown();
PathEffect* NewHideUp();
PathEffect* NewHideLeft();
PathEffect* NewHideRight();
PathEffect* NewSoloDown();
PathEffect* NewSoloUp();
PathEffect* NewSoloLeft();
PathEffect* NewSoloRight();
PathEffect* NewTranceDown();
PathEffect* NewTranceUp();
PathEffect* NewTranceLeft();
PathEffect* NewTranceRight();
PathEffect* NewAssembly();

// Wipe family.
PathEffect* NewWipeDown();
PathEffect* NewWipeUp();
PathEffect* NewWipeLeft();
PathEffect* NewWipeRight();
PathEffect* NewAmplifyH();
PathEffect* NewAmplifyV();
PathEffect* NewFade();

// Whole-image family.
PathEffect* NewBlurLeft();
PathEffect* NewBlurRight();
PathEffect* NewGlow();
PathEffect* NewPerspectiveScroll();

// Special family.
PathEffect* NewNoEffect();

}  // namespace qel
