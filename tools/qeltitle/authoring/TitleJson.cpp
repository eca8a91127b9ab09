#include "authoring/TitleJson.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

#include "authoring/Effects.h"
#include "authoring/KeyFrames.h"
#include "authoring/Language.h"
#include "authoring/LineBreak.h"
#include "authoring/PlateJson.h"
#include "authoring/StyledString.h"
#include "authoring/Text.h"
#include "authoring/TextOptions.h"
#include "player/TitleFiles.h"

namespace qeltitle {

using namespace qel;

namespace {

constexpr MetaBorder kFreshBorder{1, 4, 0, 0, 0, 255, 0};          // "border": {} on a string without one
constexpr MetaShadow kFreshShadow{1, 1, 0, 0, 0, 160, 0, 4, 4, 0};  // "shadow": {} likewise
constexpr int32_t kIntMin = INT32_MIN, kIntMax = INT32_MAX;
constexpr uint32_t kKerningBit = 0x100;  // of FontSpec::CharSet: the font's kerning pairs are used

template <typename T>
bool Same(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}
template <typename T>
bool IsZero(const T& a) {
    return Same(a, T{});
}

// Flags are 8-bit values in 32-bit slots: true and false, or the number when it is neither.
uint32_t ReadFlag(const JsonField& f) {
    if (f.IsBool()) return f.Bool() ? 1 : 0;
    return static_cast<uint32_t>(f.Integer(0, 255));
}
Json FlagJson(uint32_t value) { return value <= 1 ? Json(value == 1) : Json(value); }

std::string Hex(uint32_t modelColor, bool withAlpha, uint32_t alpha) {
    const uint32_t rgb = ((modelColor & 0xFF) << 16) | (modelColor & 0xFF00) | ((modelColor >> 16) & 0xFF);
    char text[16];
    if (withAlpha)
        std::snprintf(text, sizeof text, "#%06X%02X", rgb, alpha & 0xFF);
    else
        std::snprintf(text, sizeof text, "#%06X", rgb);
    return text;
}

// One colour of a "color" field: a hex string or the stored number.
uint32_t ReadOneColor(const JsonField& f, std::optional<uint32_t>& alpha) {
    if (f.IsNumber()) return static_cast<uint32_t>(f.Integer(0, UINT32_MAX));
    uint32_t color = 0;
    if (!f.IsString() || !ParseJsonColor(f.String(), color, alpha)) f.Fail("expected a colour #RRGGBB or #RRGGBBAA");
    return color;
}

// Colour pair, gradient and alpha, shared by faces, borders and shadows. A colour without AA is
// opaque; two different colours make gradient 1 unless "gradient" says otherwise.
void ReadPaint(const JsonField& o, uint32_t& c1, uint32_t& c2, int32_t& grad, uint32_t& alpha) {
    if (o.Has("color")) {
        const JsonField color = o.Member("color");
        std::optional<uint32_t> a1, a2;
        if (color.IsArray()) {
            if (color.Size() != 2) color.Fail("expected one colour or two (a gradient)");
            c1 = ReadOneColor(color.Element(0), a1);
            c2 = ReadOneColor(color.Element(1), a2);
            if (a1 && a2 && *a1 != *a2) color.Fail("a gradient has one alpha: give it on the first colour");
        } else {
            c1 = c2 = ReadOneColor(color, a1);
        }
        alpha = a1 ? *a1 : a2 ? *a2 : 255;
        grad = c1 != c2 ? 1 : 0;
    }
    if (o.Has("gradient")) grad = static_cast<int32_t>(o.Member("gradient").Integer(kIntMin, kIntMax));
    if (o.Has("alpha")) alpha = static_cast<uint32_t>(o.Member("alpha").Integer(0, 255));
}

void WritePaint(Json& o, uint32_t c1, uint32_t c2, int32_t grad, uint32_t alpha, uint32_t s1, uint32_t s2, int32_t sgrad,
                uint32_t salpha) {
    int32_t implied = sgrad;
    if (c1 != s1 || c2 != s2 || alpha != salpha) {
        const bool hex = c1 <= 0xFFFFFF && c2 <= 0xFFFFFF;
        const bool a = alpha != 255;
        if (hex)
            o["color"] = c1 == c2 ? Json(Hex(c1, a, alpha)) : Json::array({Hex(c1, a, alpha), Hex(c2, false, 0)});
        else
            o["color"] = c1 == c2 ? Json(c1) : Json::array({c1, c2});
        if (!hex && a) o["alpha"] = alpha;
        implied = c1 != c2 ? 1 : 0;
    }
    if (grad != implied) o["gradient"] = grad;
}

void ReadBorder(const JsonField& f, MetaBorder& b) {
    if (f.IsBool() && !f.Bool()) {
        b = MetaBorder{};
        return;
    }
    f.RequireObject({"size", "color", "gradient", "alpha", "blur", "enabled"});
    if (IsZero(b)) b = kFreshBorder;
    if (f.Has("size")) b.Size = static_cast<int32_t>(f.Member("size").Integer(kIntMin, kIntMax));
    if (f.Has("enabled")) b.Enable = ReadFlag(f.Member("enabled"));
    ReadPaint(f, b.Color1, b.Color2, b.GradType, b.Alpha);
    if (f.Has("blur")) b.BlurRadius = static_cast<int32_t>(f.Member("blur").Integer(kIntMin, kIntMax));
}

Json BorderDiff(const MetaBorder& b, const MetaBorder& base) {
    if (IsZero(b)) return false;
    const MetaBorder& s = IsZero(base) ? kFreshBorder : base;
    Json o = Json::object();
    if (b.Size != s.Size) o["size"] = b.Size;
    if (b.Enable != s.Enable) o["enabled"] = FlagJson(b.Enable);
    WritePaint(o, b.Color1, b.Color2, b.GradType, b.Alpha, s.Color1, s.Color2, s.GradType, s.Alpha);
    if (b.BlurRadius != s.BlurRadius) o["blur"] = b.BlurRadius;
    return o;
}

void ReadShadow(const JsonField& f, MetaShadow& s) {
    if (f.IsBool() && !f.Bool()) {
        s = MetaShadow{};
        return;
    }
    f.RequireObject({"offset", "blur", "extrude", "color", "gradient", "alpha", "face", "border"});
    if (IsZero(s)) s = kFreshShadow;
    if (f.Has("offset")) {
        const JsonField o = f.Member("offset");
        if (!o.IsArray() || o.Size() != 2) o.Fail("expected [DX, DY]");
        s.OffsetX = o.Element(0).Float(-1e6, 1e6);
        s.OffsetY = o.Element(1).Float(-1e6, 1e6);
    }
    if (f.Has("blur")) s.BlurRadius = static_cast<int32_t>(f.Member("blur").Integer(kIntMin, kIntMax));
    if (f.Has("extrude")) s.Height = ReadFlag(f.Member("extrude"));
    ReadPaint(f, s.Color1, s.Color2, s.GradType, s.Alpha);
    if (f.Has("face")) s.EnableFace = ReadFlag(f.Member("face"));
    if (f.Has("border")) s.EnableBorder = ReadFlag(f.Member("border"));
}

Json ShadowDiff(const MetaShadow& v, const MetaShadow& base) {
    if (IsZero(v)) return false;
    const MetaShadow& s = IsZero(base) ? kFreshShadow : base;
    Json o = Json::object();
    if (!Same(v.OffsetX, s.OffsetX) || !Same(v.OffsetY, s.OffsetY))
        o["offset"] = Json::array({FloatJson(v.OffsetX), FloatJson(v.OffsetY)});
    if (v.BlurRadius != s.BlurRadius) o["blur"] = v.BlurRadius;
    if (v.Height != s.Height) o["extrude"] = FlagJson(v.Height);
    WritePaint(o, v.Color1, v.Color2, v.GradType, v.Alpha, s.Color1, s.Color2, s.GradType, s.Alpha);
    if (v.EnableFace != s.EnableFace) o["face"] = FlagJson(v.EnableFace);
    if (v.EnableBorder != s.EnableBorder) o["border"] = FlagJson(v.EnableBorder);
    return o;
}

std::string FaceNameOf(const FontSpec& font) {
    return Utf16ToUtf8(std::u16string(font.FaceName, std::find(font.FaceName, font.FaceName + 32, u'\0')));
}

// Text of a string: a line break (LF or CR LF) is a paragraph break, CR LF in the title; a lone CR
// is kept as a character.
// `before` is the text that precedes (a span's text continues the one before it).
std::u16string TitleTextOf(const std::string& utf8, std::u16string_view before = {}) {
    std::u16string text;
    for (char16_t c : Utf8ToUtf16(utf8)) {
        const char16_t previous = !text.empty() ? text.back() : !before.empty() ? before.back() : u'\0';
        if (c == u'\n' && previous != u'\r') text += u'\r';
        text += c;
    }
    return text;
}

// The first character of each paragraph: 0 and each LF after a CR.
std::vector<int> ParagraphStarts(const std::u16string& text) {
    std::vector<int> starts;
    if (text.empty()) return starts;
    starts.push_back(0);
    for (size_t i = 1; i < text.size(); ++i)
        if (text[i] == u'\n' && text[i - 1] == u'\r') starts.push_back(static_cast<int>(i));
    return starts;
}

std::string AlignName(uint32_t align) {
    switch (align) {
        case 0: return "left";
        case 6: return "center";
        case 2: return "right";
        default: return {};
    }
}

// The key frames' times: seconds when the title has a length (the shortest decimal that gives the
// stored key back), else title time.
Json KeyTime(float key, const std::optional<double>& length) {
    if (!length) return FloatJson(key);
    char text[48];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, key * *length);
        if (static_cast<float>(std::strtod(text, nullptr) / *length) == key) break;
    }
    const double seconds = std::strtod(text, nullptr);
    return seconds == std::floor(seconds) ? Json(static_cast<int64_t>(seconds)) : Json(seconds);
}

