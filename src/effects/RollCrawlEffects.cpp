// The roll and crawl family: the whole string is carried through the frame at constant speed.
// Unlike every other family it does not come to rest: at p = 0 the string stands just outside
// one edge of the frame and at p = 1 it has left past the opposite edge.
//
//   SCROLLUP/DOWN     rolls, along y
//   SCROLLLEFT/RIGHT  crawls, along x
//   SCROLLNRESIZE     a roll that shrinks each line towards the frame's centre line and fades it
//                     out once it has passed the string's top edge. It is created by the
//                     catalogue but never offered and has no drawing passes, so the compositor
//                     draws none of its characters; it answers when asked directly.
//
// The edges are the frame bounds in string space, so a turned string also enters and leaves
// just outside the visible frame, and the string's own edges are those of what it draws (its
// borders and shadows reach past its characters' boxes).
#include <memory>

#include "effects/EffectFactories.h"
#include "effects/EffectMath.h"
#include "effects/PathEffect.h"

namespace qel {

namespace {

enum class Travel { Up, Down, Left, Right };

template <Travel kTravel>
class ScrollEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        if (p <= 0) return AtBox(box, 0);
        CharState state = AtBox(box, 255);
        // The string's edges are those of what it draws at rest, border, shadow, blur and
        // extrusion included, so that nothing of it is in the frame when the path starts or
        // once it has left.
        const EffectRect& s = drawnAtRest;
        switch (kTravel) {
        case Travel::Up:  // string top on the frame's bottom edge -> string bottom on its top edge
            state.y = box.y + (frameMaxY - s.top) - p * (frameMaxY - frameMinY + s.height);
            break;
        case Travel::Down:  // string bottom on the top edge -> string top on the bottom edge
            state.y = box.y - (s.top - frameMinY + s.height) + p * (s.height + frameMaxY - frameMinY);
            break;
        // The crawls are worked out in double and rounded once.
        case Travel::Left:  // string left edge on the frame's right edge -> right edge on its left
            state.x = static_cast<float>(double(box.x) + (double(frameMaxX) - s.left) -
                                         double(p) * (double(frameMaxX) - frameMinX + s.width));
            break;
        case Travel::Right:  // string right edge on the left edge -> left edge on the right edge
            state.x = static_cast<float>(double(box.x) - (double(s.left) - frameMinX + s.width) +
                                         double(p) * (double(s.width) + frameMaxX - frameMinX));
            break;
        }
        return state;
    }
};

class ScrollNResizeEffect final : public PathEffect {
public:
    CharState CharAt(int32_t, int32_t, const CharBox& box, float p, EffectRandom&) const override {
        // The roll distance s runs from 0 to the string's bottom edge A; b is the box's offset
        // below the string's top edge, which it crosses when s reaches b.
        const float bottom = stringTop + stringHeight;
        const float s = bottom * p;
        const float b = box.y - stringTop;
        float d = 1.0f;
        uint8_t alpha = 0;
        if (!(b > s)) {
            const float over = s - b;  // how far past the top edge
            // A string whose bottom edge lies on the frame's top edge does not roll: nothing to
            // shrink by (the ratio would divide by zero).
            if (bottom != 0) d = 1.0f - over / bottom;
            if (d < 0.75f) {
                alpha = TruncAlpha((d - 0.25f) * 510.0f);  // fading out from d = 0.75 to 0.25
            } else {
                // Fading in over its own height; a box without height keeps the undivided
                // distance, which the saturation turns into in or out.
                alpha = CoverageAlpha(box.height > 0 ? over / box.height : over);
            }
        }
        CharState state;
        state.x = box.x + (float(frameWidth) * 0.5f - box.x) * (1.0f - d);
        state.y = box.y - s;
        state.scaleX = state.scaleY = d;
        state.angle = 0;
        state.alpha = alpha;
        return state;
    }
};

}  // namespace

std::unique_ptr<PathEffect> NewScrollUp() { return std::make_unique<ScrollEffect<Travel::Up>>(); }
std::unique_ptr<PathEffect> NewScrollDown() { return std::make_unique<ScrollEffect<Travel::Down>>(); }
std::unique_ptr<PathEffect> NewScrollLeft() { return std::make_unique<ScrollEffect<Travel::Left>>(); }
std::unique_ptr<PathEffect> NewScrollRight() { return std::make_unique<ScrollEffect<Travel::Right>>(); }
std::unique_ptr<PathEffect> NewScrollNResize() { return std::make_unique<ScrollNResizeEffect>(); }

}  // namespace qel
