#include "authoring/PlateJson.h"

#include <cmath>
#include <cstring>
#include <string>

#include "authoring/TitleJson.h"

namespace qeltitle {
namespace {

constexpr const char* kPerNames[] = {"string", "line", "word"};
constexpr const char* kAcrossNames[] = {"own", "line", "string"};
constexpr const char* kRevealNames[] = {"effect", "wipe", "grow"};
constexpr const char* kFromNames[] = {"left", "right", "top", "bottom", "center"};

template <size_t N>
uint32_t ReadName(const JsonField& f, const char* const (&names)[N]) {
    const std::string text = f.String();
    for (size_t i = 0; i < N; ++i)
        if (text == names[i]) return static_cast<uint32_t>(i);
    std::string list;
    for (size_t i = 0; i < N; ++i) list += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(names[i]);
    f.Fail("expected " + list);
}

// One colour "#RRGGBB" or "#RRGGBBAA": the model colour, and the alpha when given.
uint32_t ReadColor(const JsonField& f, uint32_t& alpha) {
    uint32_t color = 0;
    std::optional<uint32_t> a;
    if (!f.IsString() || !ParseJsonColor(f.String(), color, a)) f.Fail("expected a colour #RRGGBB or #RRGGBBAA");
    if (a) alpha = *a;
    return color;
}

std::string Hex(uint32_t modelColor, uint32_t alpha) {
    const uint32_t rgb = ((modelColor & 0xFF) << 16) | (modelColor & 0xFF00) | ((modelColor >> 16) & 0xFF);
    char text[16];
    if (alpha != 255)
        std::snprintf(text, sizeof text, "#%06X%02X", rgb, alpha & 0xFF);
    else
        std::snprintf(text, sizeof text, "#%06X", rgb);
    return text;
}

float ReadTime(const JsonField& f, const std::optional<double>& length) {
    if (length) return static_cast<float>(f.Number(0, *length) / *length);
    return f.Float(0, 1);
}

Json TimeJson(float t, const std::optional<double>& length) {
    if (!length) return FloatJson(t);
    const double seconds = std::round(double(t) * *length * 1e6) / 1e6;
    return seconds == std::floor(seconds) ? Json(static_cast<int64_t>(seconds)) : Json(seconds);
}

// A pair [X, Y] or one number for both.
void ReadPair(const JsonField& f, float& x, float& y, double lo, double hi) {
    if (f.IsArray()) {
        if (f.Size() != 2) f.Fail("expected a number or [X, Y]");
        x = f.Element(0).Float(lo, hi);
        y = f.Element(1).Float(lo, hi);
    } else {
        x = y = f.Float(lo, hi);
    }
}

}  // namespace

const QelPlatesV1* PlatesExtension() {
    return static_cast<const QelPlatesV1*>(QelGetExtension(QEL_PLATES_EXTENSION, 1));
}

QelPlate DefaultPlate() {
    QelPlate p{};
    p.PadX = 24;
    p.PadY = 8;
    p.Alpha = 160;
    p.BorderColor = 0xFFFFFF;
    p.BorderAlpha = 255;
    p.ShadowX = p.ShadowY = 4;
    p.ShadowBlur = 6;
    p.RevealFrom = QEL_FROM_LEFT;
    return p;
}

void ReadPlate(const JsonField& f, QelPlate& p, const std::optional<double>& length) {
    f.RequireObject({"per", "padding", "radius", "color", "gradient", "alpha", "across", "border", "shadow", "reveal",
                     "chars"});
    if (f.Has("per")) p.Per = ReadName(f.Member("per"), kPerNames);
    if (f.Has("padding")) ReadPair(f.Member("padding"), p.PadX, p.PadY, 0, 10000);
    if (f.Has("radius")) p.Radius = f.Member("radius").Float(0, 10000);
    if (f.Has("color")) {
        const JsonField color = f.Member("color");
        uint32_t alpha = 255;
        if (color.IsArray()) {
            if (color.Size() != 2) color.Fail("expected one colour or two (a gradient)");
            p.Color1 = ReadColor(color.Element(0), alpha);
            p.Color2 = ReadColor(color.Element(1), alpha);
            p.GradType = 3;  // across, Color1 at the left: the way a bar is read
        } else {
            p.Color1 = p.Color2 = ReadColor(color, alpha);
        }
        p.Alpha = alpha;
    }
    if (f.Has("gradient")) p.GradType = static_cast<int32_t>(f.Member("gradient").Integer(0, 7));
    if (f.Has("alpha")) p.Alpha = static_cast<uint32_t>(f.Member("alpha").Integer(0, 255));
    if (f.Has("across")) p.Across = ReadAcross(f.Member("across"));
    if (f.Has("border")) {
        const JsonField b = f.Member("border");
        if (b.IsBool() && !b.Bool()) {
            p.BorderSize = 0;
        } else {
            b.RequireObject({"size", "color", "alpha"});
            if (p.BorderSize == 0) p.BorderSize = 2;
            if (b.Has("size")) p.BorderSize = b.Member("size").Float(0, 10000);
            if (b.Has("color")) p.BorderColor = ReadColor(b.Member("color"), p.BorderAlpha);
            if (b.Has("alpha")) p.BorderAlpha = static_cast<uint32_t>(b.Member("alpha").Integer(0, 255));
        }
    }
    if (f.Has("shadow")) {
        const JsonField s = f.Member("shadow");
        if (s.IsBool() && !s.Bool()) {
            p.ShadowAlpha = 0;
        } else {
            s.RequireObject({"offset", "blur", "color", "alpha"});
            if (p.ShadowAlpha == 0) p.ShadowAlpha = 128;
            if (s.Has("offset")) {
                const JsonField o = s.Member("offset");
                if (!o.IsArray() || o.Size() != 2) o.Fail("expected [DX, DY]");
                p.ShadowX = o.Element(0).Float(-10000, 10000);
                p.ShadowY = o.Element(1).Float(-10000, 10000);
            }
            if (s.Has("blur")) p.ShadowBlur = s.Member("blur").Float(0, 10000);
            if (s.Has("color")) p.ShadowColor = ReadColor(s.Member("color"), p.ShadowAlpha);
            if (s.Has("alpha")) p.ShadowAlpha = static_cast<uint32_t>(s.Member("alpha").Integer(0, 255));
        }
    }
    if (f.Has("reveal")) {
        const JsonField r = f.Member("reveal");
        r.RequireObject({"type", "from", "start", "length", "hideStart", "hideLength"});
        p.Reveal = r.Has("type") ? ReadName(r.Member("type"), kRevealNames) : QEL_REVEAL_WIPE;
        if (r.Has("from")) p.RevealFrom = ReadName(r.Member("from"), kFromNames);
        if (r.Has("start")) p.RevealStart = ReadTime(r.Member("start"), length);
        if (r.Has("length")) p.RevealLength = ReadTime(r.Member("length"), length);
        if (r.Has("hideStart")) p.HideStart = ReadTime(r.Member("hideStart"), length);
        if (r.Has("hideLength")) p.HideLength = ReadTime(r.Member("hideLength"), length);
    }
    if (f.Has("chars")) {
        const JsonField c = f.Member("chars");
        if (!c.IsArray() || c.Size() != 2) c.Fail("expected [FIRST, COUNT] (COUNT 0: to the end)");
        p.First = static_cast<int32_t>(c.Element(0).Integer(0, INT32_MAX));
        p.Count = static_cast<int32_t>(c.Element(1).Integer(0, INT32_MAX));
    }
}

Json PlateJson(const QelPlate& p, const std::optional<double>& length) {
    const QelPlate d = DefaultPlate();
    Json o = Json::object();
    if (p.Per != d.Per && p.Per <= QEL_PLATE_PER_WORD) o["per"] = kPerNames[p.Per];
    if (p.PadX != d.PadX || p.PadY != d.PadY)
        o["padding"] = p.PadX == p.PadY ? FloatJson(p.PadX) : Json::array({FloatJson(p.PadX), FloatJson(p.PadY)});
    if (p.Radius != d.Radius) o["radius"] = FloatJson(p.Radius);
    if (p.Color1 != d.Color1 || p.Color2 != d.Color2 || p.Alpha != d.Alpha) {
        o["color"] = p.Color1 == p.Color2 ? Json(Hex(p.Color1, p.Alpha))
                                          : Json::array({Hex(p.Color1, p.Alpha), Hex(p.Color2, 255)});
        if (p.Color1 != p.Color2 && p.GradType != 3) o["gradient"] = p.GradType;
    } else if (p.GradType != d.GradType) {
        o["gradient"] = p.GradType;
    }
    if (p.Across != d.Across && p.Across <= QEL_ACROSS_STRING) o["across"] = kAcrossNames[p.Across];
    if (p.BorderSize > 0) {
        Json b = Json::object();
        b["size"] = FloatJson(p.BorderSize);
        b["color"] = Hex(p.BorderColor, p.BorderAlpha);
        o["border"] = b;
    }
    if (p.ShadowAlpha > 0) {
        Json s = Json::object();
        s["offset"] = Json::array({FloatJson(p.ShadowX), FloatJson(p.ShadowY)});
        s["blur"] = FloatJson(p.ShadowBlur);
        s["color"] = Hex(p.ShadowColor, p.ShadowAlpha);
        o["shadow"] = s;
    }
    if (p.Reveal != QEL_REVEAL_EFFECT && p.Reveal <= QEL_REVEAL_GROW && p.RevealFrom <= QEL_FROM_CENTER) {
        Json r = Json::object();
        r["type"] = kRevealNames[p.Reveal];
        r["from"] = kFromNames[p.RevealFrom];
        r["start"] = TimeJson(p.RevealStart, length);
        r["length"] = TimeJson(p.RevealLength, length);
        if (p.HideLength > 0) {
            r["hideStart"] = TimeJson(p.HideStart, length);
            r["hideLength"] = TimeJson(p.HideLength, length);
        }
        o["reveal"] = r;
    }
    return o;
}

uint32_t ReadAcross(const JsonField& f) { return ReadName(f, kAcrossNames); }

const char* AcrossName(uint32_t across) { return across <= QEL_ACROSS_STRING ? kAcrossNames[across] : "own"; }

bool SetStringPlates(qel::ITitleHost& host, int row, const std::vector<QelPlate>& plates, uint32_t across,
                     std::string& error) {
    if (plates.empty() && across == QEL_ACROSS_OWN) return true;
    const QelPlatesV1* ext = PlatesExtension();
    if (!ext) {
        error = "the title library has no plates (extension " QEL_PLATES_EXTENSION ")";
        return false;
    }
    for (const QelPlate& p : plates) {
        if (ext->SetPlate(&host, row, ext->GetPlateCount(&host, row), &p) != qel::S_OK) {
            error = "the title library refused a plate (a value outside its range, or more than " +
                    std::to_string(QEL_MAX_PLATES) + " on one string)";
            return false;
        }
    }
    if (across != QEL_ACROSS_OWN && ext->SetGradientAcross(&host, row, across) != qel::S_OK) {
        error = "the title library refused the gradient across the string";
        return false;
    }
    return true;
}

}  // namespace qeltitle