void CopyId(char (&target)[260], const JsonField& f) {
    const std::string id = f.String();
    if (id.size() >= sizeof target) f.Fail("at most 259 characters");
    std::memset(target, 0, sizeof target);
    std::memcpy(target, id.data(), id.size());
}

// An effect name, which must be one the library offers.
void CopyEffect(char (&target)[260], const JsonField& f, const std::vector<EffectInfo>& offered) {
    std::string error;
    if (!CheckEffectName(offered, f.String(), error)) f.Fail(error);
    CopyId(target, f);
}

// "plate": one object or an array of them, of the string (span -1) or of span `span`.
void ReadPlates(const JsonField& f, int span, const TitleExtras& extras, StringContent& spec) {
    auto one = [&](const JsonField& o) {
        if (!o.IsObject()) o.Fail("expected a plate object");
        StringContent::Plate plate{span, DefaultPlate()};
        ReadPlate(o, plate.plate, extras.length);
        if (span >= 0 && o.Has("chars")) o.Member("chars").Fail("a span's plate covers the span");
        spec.plates.push_back(plate);
    };
    if (f.IsArray()) {
        for (size_t i = 0; i < f.Size(); ++i) one(f.Element(i));
    } else {
        one(f);
    }
}

bool NamesFont(const JsonField& owner) { return owner.Has("style") && owner.Member("style").Has("font"); }

