// The special family: per-character paths with a motion of their own.
//
//   NOEFFECT  the string simply switches on halfway (key frames give this path progress 1).
#include "effects/EffectFactories.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

class NoEffect final : public PathEffect {
public:
    int GetCharState(int32_t, int32_t i, float p, CharState* out) override {
        const CharBox* box = BoxAt(i);
        if (!box || !out) return Unanswered(out);
        *out = AtBox(*box, p > 0.5f ? 255 : 0);
        return 1;
    }
};

}  // namespace

PathEffect* NewNoEffect() { return new NoEffect(); }

}  // namespace qel
