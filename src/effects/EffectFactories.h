// The factories the catalogue's table points at: one per effect class. Each family unit defines
// its classes privately and exposes only these. A path whose family is not built yet points at
// NewPathEffect, the default behaviour (every character at its place, opaque).
#pragma once

#include <memory>

namespace qel {

class PathEffect;
using EffectFactory = std::unique_ptr<PathEffect> (*)();

std::unique_ptr<PathEffect> NewPathEffect();

// Slide family.
std::unique_ptr<PathEffect> NewSlideDown();
std::unique_ptr<PathEffect> NewSlideUp();
std::unique_ptr<PathEffect> NewSlideLeft();
std::unique_ptr<PathEffect> NewSlideRight();
std::unique_ptr<PathEffect> NewHideDown();
std::unique_ptr<PathEffect> NewHideUp();
std::unique_ptr<PathEffect> NewHideLeft();
std::unique_ptr<PathEffect> NewHideRight();
std::unique_ptr<PathEffect> NewSoloDown();
std::unique_ptr<PathEffect> NewSoloUp();
std::unique_ptr<PathEffect> NewSoloLeft();
std::unique_ptr<PathEffect> NewSoloRight();
std::unique_ptr<PathEffect> NewTranceDown();
std::unique_ptr<PathEffect> NewTranceUp();
std::unique_ptr<PathEffect> NewTranceLeft();
std::unique_ptr<PathEffect> NewTranceRight();
std::unique_ptr<PathEffect> NewAssembly();

// Pop-up family.
std::unique_ptr<PathEffect> NewPopup1();
std::unique_ptr<PathEffect> NewPopup2();
std::unique_ptr<PathEffect> NewPopup3();
std::unique_ptr<PathEffect> NewMagnets1();
std::unique_ptr<PathEffect> NewMagnets2();
std::unique_ptr<PathEffect> NewDoubleVisionH();
std::unique_ptr<PathEffect> NewDoubleVisionV();
std::unique_ptr<PathEffect> NewGlitter();
std::unique_ptr<PathEffect> NewTwinkle();

// Fly family.
std::unique_ptr<PathEffect> NewMarch();
std::unique_ptr<PathEffect> NewSpiral();
std::unique_ptr<PathEffect> NewSwarmLeft();
std::unique_ptr<PathEffect> NewSwarmRight();
std::unique_ptr<PathEffect> NewRollerCoasterLeft();
std::unique_ptr<PathEffect> NewRollerCoasterRight();
std::unique_ptr<PathEffect> NewWave();
std::unique_ptr<PathEffect> NewWindshieldLeft();
std::unique_ptr<PathEffect> NewWindshieldRight();

// Wipe family.
std::unique_ptr<PathEffect> NewWipeDown();
std::unique_ptr<PathEffect> NewWipeUp();
std::unique_ptr<PathEffect> NewWipeLeft();
std::unique_ptr<PathEffect> NewWipeRight();
std::unique_ptr<PathEffect> NewAmplifyH();
std::unique_ptr<PathEffect> NewAmplifyV();
std::unique_ptr<PathEffect> NewFade();

// Rotate family.
std::unique_ptr<PathEffect> NewRollingLeft();
std::unique_ptr<PathEffect> NewRollingRight();
std::unique_ptr<PathEffect> NewRotateCCW();
std::unique_ptr<PathEffect> NewRotateCW();
std::unique_ptr<PathEffect> NewTranceCCW();
std::unique_ptr<PathEffect> NewTranceCW();
std::unique_ptr<PathEffect> NewSwirl();
std::unique_ptr<PathEffect> NewRotateInwards();
std::unique_ptr<PathEffect> NewRotateOutwards();

// Roll and crawl family.
std::unique_ptr<PathEffect> NewScrollUp();
std::unique_ptr<PathEffect> NewScrollDown();
std::unique_ptr<PathEffect> NewScrollLeft();
std::unique_ptr<PathEffect> NewScrollRight();
std::unique_ptr<PathEffect> NewScrollNResize();

// Whole-image family.
std::unique_ptr<PathEffect> NewBlurLeft();
std::unique_ptr<PathEffect> NewBlurRight();
std::unique_ptr<PathEffect> NewGlow();
std::unique_ptr<PathEffect> NewPerspectiveScroll();

// Special family.
std::unique_ptr<PathEffect> NewNoEffect();
std::unique_ptr<PathEffect> NewFlocking();
std::unique_ptr<PathEffect> NewIcicles();
std::unique_ptr<PathEffect> NewTranceCenter();
std::unique_ptr<PathEffect> NewUnite();
std::unique_ptr<PathEffect> NewFlip();

}  // namespace qel