StringContent ReadString(const JsonField& s, const CharStyle& titleStyle, const ParagraphAttrs& titlePara,
                      const StringAttrs& baseAttrs, const TitleExtras& extras,
                      const std::vector<EffectInfo>& offered, bool titleNamesFont) {
    s.RequireObject({"text", "spans", "style", "at", "anchor", "margin", "width", "rotate", "vertical", "effect",
                     "progress", "mask", "paragraphs", "keys", "lang", "evenLines", "plate", "across"});
    StringContent spec;
    CharStyle style = titleStyle;
    ParagraphAttrs para = titlePara;
    if (s.Has("lang")) {
        // The language breaks the lines and, where no style names a font, chooses the face.
        const JsonField lang = s.Member("lang");
        spec.language = lang.String();
        if (!IsLanguageTag(spec.language)) lang.Fail("expected a BCP 47 language tag such as \"ja\" or \"zh-Hant\"");
        const std::u16string face = Utf8ToUtf16(FaceForLanguage(spec.language));
        if (!titleNamesFont && !NamesFont(s) && !face.empty() && face.size() <= 31) {
            std::memset(style.font.FaceName, 0, sizeof style.font.FaceName);
            std::copy(face.begin(), face.end(), style.font.FaceName);
        }
    }
    ReadStyleMember(s, style, para);
    if (s.Has("text") == s.Has("spans")) s.Fail("a string has either \"text\" or \"spans\"");
    if (s.Has("text")) {
        spec.text = TitleTextOf(s.Member("text").String());
        spec.spans.emplace_back(0, style);
    } else {
        const JsonField spans = s.Member("spans");
        if (!spans.IsArray()) spans.Fail("expected an array of spans");
        for (size_t i = 0; i < spans.Size(); ++i) {
            const JsonField span = spans.Element(i);
            if (!span.IsObject()) span.Fail("expected an object with \"text\"");
            for (auto it = span.Value().begin(); it != span.Value().end(); ++it)
                if (it.key() != "text" && it.key() != "plate" && it.key() != "lang" && std::find(std::begin(kCharStyleKeys), std::end(kCharStyleKeys), it.key()) ==
                                              std::end(kCharStyleKeys))
                    span.Member(it.key()).Fail("unknown span field");
            if (!span.Has("text")) span.Fail("a span needs \"text\"");
            CharStyle spanStyle = style;
            ReadCharStyle(span, spanStyle);
            if (span.Has("lang")) {
                // A run in another language: shaped in it, its fonts linked for it, and where no
                // style names a font, set in the face that writes it.
                const JsonField lang = span.Member("lang");
                spanStyle.language = lang.String();
                if (!IsLanguageTag(spanStyle.language))
                    lang.Fail("expected a BCP 47 language tag such as \"ja\" or \"zh-Hant\"");
                const std::u16string face = Utf8ToUtf16(FaceForLanguage(spanStyle.language));
                if (!titleNamesFont && !NamesFont(s) && !span.Has("font") && !face.empty() && face.size() <= 31) {
                    std::memset(spanStyle.font.FaceName, 0, sizeof spanStyle.font.FaceName);
                    std::copy(face.begin(), face.end(), spanStyle.font.FaceName);
                }
            }
            // A span that starts with the line feed of a CR ending the span before completes the pair.
            const std::u16string part = TitleTextOf(span.Member("text").String(), spec.text);
            if (part.empty()) continue;
            if (span.Has("plate")) ReadPlates(span.Member("plate"), static_cast<int>(spec.spans.size()), extras, spec);
            spec.spans.emplace_back(static_cast<int>(spec.text.size()), spanStyle);
            spec.text += part;
        }
        if (spec.spans.empty()) spec.spans.emplace_back(0, style);
    }
    const std::vector<int> starts = ParagraphStarts(spec.text);
    spec.paragraphs.assign(std::max<size_t>(starts.size(), 1), para);
    if (s.Has("paragraphs")) {
        const JsonField list = s.Member("paragraphs");
        if (!list.IsArray() || list.Size() != starts.size())
            list.Fail("expected one entry per paragraph (" + std::to_string(starts.size()) + ")");
        for (size_t i = 0; i < list.Size(); ++i) {
            list.Element(i).RequireObject({"align", "lineSpace", "before", "after", "leftIndent", "rightIndent"});
            ReadParagraphStyle(list.Element(i), spec.paragraphs[i]);
        }
    }

    StringAttrs& a = spec.attrs;
    a = baseAttrs;
    if (s.Has("at")) {
        const JsonField at = s.Member("at");
        if (!at.IsArray() || at.Size() != 2) at.Fail("expected [X, Y]");
        a.Left = at.Element(0).Float(-1e7, 1e7);
        a.Top = at.Element(1).Float(-1e7, 1e7);
        spec.hasAt = true;
        if (s.Has("anchor")) s.Member("anchor").Fail("give either \"at\" or \"anchor\"");
    }
    if (s.Has("anchor")) {
        Anchor anchor;
        if (!ParseAnchor(s.Member("anchor").String(), anchor))
            s.Member("anchor").Fail("expected top-left, top, top-right, left, center, right, bottom-left, bottom "
                                    "or bottom-right");
        spec.anchor = anchor;
    }
    if (s.Has("margin")) {
        const JsonField m = s.Member("margin");
        if (m.IsArray()) {
            if (m.Size() != 2) m.Fail("expected a number or [X, Y]");
            spec.marginX = m.Element(0).Float(-1e6, 1e6);
            spec.marginY = m.Element(1).Float(-1e6, 1e6);
        } else {
            spec.marginX = spec.marginY = m.Float(-1e6, 1e6);
        }
    }
    if (!spec.hasAt && !spec.anchor) spec.anchor = Anchor{};
    if (s.Has("width")) a.WidthLimit = s.Member("width").Float(0, 1e7);
    if (s.Has("rotate")) a.RotateDegree = s.Member("rotate").Float(-1e6, 1e6);
    if (s.Has("vertical")) a.Vertical = static_cast<int32_t>(ReadFlag(s.Member("vertical")));
    if (s.Has("effect")) CopyEffect(a.PathID, s.Member("effect"), offered);
    if (s.Has("progress")) a.PathProgress = s.Member("progress").Float(-1e6, 1e6);
    if (s.Has("mask")) CopyId(a.MaskFile, s.Member("mask"));
    if (s.Has("plate")) ReadPlates(s.Member("plate"), -1, extras, spec);
    if (s.Has("across")) spec.across = ReadAcross(s.Member("across"));
    if (s.Has("evenLines")) spec.evenLines = ReadFlag(s.Member("evenLines")) != 0;
    if (s.Has("keys")) {
        const JsonField keys = s.Member("keys");
        if (!keys.IsArray()) keys.Fail("expected an array of key frames");
        for (size_t i = 0; i < keys.Size(); ++i) {
            const JsonField k = keys.Element(i);
            k.RequireObject({"time", "effect", "progress"});
            if (!k.Has("time") || !k.Has("effect")) k.Fail("a key frame needs \"time\" and \"effect\"");
            StringContent::Key key{};
            if (extras.length) {
                const double seconds = k.Member("time").Number(0, *extras.length);
                key.key = static_cast<float>(seconds / *extras.length);
            } else {
                key.key = k.Member("time").Float(0, 1);
            }
            CopyEffect(key.value.PathID, k.Member("effect"), offered);
            key.value.PathProgress = k.Has("progress") ? k.Member("progress").Float(-1e6, 1e6) : 1.0f;
            spec.keys.push_back(key);
        }
    } else if (s.Has("effect") && !s.Has("progress")) {
        // An effect alone animates as `text --effect` does: in over the whole time, or with the
        // title's length in over its first second (at most 40 %) and at rest after.
        const std::string effect = s.Member("effect").String();
        const std::vector<KeyFrame> schedule =
            extras.length ? TimedSchedule(effect, "", *extras.length, DefaultTransition(*extras.length), 0)
                          : TextCommandSchedule(effect, "");
        std::strcpy(a.PathID, baseAttrs.PathID);
        for (const KeyFrame& k : schedule) {
            StringContent::Key key{};
            key.key = k.key;
            CopyId(key.value.PathID, s.Member("effect"));
            key.value.PathProgress = k.progress;
            spec.keys.push_back(key);
        }
    }
    return spec;
}

}  // namespace

