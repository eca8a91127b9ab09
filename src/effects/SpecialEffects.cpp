// The special family: per-character paths with a motion of their own.
//
//   NOEFFECT  the string simply switches on halfway (key frames give this path progress 1).
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

class NoEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p) override {
        return AtBox(box, p > 0.5f ? 255 : 0);
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewNoEffect() { return std::make_unique<NoEffect>(); }

}  // namespace qel
