#include "authoring/LowerThird.h"

#include <algorithm>
#include <cmath>

namespace qeltitle {

namespace {

// A look: colours, weights, the role's size and the plates behind the two lines.
struct Look {
    double roleScale;  // the role's size, of the name's
    bool nameBold, roleBold;
    const char* nameColor;
    const char* roleColor;
    const char* namePlate;  // fill of the plate behind the name (a whole-block plate for clean); null: none
    const char* rolePlate;
    const char* reveal;     // "effect" (the plate fades with the text), "wipe" or "grow"
    const char* entrance;   // the text's effect
};

Look LookOf(LowerThirdStyle style) {
    switch (style) {
        case LowerThirdStyle::News:
            return {0.62, true, false, "#FFFFFF", "#1A1A1A", "#1F4E9A", "#FFFFFF", "wipe", "PATH_FADE"};
        case LowerThirdStyle::Bold:
            return {0.55, true, true, "#111111", "#FFFFFF", "#FFD400", "#111111", "grow", "PATH_WIPERIGHT"};
        case LowerThirdStyle::Minimal:
            return {0.6, false, false, "#FFFFFF", "#FFFFFFCC", nullptr, nullptr, "effect", "PATH_FADE"};
        case LowerThirdStyle::Clean:
            break;
    }
    return {0.6, true, false, "#FFFFFF", "#E6E6E6", "#000000A0", nullptr, "effect", "PATH_FADE"};
}

// Layout units to a tenth, as a person writes them (65, not 65.0).
Json Round(double value) { return FloatJson(static_cast<float>(std::round(value * 10) / 10)); }
// Seconds to a hundredth.
Json Time(double seconds) { return FloatJson(static_cast<float>(std::round(seconds * 100) / 100)); }

const char* AnchorName(const Anchor& a) {
    static const char* const kNames[3][3] = {{"top-left", "top", "top-right"},
                                             {"left", "center", "right"},
                                             {"bottom-left", "bottom", "bottom-right"}};
    return kNames[a.y][a.x];
}

// Key frames in seconds: in over [start, end], out over [leave, gone].
Json Keys(const char* effect, double start, double end, double leave, double gone) {
    Json keys = Json::array();
    const auto key = [&](double time, int progress) {
        keys.push_back({{"time", Time(time)}, {"effect", effect}, {"progress", progress}});
    };
    key(0, 0);
    if (start > 0) key(start, 0);
    key(end, 1);
    key(leave, 1);
    key(gone, 0);
    return keys;
}

Json Plate(const char* color, double padX, double padY, double radius, const char* reveal, double start,
           double length, double hideStart, double hideLength) {
    Json plate = {{"padding", {Round(padX), Round(padY)}}, {"radius", Round(radius)}, {"color", color}};
    if (std::string_view(reveal) != "effect")
        plate["reveal"] = {{"type", reveal},           {"from", "left"},         {"start", Time(start)},
                           {"length", Time(length)}, {"hideStart", Time(hideStart)}, {"hideLength", Time(hideLength)}};
    return plate;
}

}  // namespace

Expected<LowerThirdStyle> ParseLowerThirdStyle(std::string_view text) {
    if (text == "clean") return LowerThirdStyle::Clean;
    if (text == "news") return LowerThirdStyle::News;
    if (text == "bold") return LowerThirdStyle::Bold;
    if (text == "minimal") return LowerThirdStyle::Minimal;
    return Failure("expected clean, news, bold or minimal (got '" + std::string(text) + "')");
}

bool HasNameBar(LowerThirdStyle style) {
    const Look look = LookOf(style);
    return look.namePlate && look.rolePlate;
}

float DefaultNameSize(const DesignFrame& frame) {
    // 64 units in 1920x1080; a portrait frame's short side is its width, read at arm's length.
    const bool portrait = frame.height > frame.width;
    const int shortSide = std::min(frame.width, frame.height);
    return static_cast<float>(std::round(shortSide * (portrait ? 0.065 : 0.06)));
}

Margin DefaultMargin(const DesignFrame& frame) {
    // Landscape: inside the title-safe area (a tenth in from each edge, less at the sides where
    // a lower third starts). Portrait: a fifth up from the bottom, clear of the apps' buttons.
    if (frame.height > frame.width)
        return {static_cast<float>(std::round(frame.width * 0.07)), static_cast<float>(std::round(frame.height * 0.2))};
    return {static_cast<float>(std::round(frame.width * 0.08)), static_cast<float>(std::round(frame.height * 0.1))};
}

Json LowerThirdTemplate(const LowerThirdSpec& spec) {
    const Look look = LookOf(spec.style);
    const double name = spec.nameSize.value_or(DefaultNameSize(spec.frame));
    const Json role = Round(name * look.roleScale);
    const Anchor anchor = spec.anchor.value_or(Anchor{0, 2});
    const Margin margin = spec.margin.value_or(DefaultMargin(spec.frame));
    const double length = spec.length;
    // Entrance and exit: at most 0.6 s each and a fifth of the title. A plate with a reveal of
    // its own comes first and goes last; the text fades in over it.
    const double in = std::min(0.6, length * 0.2), out = in;
    const bool ownReveal = std::string_view(look.reveal) != "effect";
    const double textStart = ownReveal ? in * 0.5 : 0, textGone = ownReveal ? length - out * 0.5 : length;

    Json style = {{"size", Round(name)}, {"bold", look.nameBold}, {"color", look.nameColor},
                  {"align", anchor.x == 0 ? "left" : anchor.x == 2 ? "right" : "center"}};
    if (!spec.font.empty()) style["font"] = spec.font;
    // Without a plate under it, the text needs a shadow to stand on any picture.
    if (!look.namePlate)
        style["shadow"] = {{"offset", {Round(name * 0.04), Round(name * 0.04)}}, {"blur", std::lround(name * 0.08)},
                           {"color", "#000000"}, {"alpha", 150}};
    const double padX = name * 0.4, padY = name * 0.16;
    Json nameSpan = {{"text", "{{name}}"}};
    Json roleSpan = {{"text", "{{role}}"}, {"size", role}, {"bold", look.roleBold}, {"color", look.roleColor}};
    Json string = {{"spans", Json::array()}};
    if (look.namePlate && !look.rolePlate) {
        // One plate behind the whole block.
        string["plate"] = Plate(look.namePlate, padX * 1.2, padY * 2, name * 0.12, look.reveal, 0, in, length - out, out);
    } else if (look.namePlate) {
        nameSpan["plate"] = Plate(look.namePlate, padX, padY, 0, look.reveal, 0, in, length - out * 0.7, out * 0.7);
        if (spec.accent) {
            // The bar is the plate's own sharp shadow moved sideways: under the opaque plate only
            // a strip shows, as tall as the plate, and it is revealed and hidden with it.
            const double bar = name * 0.12;
            Json shadow = {{"offset", {Round(anchor.x == 2 ? bar : -bar), 0}}, {"blur", 0}, {"color", *spec.accent}};
            if (spec.accent->size() == 7) shadow["alpha"] = 255;  // #RRGGBB: opaque
            nameSpan["plate"]["shadow"] = shadow;
        }
        roleSpan["plate"] = Plate(look.rolePlate, padX, padY * look.roleScale, 0, look.reveal, in * 0.3, in * 0.7,
                                  length - out, out * 0.7);
    }
    string["spans"].push_back(nameSpan);
    if (spec.withRole) {
        string["spans"].push_back({{"text", "\n"}});
        string["spans"].push_back(roleSpan);
        // Room between the lines for their plates' padding, or a little air without them.
        const double gap = look.rolePlate ? padY * 2.4 : name * 0.08;
        string["paragraphs"] = Json::array({{{"after", Round(gap)}}, Json::object()});
    }
    string["style"] = style;
    string["anchor"] = AnchorName(anchor);
    string["margin"] = {Round(margin.x), Round(margin.y)};
    string["keys"] = Keys(look.entrance, textStart, in, length - out, textGone);
    return {{"frame", {spec.frame.width, spec.frame.height}}, {"length", Time(length)}, {"strings", Json::array({string})}};
}

}  // namespace qeltitle