namespace {

// The text, spans and paragraphs of `spec` put into the empty string `row`.
bool FillString(ITitleHost& host, int row, const StringContent& spec, std::vector<std::string>& warnings,
                const std::string& where, std::string& error) {
    if (SetDefaultStyle(host, spec.spans.front().second))
        warnings.push_back(where + ": font '" + FaceNameOf(spec.spans.front().second.font) +
                           "' is not installed; the library's default face is used");
    host.SetDefaultParagraph(&spec.paragraphs.front());
    const int32_t count = spec.text.empty() ? 0 : host.InsertText(row, 0, spec.text.c_str());
    if (count != static_cast<int32_t>(spec.text.size())) {
        error = where + ": the title library kept " + std::to_string(count) + " of " +
                std::to_string(spec.text.size()) + " characters";
        return false;
    }
    // Later spans in order, so each table lists its entries in the order characters first use them.
    for (size_t i = 1; i < spec.spans.size(); ++i) {
        const int first = spec.spans[i].first;
        const int end = i + 1 < spec.spans.size() ? spec.spans[i + 1].first : count;
        if (SetDefaultStyle(host, spec.spans[i].second))
            warnings.push_back(where + ": font '" + FaceNameOf(spec.spans[i].second.font) +
                               "' is not installed; the library's default face is used");
        const HRESULT results[] = {host.ApplyFont(row, first, end - first), host.ApplyFace(row, first, end - first),
                                   host.ApplyBorder(row, first, end - first), host.ApplyShadow(row, first, end - first),
                                   host.ApplySpacing(row, first, end - first)};
        for (HRESULT r : results)
            if (r != S_OK) {
                error = where + ": the title library refused a span's style: " + StatusText(r);
                return false;
            }
    }
    const std::vector<int> starts = ParagraphStarts(spec.text);
    for (size_t p = 1; p < starts.size(); ++p) {
        if (Same(spec.paragraphs[p], spec.paragraphs.front())) continue;
        host.SetDefaultParagraph(&spec.paragraphs[p]);
        if (const HRESULT r = host.ApplyParagraph(row, starts[p], 1); r != S_OK) {
            error = where + ": the title library refused a paragraph's attributes: " + StatusText(r);
            return false;
        }
    }
    return true;
}

// `spec` with a line break where each paragraph wraps at the string's width limit, measured in
// string `row` (which holds `spec`): the breaks fall where the line breaking rules allow them
// (LineBreak.h), not at any character as the library's own limit does. The lines of a wrapped
// paragraph become paragraphs with its attributes; the space before and after it stays outside.
// The string's plates, a span's plate over that span's characters as they stand in the text
// (`spans`, after any wrapping).
bool AddPlates(ITitleHost& host, int row, const StringContent& spec, const std::vector<std::pair<int, CharStyle>>& spans,
               const std::string& where, std::string& error) {
    std::vector<QelPlate> plates;
    const int length = host.GetCharCount(row);
    for (const StringContent::Plate& p : spec.plates) {
        QelPlate plate = p.plate;
        if (p.span >= 0 && static_cast<size_t>(p.span) < spans.size()) {
            const size_t k = static_cast<size_t>(p.span);
            plate.First = spans[k].first;
            plate.Count = (k + 1 < spans.size() ? spans[k + 1].first : length) - spans[k].first;
            if (plate.Count <= 0) continue;
        }
        plates.push_back(plate);
    }
    if (!SetStringPlates(host, row, plates, spec.across, error)) {
        error = where + ": " + error;
        return false;
    }
    return true;
}

StringContent WrapContent(ITitleHost& host, int row, const StringContent& spec, int& breaks) {
    RenderSettings settings{};
    host.GetRenderSettings(&settings);
    const float sx = settings.ScaleX != 0 ? settings.ScaleX : 1.0f;
    const std::vector<int> starts = ParagraphStarts(spec.text);
    std::vector<size_t> lineStarts;
    std::vector<int> added(spec.paragraphs.size(), 0);
    for (size_t p = 0; p < starts.size() && p < spec.paragraphs.size(); ++p) {
        const size_t first = p == 0 ? 0 : static_cast<size_t>(starts[p]) + 1;
        const size_t end = p + 1 < starts.size() ? static_cast<size_t>(starts[p + 1]) - 1 : spec.text.size();
        const std::u16string_view text(spec.text.data() + first, end - first);
        std::vector<float> advances(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            RectF box{};
            if (host.GetCharRect(row, static_cast<int32_t>(first + i), &box, 0) == S_OK) advances[i] = box.width / sx;
        }
        const ParagraphAttrs& attrs = spec.paragraphs[p];
        const float width = spec.attrs.WidthLimit - attrs.LeftIndent - attrs.RightIndent;
        for (size_t at : FillLines(text, advances, width, LineBreakOpportunities(text, spec.language))) {
            lineStarts.push_back(first + at);
            ++added[p];
        }
    }
    breaks = static_cast<int>(lineStarts.size());
    if (lineStarts.empty()) return spec;
    StringContent out = spec;
    std::vector<size_t> map;
    out.text = InsertLineBreaks(spec.text, lineStarts, &map);
    for (auto& span : out.spans) span.first = static_cast<int>(map[static_cast<size_t>(span.first)]);
    out.paragraphs.clear();
    for (size_t p = 0; p < spec.paragraphs.size(); ++p)
        for (int line = 0; line <= added[p]; ++line) {
            ParagraphAttrs a = spec.paragraphs[p];
            if (line > 0) a.BeforeSpace = 0;
            if (line < added[p]) a.AfterSpace = 0;
            out.paragraphs.push_back(a);
        }
    return out;
}

}  // namespace

bool AddStringContent(ITitleHost& host, const StringContent& spec, const FrameSize& frame,
                      std::vector<std::string>& warnings, const std::string& where, std::string& error, int* rowOut) {
    // A new string takes the defaults of the moment (an empty one keeps their face): set them first.
    SetDefaultStyle(host, spec.spans.front().second);
    host.SetDefaultParagraph(&spec.paragraphs.front());
    host.SetDefaultString(&spec.attrs);
    const int row = host.AddString();
    if (row < 0) {
        error = where + ": the title library could not add a string";
        return false;
    }
    if (!SetStringText(host, row, spec.language, spec.evenLines, error)) {
        error = where + ": " + error;
        return false;
    }
    if (!FillString(host, row, spec, warnings, where, error)) return false;
    std::vector<std::pair<int, CharStyle>> wrappedSpans = spec.spans;
    if (spec.attrs.WidthLimit > 0 && spec.attrs.WidthLimit < kNoWrapWidth && !spec.attrs.Vertical &&
        !spec.text.empty()) {
        int breaks = 0;
        const StringContent wrapped = WrapContent(host, row, spec, breaks);
        if (breaks > 0) {
            std::vector<std::string> again;  // the same warnings as the first time
            if (host.ClearString(row) != S_OK || !FillString(host, row, wrapped, again, where, error)) {
                if (error.empty()) error = where + ": the title library could not wrap the string";
                return false;
            }
            wrappedSpans = wrapped.spans;
        }
    }
    for (const StringContent::Key& k : spec.keys)
        if (const HRESULT r = host.SetKeyFrame(row, k.key, &k.value); r != S_OK) {
            error = where + ": the title library refused a key frame: " + StatusText(r);
            return false;
        }
    // Plates first: the anchor places what the string draws, padding of its plates included.
    if (!AddPlates(host, row, spec, wrappedSpans, where, error)) return false;
    if (spec.anchor && !PlaceString(host, row, *spec.anchor, spec.marginX, spec.marginY, frame, error)) {
        error = where + ": " + error;
        return false;
    }
    if (rowOut) *rowOut = row;
    return true;
}

bool SameStyle(const CharStyle& a, const CharStyle& b) {
    return Same(a.font, b.font) && Same(a.face, b.face) && Same(a.border, b.border) && Same(a.shadow, b.shadow) &&
           Same(a.spacing, b.spacing) && a.language == b.language;
}

JsonDefaults DefaultsForJson(ITitleHost& host) {
    JsonDefaults d;
    // The face of a new title: `host` may have had other defaults set by earlier work.
    if (Expected<HostPtr> fresh = NewHost())
        (*fresh)->GetDefaultFont(&d.chars.font);
    else
        host.GetDefaultFont(&d.chars.font);
    d.chars.font.CharSet = 1 | kKerningBit;  // kerned, as `qeltitle text` makes them
    d.chars.font.Size = 72;
    d.chars.font.Bold = 0;
    d.chars.font.Italic = d.chars.font.Underline = d.chars.font.StrikeOut = 0;
    d.chars.face = MetaFace{1, 0xFFFFFF, 0xFFFFFF, 0, 255, 0};
    d.chars.spacing = CharSpacing{1.0f, 0.0f};
    d.paragraph = ParagraphAttrs{6, 0, 0, 0, 0, 0};
    d.string = StringAttrs{};
    d.string.WidthLimit = kNoWrapWidth;  // a new string's: lines are not wrapped
    d.string.RotateDegree = 0;
    d.string.Vertical = 0;
    std::memset(d.string.PathID, 0, sizeof d.string.PathID);
    std::strcpy(d.string.PathID, "PATH_NOEFFECT");
    d.string.PathProgress = 1.0f;
    std::memset(d.string.MaskFile, 0, sizeof d.string.MaskFile);
    return d;
}

bool ParseJsonColor(std::string_view text, uint32_t& modelColor, std::optional<uint32_t>& alpha) {
    uint32_t rgb = 0;
    std::optional<int> opacity;
    std::string ignored;
    if (!ParseColor(text, rgb, opacity, ignored)) return false;
    modelColor = ModelColor(rgb);
    if (opacity) alpha = static_cast<uint32_t>(*opacity);
    return true;
}

void ReadCharStyle(const JsonField& o, CharStyle& s) {
    FontSpec& f = s.font;
    if (o.Has("font")) {
        const std::u16string name = Utf8ToUtf16(o.Member("font").String());
        if (name.empty() || name.size() > 31) o.Member("font").Fail("a face name of 1 to 31 characters");
        std::memset(f.FaceName, 0, sizeof f.FaceName);
        std::copy(name.begin(), name.end(), f.FaceName);
    }
    if (o.Has("size")) f.Size = o.Member("size").Float(-4096, 4096);
    if (o.Has("bold")) {
        const JsonField b = o.Member("bold");
        f.Bold = b.IsBool() ? (b.Bool() ? 1 : 0) : static_cast<int32_t>(b.Integer(kIntMin, kIntMax));
    }
    if (o.Has("italic")) f.Italic = ReadFlag(o.Member("italic"));
    if (o.Has("underline")) f.Underline = ReadFlag(o.Member("underline"));
    if (o.Has("strikeout")) f.StrikeOut = ReadFlag(o.Member("strikeout"));
    // Kerning is bit 8 of the character set; "charset" is the rest.
    if (o.Has("charset"))
        f.CharSet = (f.CharSet & kKerningBit) |
                    (static_cast<uint32_t>(o.Member("charset").Integer(0, UINT32_MAX)) & ~kKerningBit);
    if (o.Has("kerning")) f.CharSet = (f.CharSet & ~kKerningBit) | (o.Member("kerning").Bool() ? kKerningBit : 0);
    MetaFace& face = s.face;
    ReadPaint(o, face.Color1, face.Color2, face.GradType, face.Alpha);
    if (o.Has("blur")) face.BlurRadius = static_cast<int32_t>(o.Member("blur").Integer(kIntMin, kIntMax));
    if (o.Has("fill")) face.Enable = ReadFlag(o.Member("fill"));
    if (o.Has("border")) ReadBorder(o.Member("border"), s.border);
    if (o.Has("shadow")) ReadShadow(o.Member("shadow"), s.shadow);
    if (o.Has("spacing")) s.spacing.Spacing = o.Member("spacing").Float(-1e6, 1e6);
    if (o.Has("widthScale")) s.spacing.WidthScale = o.Member("widthScale").Float(-1e6, 1e6);
}

void ReadStyleMember(const JsonField& owner, CharStyle& style, ParagraphAttrs& paragraph) {
    if (!owner.Has("style")) return;
    const JsonField st = owner.Member("style");
    if (!st.IsObject()) st.Fail("expected an object");
    const auto listed = [](const auto& keys, const std::string& key) {
        return std::find(std::begin(keys), std::end(keys), key) != std::end(keys);
    };
    for (auto it = st.Value().begin(); it != st.Value().end(); ++it)
        if (!listed(kCharStyleKeys, it.key()) && !listed(kParagraphKeys, it.key()))
            st.Member(it.key()).Fail("unknown style field");
    ReadCharStyle(st, style);
    ReadParagraphStyle(st, paragraph);
}

void ReadParagraphStyle(const JsonField& o, ParagraphAttrs& p) {
    if (o.Has("align")) {
        const JsonField a = o.Member("align");
        if (a.IsNumber()) {
            p.Align = static_cast<uint32_t>(a.Integer(0, UINT32_MAX));
        } else {
            const std::string name = a.String();
            if (name == "left") p.Align = 0;
            else if (name == "center" || name == "centre") p.Align = 6;
            else if (name == "right") p.Align = 2;
            else a.Fail("expected left, center or right");
        }
    }
    if (o.Has("lineSpace")) p.LineSpace = o.Member("lineSpace").Float(-1e6, 1e6);
    if (o.Has("before")) p.BeforeSpace = o.Member("before").Float(-1e6, 1e6);
    if (o.Has("after")) p.AfterSpace = o.Member("after").Float(-1e6, 1e6);
    if (o.Has("leftIndent")) p.LeftIndent = o.Member("leftIndent").Float(-1e6, 1e6);
    if (o.Has("rightIndent")) p.RightIndent = o.Member("rightIndent").Float(-1e6, 1e6);
}

Json CharStyleDiff(const CharStyle& s, const CharStyle& b) {
    Json o = Json::object();
    const FontSpec &f = s.font, &bf = b.font;
    if (!Same(f.FaceName, bf.FaceName)) o["font"] = FaceNameOf(f);
    if (!Same(f.Size, bf.Size)) o["size"] = FloatJson(f.Size);
    if (f.Bold != bf.Bold) o["bold"] = f.Bold == 0 || f.Bold == 1 ? Json(f.Bold == 1) : Json(f.Bold);
    if (f.Italic != bf.Italic) o["italic"] = FlagJson(f.Italic);
    if (f.Underline != bf.Underline) o["underline"] = FlagJson(f.Underline);
    if (f.StrikeOut != bf.StrikeOut) o["strikeout"] = FlagJson(f.StrikeOut);
    if ((f.CharSet & ~kKerningBit) != (bf.CharSet & ~kKerningBit)) o["charset"] = f.CharSet & ~kKerningBit;
    if ((f.CharSet & kKerningBit) != (bf.CharSet & kKerningBit)) o["kerning"] = (f.CharSet & kKerningBit) != 0;
    const MetaFace &c = s.face, &bc = b.face;
    WritePaint(o, c.Color1, c.Color2, c.GradType, c.Alpha, bc.Color1, bc.Color2, bc.GradType, bc.Alpha);
    if (c.BlurRadius != bc.BlurRadius) o["blur"] = c.BlurRadius;
    if (c.Enable != bc.Enable) o["fill"] = FlagJson(c.Enable);
    if (!Same(s.border, b.border)) o["border"] = BorderDiff(s.border, b.border);
    if (!Same(s.shadow, b.shadow)) o["shadow"] = ShadowDiff(s.shadow, b.shadow);
    if (!Same(s.spacing.Spacing, b.spacing.Spacing)) o["spacing"] = FloatJson(s.spacing.Spacing);
    if (!Same(s.spacing.WidthScale, b.spacing.WidthScale)) o["widthScale"] = FloatJson(s.spacing.WidthScale);
    return o;
}

Json ParagraphDiff(const ParagraphAttrs& p, const ParagraphAttrs& b) {
    Json o = Json::object();
    if (p.Align != b.Align) {
        const std::string name = AlignName(p.Align);
        o["align"] = name.empty() ? Json(p.Align) : Json(name);
    }
    if (!Same(p.LineSpace, b.LineSpace)) o["lineSpace"] = FloatJson(p.LineSpace);
    if (!Same(p.BeforeSpace, b.BeforeSpace)) o["before"] = FloatJson(p.BeforeSpace);
    if (!Same(p.AfterSpace, b.AfterSpace)) o["after"] = FloatJson(p.AfterSpace);
    if (!Same(p.LeftIndent, b.LeftIndent)) o["leftIndent"] = FloatJson(p.LeftIndent);
    if (!Same(p.RightIndent, b.RightIndent)) o["rightIndent"] = FloatJson(p.RightIndent);
    return o;
}

bool SetDefaultStyle(ITitleHost& host, const CharStyle& style) {
    const bool substituted = host.SetDefaultFont(&style.font) == 1;
    host.SetDefaultFace(&style.face);
    host.SetDefaultBorder(&style.border);
    host.SetDefaultShadow(&style.shadow);
    host.SetDefaultSpacing(&style.spacing);
    SetRunLanguage(host, style.language);
    return substituted;
}

bool PlaceString(ITitleHost& host, int row, Anchor anchor, float marginX, float marginY, FrameSize frame,
                 std::string& error) {
    StringAttrs attrs{};
    host.GetStringAttrs(row, &attrs);
    const auto [dx, dy] = AnchorOffset(anchor, Margin{marginX, marginY}, MeasureString(host, row),
                                       DesignFrame{frame.width, frame.height});
    attrs.Left = std::round(attrs.Left + dx);
    attrs.Top = std::round(attrs.Top + dy);
    host.SetDefaultString(&attrs);
    if (const HRESULT status = host.ApplyString(row); status != S_OK) {
        error = "the title library could not place the string: " + StatusText(status);
        return false;
    }
    return true;
}

namespace {

constexpr const char* kAnchorNames[3][3] = {{"top-left", "top", "top-right"},
                                            {"left", "center", "right"},
                                            {"bottom-left", "bottom", "bottom-right"}};


}  // namespace

bool BuildTitleFromJson(ITitleHost& host, std::string_view text, const std::string& source, TitleExtras& extras,
                        std::vector<std::string>& warnings, std::string& error, JsonValueFailure* failed) {
    host.RemoveAllStrings();
    Json doc;
    if (!ParseJsonText(text, source, doc, error)) return false;
    try {
        const JsonField root(doc, "");
        root.RequireObject({"frame", "length", "fit", "style", "strings"});
        if (root.Has("length")) extras.length = root.Member("length").Number(0.001, 86400);
        if (root.Has("fit")) {
            const JsonField fit = root.Member("fit");
            const std::string how = fit.String();
            if (how != "output" && how != "design") fit.Fail("expected \"output\" or \"design\"");
            extras.fitOutput = how == "output";
        }
        // Laid out for 1920x1080 unless the title names its frame; null remembers none (as a title
        // made by another host, which export writes so).
        extras.frame = FrameSize{1920, 1080};
        if (root.Has("frame") && root.Member("frame").Value().is_null()) {
            extras.frame.reset();
        } else if (root.Has("frame")) {
            const JsonField f = root.Member("frame");
            if (!f.IsArray() || f.Size() != 2) f.Fail("expected [WIDTH, HEIGHT]");
            extras.frame = FrameSize{static_cast<int>(f.Element(0).Integer(1, kMaxFrameSide)),
                                     static_cast<int>(f.Element(1).Integer(1, kMaxFrameSide))};
        }
        const JsonDefaults defaults = DefaultsForJson(host);
        CharStyle style = defaults.chars;
        ParagraphAttrs para = defaults.paragraph;
        ReadStyleMember(root, style, para);
        if (!root.Has("strings")) root.Fail("a title needs \"strings\"");
        const JsonField strings = root.Member("strings");
        if (!strings.IsArray()) strings.Fail("expected an array of strings");
        // Every string is read before the first is added, so a mistake late in the file costs nothing.
        std::vector<StringContent> specs;
        const std::vector<EffectInfo> offered = OfferedEffects(host, 1);
        for (size_t i = 0; i < strings.Size(); ++i)
            specs.push_back(ReadString(strings.Element(i), style, para, defaults.string, extras, offered,
                                       NamesFont(root)));
        const FrameSize frame = extras.frame.value_or(FrameSize{1920, 1080});
        for (size_t i = 0; i < specs.size(); ++i) {
            if (!AddStringContent(host, specs[i], frame, warnings, source + ": strings[" + std::to_string(i) + "]", error, nullptr)) {
                host.RemoveAllStrings();
                return false;
            }
            if (specs[i].anchor)
                extras.anchors.push_back({static_cast<int>(i), *specs[i].anchor, specs[i].marginX, specs[i].marginY});
        }
    } catch (const JsonFieldError& e) {
        error = DescribeFieldError(e, text, source);
        if (failed) *failed = {e.pointer, e.what()};
        host.RemoveAllStrings();
        return false;
    }
    return true;
}

namespace {

// The string's plates and gradient-across mode: a plate over exactly one span's characters goes
// into that span (when there are spans), others onto the string.
void WritePlates(ITitleHost& host, int32_t row, const TitleExtras& extras,
                 const std::vector<std::pair<size_t, size_t>>& runs, Json& s) {
    const QelPlatesV1* ext = PlatesExtension();
    if (!ext) return;
    uint32_t across = 0;
    if (ext->GetGradientAcross(&host, row, &across) == S_OK && across != QEL_ACROSS_OWN) s["across"] = AcrossName(across);
    Json own = Json::array();
    const int32_t count = ext->GetPlateCount(&host, row);
    for (int32_t i = 0; i < count; ++i) {
        QelPlate p{};
        if (ext->GetPlate(&host, row, i, &p) != S_OK) continue;
        Json o = PlateJson(p, extras.length);
        const auto run = std::find_if(runs.begin(), runs.end(), [&](const std::pair<size_t, size_t>& r) {
            return p.Count > 0 && r.first == static_cast<size_t>(p.First) && r.second == static_cast<size_t>(p.First) + p.Count;
        });
        if (runs.size() > 1 && run != runs.end() && s.contains("spans")) {
            Json& span = s["spans"][static_cast<size_t>(run - runs.begin())];
            if (!span.contains("plate")) {
                span["plate"] = o;
                continue;
            }
            if (!span["plate"].is_array()) span["plate"] = Json::array({span["plate"]});
            span["plate"].push_back(o);
            continue;
        }
        if (p.First != 0 || p.Count != 0) o["chars"] = Json::array({p.First, p.Count});
        own.push_back(o);
    }
    if (own.size() == 1) s["plate"] = own[0];
    if (own.size() > 1) s["plate"] = own;
}

}  // namespace

bool ExportTitleToJson(ITitleHost& host, const TitleExtras& extras, std::string& text, std::string& error) {
    const JsonDefaults defaults = DefaultsForJson(host);
    Json doc = Json::object();
    doc["frame"] = extras.frame ? Json::array({extras.frame->width, extras.frame->height}) : Json(nullptr);
    if (extras.length) doc["length"] = *extras.length;
    if (extras.fitOutput) doc["fit"] = "output";
    const int32_t rows = host.GetStringCount();
    struct Row {
        std::u16string text;
        std::vector<CharStyle> chars;
        std::vector<ParagraphAttrs> paragraphs;
    };
    std::vector<Row> content(static_cast<size_t>(std::max(rows, 0)));
    for (int32_t r = 0; r < rows; ++r) {
        Row& row = content[r];
        const int32_t count = host.GetCharCount(r);
        row.text.assign(static_cast<size_t>(count) + 1, u'\0');
        host.GetText(r, row.text.data());
        row.text.resize(count);
        for (int32_t i = 0; i < count; ++i) {
            if (row.text[i] == u'\n' && (i == 0 || row.text[i - 1] != u'\r')) {
                error = "string " + std::to_string(r) + " holds a line feed that is not part of a paragraph break "
                        "(CR LF), which JSON titles cannot express";
                return false;
            }
            CharStyle c;
            host.GetCharFont(r, i, &c.font);
            host.GetCharFace(r, i, &c.face);
            host.GetCharBorder(r, i, &c.border);
            host.GetCharShadow(r, i, &c.shadow);
            host.GetCharSpacing(r, i, &c.spacing);
            c.language = CharLanguage(host, r, i);
            row.chars.push_back(c);
        }
        for (int start : ParagraphStarts(row.text)) {
            ParagraphAttrs p{};
            host.GetCharParagraph(r, start, &p);
            row.paragraphs.push_back(p);
        }
    }
    // The title's style is the first string's; each string names what differs from it.
    CharStyle titleStyle = defaults.chars;
    ParagraphAttrs titlePara = defaults.paragraph;
    for (const Row& row : content)
        if (!row.chars.empty()) {
            titleStyle = row.chars.front();
            titlePara = row.paragraphs.front();
            break;
        }
    Json style = CharStyleDiff(titleStyle, defaults.chars);
    style.update(ParagraphDiff(titlePara, defaults.paragraph));
    if (!style.empty()) doc["style"] = style;

    Json strings = Json::array();
    for (int32_t r = 0; r < rows; ++r) {
        const Row& row = content[r];
        Json s = Json::object();
        const CharStyle stringStyle = row.chars.empty() ? titleStyle : row.chars.front();
        const ParagraphAttrs stringPara = row.paragraphs.empty() ? titlePara : row.paragraphs.front();
        // Spans: runs of equal style; the second half of a surrogate pair stays with the first.
        std::vector<std::pair<size_t, size_t>> runs;
        for (size_t i = 0; i < row.chars.size(); ++i) {
            const bool low = row.text[i] >= 0xDC00 && row.text[i] <= 0xDFFF && i > 0;
            if (runs.empty() || (!low && !SameStyle(row.chars[i], row.chars[runs.back().first])))
                runs.emplace_back(i, i + 1);
            else
                runs.back().second = i + 1;
        }
        const auto textOf = [&](size_t from, size_t to) {
            std::u16string part = row.text.substr(from, to - from);
            std::u16string plain;
            for (size_t i = 0; i < part.size(); ++i)
                if (!(part[i] == u'\r' && i + 1 < part.size() && part[i + 1] == u'\n')) plain += part[i];
                else if (i + 1 >= part.size()) plain += part[i];
            return Utf16ToUtf8(plain);
        };
        if (runs.size() <= 1 && (row.chars.empty() || row.chars.front().language.empty())) {
            s["text"] = textOf(0, row.text.size());
        } else {
            Json spans = Json::array();
            for (const auto& [from, to] : runs) {
                Json span = Json::object();
                span["text"] = textOf(from, to);
                span.update(CharStyleDiff(row.chars[from], stringStyle));
                if (!row.chars[from].language.empty()) span["lang"] = row.chars[from].language;
                spans.push_back(span);
            }
            s["spans"] = spans;
        }
        Json st = CharStyleDiff(stringStyle, titleStyle);
        st.update(ParagraphDiff(stringPara, titlePara));
        if (!st.empty()) s["style"] = st;
        StringAttrs a{};
        host.GetStringAttrs(r, &a);
        const StringAttrs& d = defaults.string;
        const auto anchored = std::find_if(extras.anchors.begin(), extras.anchors.end(),
                                           [&](const AnchoredString& e) { return e.row == r; });
        const FrameSize frame = extras.frame.value_or(FrameSize{1920, 1080});
        bool placed = false;
        if (anchored != extras.anchors.end()) {
            // Still where the anchor puts it (placement rounds to whole units), else moved since.
            const auto [dx, dy] = AnchorOffset(anchored->anchor, Margin{anchored->marginX, anchored->marginY},
                                               MeasureString(host, r), DesignFrame{frame.width, frame.height});
            placed = std::fabs(dx) <= 0.5f && std::fabs(dy) <= 0.5f;
        }
        if (!placed) {
            s["at"] = Json::array({FloatJson(a.Left), FloatJson(a.Top)});
        } else if (anchored->anchor.x != 1 || anchored->anchor.y != 1 || anchored->marginX != 0 ||
                   anchored->marginY != 0) {
            // A centred string with no margin is the default and needs neither.
            s["anchor"] = kAnchorNames[anchored->anchor.y][anchored->anchor.x];
            if (anchored->marginX == anchored->marginY && anchored->marginX != 0)
                s["margin"] = FloatJson(anchored->marginX);
            else if (anchored->marginX != 0 || anchored->marginY != 0)
                s["margin"] = Json::array({FloatJson(anchored->marginX), FloatJson(anchored->marginY)});
        }
        if (!Same(a.WidthLimit, d.WidthLimit)) s["width"] = FloatJson(a.WidthLimit);
        if (!Same(a.RotateDegree, d.RotateDegree)) s["rotate"] = FloatJson(a.RotateDegree);
        if (a.Vertical != d.Vertical) s["vertical"] = a.Vertical == 0 || a.Vertical == 1 ? Json(a.Vertical == 1) : Json(a.Vertical);
        if (const std::string lang = StringLanguage(host, r); !lang.empty()) s["lang"] = lang;
        if (StringEvenLines(host, r)) s["evenLines"] = true;
        const bool keyed = host.GetKeyFrameCount(r) > 0;
        if (std::strcmp(a.PathID, d.PathID) != 0) s["effect"] = std::string(a.PathID);
        // An effect without key frames and without a progress would animate when built again.
        if (!Same(a.PathProgress, d.PathProgress) || (s.contains("effect") && !keyed))
            s["progress"] = FloatJson(a.PathProgress);
        if (a.MaskFile[0] != 0) s["mask"] = std::string(a.MaskFile);
        if (std::any_of(row.paragraphs.begin(), row.paragraphs.end(),
                        [&](const ParagraphAttrs& p) { return !Same(p, stringPara); })) {
            Json list = Json::array();
            for (const ParagraphAttrs& p : row.paragraphs) list.push_back(ParagraphDiff(p, stringPara));
            s["paragraphs"] = list;
        }
        WritePlates(host, r, extras, runs, s);
        if (keyed) {
            Json keys = Json::array();
            float key = 0;
            PathValue value{};
            for (HRESULT status = host.GetFirstKeyFrame(r, &key, &value); status == S_OK;
                 status = host.GetNextKeyFrame(r, &key, &value)) {
                Json k = Json::object();
                k["time"] = KeyTime(key, extras.length);
                k["effect"] = std::string(value.PathID, strnlen(value.PathID, sizeof value.PathID));
                if (value.PathProgress != 1.0f) k["progress"] = FloatJson(value.PathProgress);
                keys.push_back(k);
            }
            s["keys"] = keys;
        }
        strings.push_back(s);
    }
    doc["strings"] = strings;
    text = DumpReadable(doc);
    return true;
}

}  // namespace qeltitle
