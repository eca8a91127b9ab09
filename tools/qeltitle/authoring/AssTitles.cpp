#include "authoring/AssTitles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <tuple>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include "authoring/KeyFrames.h"
#include "authoring/Text.h"
#include "player/TitleFiles.h"
#include "player/TitleMeta.h"

namespace qeltitle {

using namespace qel;

namespace {

// A face's heights per unit of em, measured once per face on a host of its own: its ascent and
// descent (what a SubStation size measures; the library sizes fonts by the em), and the leading
// the library adds to a line beyond them (players add none).
struct FaceHeights {
    float cell = 1, lead = 0;
    // From the top of a character's box to its baseline as drawn (the typographic ascent), less
    // the ascent players set lines by (the Windows ascent).
    std::optional<float> raise;
};

// The face file fontconfig gives for a family name, bold or not, italic or not: its path and
// index; none when nothing matches.
std::optional<std::pair<std::string, int>> FaceFile(const std::u16string& name, bool bold, bool italic) {
    std::optional<std::pair<std::string, int>> out;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return out;
    const std::string family = Utf16ToUtf8(name);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return out;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        out.emplace(reinterpret_cast<const char*>(file), index);
    }
    FcPatternDestroy(match);
    return out;
}

// The faces of the fonts an event names, opened once with FreeType, for what the library does not
// tell: the ascent players set lines by, and how far a glyph's ink stands in from its advance.
class FaceFiles {
public:
    using Key = std::tuple<std::u16string, bool, bool>;
    FaceFiles() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    }
    ~FaceFiles() {
        for (auto& entry : faces_)
            if (entry.second) FT_Done_Face(entry.second);
        if (library_) FT_Done_FreeType(library_);
    }
    FaceFiles(const FaceFiles&) = delete;
    FaceFiles& operator=(const FaceFiles&) = delete;

    // The typographic less the Windows ascent, per em; none when the face has no such table.
    std::optional<float> AscentDifference(const Key& key) {
        FT_Face face = Face(key);
        const auto* os2 = face ? static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)) : nullptr;
        if (!os2 || os2->version == 0xFFFFu || face->units_per_EM == 0) return std::nullopt;
        return static_cast<float>(os2->sTypoAscender - static_cast<long>(os2->usWinAscent)) / face->units_per_EM;
    }
    // A character's left and right side bearings (from its advance's ends in to its ink), per em;
    // zero for a character the face lacks.
    std::array<float, 2> Sides(const Key& key, char32_t c) {
        const auto found = sides_.find({key, c});
        if (found != sides_.end()) return found->second;
        std::array<float, 2> out{0, 0};
        FT_Face face = Face(key);
        if (face && face->units_per_EM > 0 && FT_Get_Char_Index(face, c) != 0 &&
            FT_Load_Char(face, c, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) == 0) {
            const FT_Glyph_Metrics& m = face->glyph->metrics;
            const float em = face->units_per_EM;
            out = {static_cast<float>(m.horiBearingX) / em, static_cast<float>(m.horiAdvance - m.horiBearingX - m.width) / em};
        }
        sides_[{key, c}] = out;
        return out;
    }

private:
    FT_Face Face(const Key& key) {
        if (const auto found = faces_.find(key); found != faces_.end()) return found->second;
        FT_Face face = nullptr;
        const auto file = FaceFile(std::get<0>(key), std::get<1>(key), std::get<2>(key));
        if (!library_ || !file || FT_New_Face(library_, file->first.c_str(), file->second, &face) != 0) face = nullptr;
        faces_[key] = face;
        return face;
    }
    FT_Library library_ = nullptr;
    std::map<Key, FT_Face> faces_;
    std::map<std::pair<Key, char32_t>, std::array<float, 2>> sides_;
};

FaceFiles::Key KeyOf(const CharStyle& style) {
    return {std::u16string(style.font.FaceName), style.font.Bold != 0, style.font.Italic != 0};
}

class FontHeights {
public:
    explicit FontHeights(HostPtr host) : host_(std::move(host)) {}
    Expected<FaceHeights> PerEm(const CharStyle& style) {
        const auto key = KeyOf(style);
        if (const auto found = cache_.find(key); found != cache_.end()) return found->second;
        host_->RemoveAllStrings();
        StringContent probe;
        probe.text = u"X";
        CharStyle s = style;
        s.font.Size = 1000;
        s.spacing = CharSpacing{1, 0};
        probe.spans.emplace_back(0, s);
        probe.paragraphs.push_back(ParagraphAttrs{0, 0, 0, 0, 0, 0});
        probe.attrs.WidthLimit = kNoWrapWidth;
        std::vector<std::string> ignored;
        std::string error;
        int row = 0;
        if (!AddStringContent(*host_, probe, FrameSize{1920, 1080}, ignored, "measuring a font", error, &row))
            return Failure(error);
        RectF r{}, line{};
        host_->GetCharRect(row, 0, &r, 0);
        host_->GetLineRect(row, 0, &line);
        const FaceHeights h{r.height > 0 ? r.height / 1000 : 1.0f, std::max(0.0f, line.height - r.height) / 1000,
                            files_.AscentDifference(key)};
        cache_[key] = h;
        return h;
    }
    FaceFiles& Files() { return files_; }

private:
    HostPtr host_;
    FaceFiles files_;
    std::map<FaceFiles::Key, FaceHeights> cache_;
};

// How script units become output pixels.
struct Scale {
    float x = 1, y = 1;        // positions and sizes
    float borderX = 1, borderY = 1;  // outlines and shadows (ScaledBorderAndShadow: as positions)
};

// A run's look as a character style, `lit` or not (a karaoke syllable not yet sung takes the
// secondary colour, and with \ko no outline).
Expected<CharStyle> StyleOf(const AssLook& look, bool lit, const CharStyle& base, const Scale& scale, bool kerning,
                            FontHeights& heights) {
    const AssStyle& s = look.style;
    CharStyle c = base;
    const std::u16string face = Utf8ToUtf16(s.font);
    std::memset(c.font.FaceName, 0, sizeof c.font.FaceName);
    std::copy_n(face.begin(), std::min<size_t>(face.size(), 31), c.font.FaceName);
    c.font.Bold = s.bold == 1 || s.bold == -1 || s.bold >= 600 ? 1 : 0;
    c.font.Italic = s.italic ? 1 : 0;
    c.font.Underline = s.underline ? 1 : 0;
    c.font.StrikeOut = s.strikeOut ? 1 : 0;
    // Players kern only when the script asks for it.
    c.font.CharSet = kerning ? c.font.CharSet | 0x100 : c.font.CharSet & ~0x100u;
    Expected<FaceHeights> perEm = heights.PerEm(c);
    if (!perEm) return Failure(perEm.Message());
    // The size is the height of ascent and descent; \fscy stretches it, \fscx the advances.
    const float height = static_cast<float>(s.size * s.scaleY / 100) * scale.y;
    const float em = std::max(0.5f, height / perEm->cell);
    c.font.Size = em;
    // Spacing is stretched with the advance, by players as by the library.
    c.spacing = CharSpacing{static_cast<float>(s.scaleY > 0 ? s.scaleX / s.scaleY : 1), static_cast<float>(s.spacing) * scale.x};
    // Outline and blur widths are in the library's units: an eightieth of the em.
    const auto units = [&](double pixels) { return static_cast<int32_t>(std::lround(pixels * 80 / em)); };
    const bool karaokeUnsung = !lit && look.karaoke != 0;
    const AssColor& fill = karaokeUnsung ? s.colors[1] : s.colors[0];
    // An opaque box (BorderStyle 3) is a plate behind the lines, with the shadow: the glyphs have neither.
    const bool boxed = s.borderStyle == 3;
    const double outline = (look.karaoke == 'o' && !lit) || boxed ? 0 : s.outline * scale.borderY;
    const int32_t blur = units(look.blur * scale.borderY);
    c.face = MetaFace{1, fill.bgr, fill.bgr, 0, 255u - fill.alpha, outline > 0 ? 0 : blur};
    c.border = MetaBorder{outline > 0 ? 1u : 0u, std::max(outline > 0 ? 1 : 0, units(outline)), s.colors[2].bgr,
                          s.colors[2].bgr, 0, 255u - s.colors[2].alpha, outline > 0 ? blur : 0};
    const float sx = static_cast<float>(look.shadowX) * scale.borderX, sy = static_cast<float>(look.shadowY) * scale.borderY;
    const bool shadow = (sx != 0 || sy != 0) && !boxed;
    c.shadow = MetaShadow{shadow ? 1u : 0u, shadow && outline > 0 ? 1u : 0u, s.colors[3].bgr, s.colors[3].bgr, 0,
                          255u - s.colors[3].alpha, blur, sx, sy, 0};
    return c;
}

// The event's opacity `ms` after its start (\fad, \fade).
float Opacity(const AssEvent& e, double ms) {
    if (!e.fade) return 1;
    const auto& [a1, a2, a3, t1, t2, t3, t4] = *e.fade;
    double a = a3;
    if (ms < t1) a = a1;
    else if (ms < t2) a = a1 + (a2 - a1) * (ms - t1) / std::max(1e-9, t2 - t1);
    else if (ms < t3) a = a2;
    else if (ms < t4) a = a2 + (a3 - a2) * (ms - t3) / std::max(1e-9, t4 - t3);
    return static_cast<float>(std::clamp(1 - a / 255, 0.0, 1.0));
}

// The \move position `ms` after the event's start, script units.
std::array<double, 2> MoveAt(const AssEvent& e, double ms) {
    const auto& m = *e.move;
    double t1 = m[4], t2 = m[5];
    if (t1 == 0 && t2 == 0) t2 = (e.end - e.start) * 1000;
    const double k = ms <= t1 ? 0 : ms >= t2 ? 1 : (ms - t1) / (t2 - t1);
    return {m[0] + (m[2] - m[0]) * k, m[1] + (m[3] - m[1]) * k};
}

RectF TextBox(ITitleHost& host, int row, const std::u16string& text) {
    float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    for (int32_t i = 0, n = host.GetCharCount(row); i < n; ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') continue;
        RectF r{};
        CharSpacing spacing{1, 0};
        if (host.GetCharRect(row, i, &r, 0) != S_OK) continue;
        host.GetCharSpacing(row, i, &spacing);
        // A character's box reaches to the end of its advance, spacing included, as players measure lines.
        minX = std::min(minX, r.x), minY = std::min(minY, r.y);
        maxX = std::max(maxX, r.x + r.width + spacing.Spacing * spacing.WidthScale), maxY = std::max(maxY, r.y + r.height);
    }
    return minX > maxX ? RectF{} : RectF{minX, minY, maxX - minX, maxY - minY};
}

// Lines wrapped where they filled, evened out as players even them (wrap styles 0 and 3): while
// moving the last word of a line to the start of the next brings their widths nearer, it moves.
// `soft` marks the line breaks wrapping put in; only those move. `text` and `runOf` change.
void Rebalance(ITitleHost& host, int row, std::u16string& text, std::vector<int>& runOf, std::vector<bool>& soft) {
    std::vector<float> advance(text.size(), 0);
    for (size_t i = 0; i < text.size(); ++i) {
        RectF r{};
        CharSpacing sp{1, 0};
        host.GetCharRect(row, static_cast<int>(i), &r, 0);
        host.GetCharSpacing(row, static_cast<int>(i), &sp);
        advance[i] = r.width + sp.Spacing * sp.WidthScale;
    }
    // Lines as the indices of their characters, and whether the break after each is soft.
    std::vector<std::vector<size_t>> lines(1);
    std::vector<bool> softAfter;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            softAfter.push_back(soft[i]);
            lines.emplace_back();
            ++i;
            continue;
        }
        lines.back().push_back(i);
    }
    const auto isSpace = [&](size_t i) { return text[i] == u' '; };
    const auto width = [&](const std::vector<size_t>& line) {
        size_t a = 0, b = line.size();
        while (a < b && isSpace(line[a])) ++a;
        while (b > a && isSpace(line[b - 1])) --b;
        float w = 0;
        for (size_t k = a; k < b; ++k) w += advance[line[k]];
        return w;
    };
    for (size_t l = 0; l + 1 < lines.size(); ++l) {
        while (softAfter[l]) {
            std::vector<size_t>& upper = lines[l];
            size_t end = upper.size();
            while (end > 0 && isSpace(upper[end - 1])) --end;
            size_t start = end;
            while (start > 0 && !isSpace(upper[start - 1])) --start;
            if (start == 0) break;  // one word: nothing to move
            std::vector<size_t> newUpper(upper.begin(), upper.begin() + start - 1);
            std::vector<size_t> newLower(upper.begin() + start, upper.begin() + end);
            newLower.push_back(upper[start - 1]);  // the space, now after the word
            newLower.insert(newLower.end(), lines[l + 1].begin(), lines[l + 1].end());
            if (std::fabs(width(newUpper) - width(newLower)) >= std::fabs(width(upper) - width(lines[l + 1]))) break;
            upper = newUpper;
            lines[l + 1] = newLower;
        }
    }
    std::u16string out;
    std::vector<int> runs;
    std::vector<bool> marks;
    for (size_t l = 0; l < lines.size(); ++l) {
        for (size_t i : lines[l]) out += text[i], runs.push_back(runOf[i]), marks.push_back(false);
        if (l + 1 < lines.size()) {
            const int run = runs.empty() ? runOf.front() : runs.back();
            out += u"\r\n";
            runs.insert(runs.end(), 2, run);
            marks.insert(marks.end(), 2, softAfter[l]);
        }
    }
    text = out;
    runOf = runs;
    soft = marks;
}

// Where players wrap a line too wide for `width`: at the last space before its ink (from its
// first character's to the current one's) reaches the width; a line without a space runs on. The
// starts of the lines wrapping makes. `inkLeft` and `inkRight` are each character's ink's ends
// (a space's: its advance's) on the text laid out in one line per paragraph.
std::vector<size_t> InkLineStarts(const std::u16string& text, const std::vector<float>& inkLeft,
                                  const std::vector<float>& inkRight, float width) {
    std::vector<size_t> starts;
    constexpr size_t kNone = std::u16string::npos;
    size_t lineStart = 0, lastSpace = kNone;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            lineStart = i + 1;
            lastSpace = kNone;
            continue;
        }
        if (inkRight[i] - inkLeft[lineStart] >= width && lastSpace != kNone && lastSpace >= lineStart && lastSpace < i) {
            lineStart = lastSpace + 1;
            starts.push_back(lineStart);
            lastSpace = kNone;
        }
        if (text[i] == u' ') lastSpace = i;
    }
    return starts;
}

// An event placed on screen (for the events after it to keep clear of).
struct Placed {
    int layer, first, last;
    float top, bottom;
};

class EventMaker {
public:
    EventMaker(const AssScript& script, const std::string& name, int width, int height, double fps, HostPtr host,
               FontHeights& heights)
        : script_(script), name_(name), width_(width), height_(height), fps_(fps), host_(std::move(host)), heights_(heights) {
        scale_.x = static_cast<float>(width) / script.playResX;
        scale_.y = static_cast<float>(height) / script.playResY;
        scale_.borderX = script.scaledBorderAndShadow ? scale_.x : 1;
        scale_.borderY = script.scaledBorderAndShadow ? scale_.y : 1;
        base_ = DefaultsForJson(*host_).chars;
    }

    Status Make(const AssEvent& e, int number, std::vector<CaptionTitle>& out, std::vector<std::string>& warnings);

private:
    Status AddSweep(const AssEvent& e, int run, const StringContent& laid, const std::vector<int>& runOf,
                    const std::vector<CharStyle>& lit, int first, int frames, std::vector<std::string>& warnings,
                    const std::string& where);

    const AssScript& script_;
    std::string name_;
    int width_, height_;
    double fps_;
    HostPtr host_;
    FontHeights& heights_;
    Scale scale_;
    CharStyle base_;
    std::vector<Placed> placed_;
};

// A \kf syllable swept over frames [first, first + frames): the text laid out as `laid` once more
// over it, only the syllable shown, in its sung colour and without the outline and shadow the
// text under it has, wiped in from the left as the sweep crosses it. The wipe runs across the
// whole string: its progress is where the sweep's edge is in it, each character coming in over
// its own width as the edge passes.
Status EventMaker::AddSweep(const AssEvent& e, int run, const StringContent& laid, const std::vector<int>& runOf,
                            const std::vector<CharStyle>& lit, int first, int frames, std::vector<std::string>& warnings,
                            const std::string& where) {
    StringContent c = laid;
    c.plates.clear();
    c.spans.clear();
    for (size_t i = 0; i < c.text.size(); ++i) {
        CharStyle s = lit[runOf[i]];
        s.border = MetaBorder{};
        s.shadow = MetaShadow{};
        if (runOf[i] != run) s.face.Enable = 0;
        if (c.spans.empty() || !SameStyle(c.spans.back().second, s)) c.spans.emplace_back(static_cast<int>(i), s);
    }
    std::string error;
    int row = 0;
    if (!AddStringContent(*host_, c, FrameSize{width_, height_}, warnings, where, error, &row)) return Failure(error);
    RectF string{};
    host_->GetStringRect(row, &string);
    float left = 1e30f, right = -1e30f;
    for (size_t i = 0; i < c.text.size(); ++i) {
        RectF r{};
        if (runOf[i] != run || c.text[i] == u'\r' || c.text[i] == u'\n' || host_->GetCharRect(row, static_cast<int>(i), &r, 0) != S_OK)
            continue;
        left = std::min(left, r.x), right = std::max(right, r.x + r.width);
    }
    if (!(left < right) || string.width <= 0) return {};
    const AssLook& look = e.runs[run].look;
    // The sweep's share done at title time `at` (0 to 1 over the frames), as the wipe's progress.
    const auto sweptAt = [&](double at) {
        const double t = (first + at * frames) / fps_ - e.start;
        return std::clamp((t - look.karaokeStart) / look.karaokeLength, 0.0, 1.0);
    };
    const auto progress = [&](double k) { return static_cast<float>((left - string.x + k * (right - left)) / string.width); };
    std::vector<KeyFrame> keys{{0.0f, "PATH_WIPERIGHT", progress(sweptAt(0))}};
    const double done = ((e.start + look.karaokeStart + look.karaokeLength) * fps_ - first) / frames;
    if (done > 0 && done < 1) keys.push_back({static_cast<float>(done), "PATH_WIPERIGHT", progress(1)});
    keys.push_back({1.0f, "PATH_WIPERIGHT", progress(sweptAt(1))});
    if (!SetKeyFrames(*host_, row, keys, error)) return Failure(where + ": " + error);
    return {};
}

Status EventMaker::Make(const AssEvent& e, int number, std::vector<CaptionTitle>& out, std::vector<std::string>& warnings) {
    const std::string where = name_ + ":" + std::to_string(e.line);
    int first = 0, last = 0;
    if (!CueFrames(e.start, e.end, fps_, first, last)) return {};
    // The text, and the run of each character (a line break belongs to the run before it).
    std::u16string text;
    std::vector<int> runOf;
    for (size_t r = 0; r < e.runs.size(); ++r)
        for (char16_t c : Utf8ToUtf16(e.runs[r].text)) {
            if (c == u'\n') {
                text += u"\r\n";
                runOf.insert(runOf.end(), 2, static_cast<int>(r));
            } else {
                text += c;
                runOf.push_back(static_cast<int>(r));
            }
        }
    if (text.find_first_not_of(u" \r\n\u00A0") == std::u16string::npos) return {};
    std::vector<CharStyle> unlit, lit;
    for (const AssRun& run : e.runs) {
        Expected<CharStyle> a = StyleOf(run.look, false, base_, scale_, script_.kerning, heights_);
        Expected<CharStyle> b = StyleOf(run.look, true, base_, scale_, script_.kerning, heights_);
        if (!a || !b) return Failure(where + ": " + (a ? b.Message() : a.Message()));
        unlit.push_back(*a);
        lit.push_back(*b);
    }
    const AssStyle& style = script_.styles[e.style];
    const int an = e.alignment != 0 ? e.alignment : style.alignment;
    const int column = (an - 1) % 3;  // 0 left, 1 centre, 2 right
    const int row = (an - 1) / 3;     // 0 bottom, 1 middle, 2 top
    const float ml = static_cast<float>(e.marginL != 0 ? e.marginL : style.marginL) * scale_.x;
    const float mr = static_cast<float>(e.marginR != 0 ? e.marginR : style.marginR) * scale_.x;
    const float mv = static_cast<float>(e.marginV != 0 ? e.marginV : style.marginV) * scale_.y;
    const int wrap = e.wrapStyle >= 0 ? e.wrapStyle : script_.wrapStyle;
    const float angle = static_cast<float>(e.runs.front().look.style.angle);

    StringAttrs attrs = DefaultsForJson(*host_).string;
    attrs.WidthLimit = kNoWrapWidth;  // wrapped below, as players wrap
    const float wrapWidth = wrap == 2 || e.pos || e.move ? 0.0f : std::max(1.0f, width_ - ml - mr);
    // Lines follow each other by the height of ascent and descent, as players set them: the
    // library's leading is taken back. The library draws a glyph's baseline its typographic
    // ascent below the top of its box, players their Windows ascent below the top of the line:
    // the text's box starts by the difference higher (by the internal leading without one).
    Expected<FaceHeights> face = heights_.PerEm(unlit.front());
    if (!face) return Failure(where + ": " + face.Message());
    const float em = unlit.front().font.Size;
    const float raise = face->raise ? -*face->raise * em : (face->cell - 1) * em;
    const ParagraphAttrs paragraph{column == 0 ? 0u : column == 1 ? 6u : 2u, -face->lead * em, 0, 0, 0, 0};
    // An opaque box: a plate behind each line in the outline colour, as wide around the text as the
    // outline, casting the shadow in the back colour.
    const AssLook& first0 = e.runs.front().look;
    std::vector<StringContent::Plate> plates;
    if (first0.style.borderStyle == 3) {
        QelPlate p{};
        p.Per = QEL_PLATE_PER_LINE;
        p.PadX = p.PadY = static_cast<float>(first0.style.outline) * scale_.borderY;
        p.Color1 = p.Color2 = first0.style.colors[2].bgr;
        p.Alpha = 255u - first0.style.colors[2].alpha;
        p.ShadowX = static_cast<float>(first0.shadowX) * scale_.borderX;
        p.ShadowY = static_cast<float>(first0.shadowY) * scale_.borderY;
        p.ShadowColor = first0.style.colors[3].bgr;
        p.ShadowAlpha = p.ShadowX != 0 || p.ShadowY != 0 ? 255u - first0.style.colors[3].alpha : 0u;
        plates.push_back(StringContent::Plate{-1, p});
    }
    const auto content = [&](const std::vector<bool>& isLit) {
        StringContent c;
        c.text = text;
        c.attrs = attrs;
        for (size_t i = 0; i < text.size(); ++i) {
            const CharStyle& s = isLit[i] ? lit[runOf[i]] : unlit[runOf[i]];
            if (c.spans.empty() || !SameStyle(c.spans.back().second, s)) c.spans.emplace_back(static_cast<int>(i), s);
        }
        c.paragraphs.assign(std::count(text.begin(), text.end(), u'\n') + 1, paragraph);
        return c;
    };

    // Laid out once, unturned, at the origin: its box goes where players put the text's box.
    std::string error;
    std::vector<bool> none(text.size(), false);
    host_->RemoveAllStrings();
    int string = 0;
    StringContent c0 = content(none);
    if (!AddStringContent(*host_, c0, FrameSize{width_, height_}, warnings, where, error, &string)) return Failure(error);
    // Lines too wide for the room between the margins are wrapped where players wrap them; the
    // characters are the wrapped string's from here.
    if (wrapWidth > 0) {
        std::vector<float> inkLeft(text.size()), inkRight(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            RectF r{};
            host_->GetCharRect(string, static_cast<int>(i), &r, 0);
            const CharStyle& s = unlit[runOf[i]];
            const std::array<float, 2> sides = text[i] == u' ' ? std::array<float, 2>{0, r.width}
                                                                : heights_.Files().Sides(KeyOf(s), text[i]);
            inkLeft[i] = r.x + sides[0] * s.font.Size * s.spacing.WidthScale;
            inkRight[i] = r.x + r.width - sides[1] * s.font.Size * s.spacing.WidthScale;
        }
        const std::vector<size_t> starts = InkLineStarts(text, inkLeft, inkRight, wrapWidth);
        if (!starts.empty()) {
            // The spaces a line ends with give way to the line break.
            std::u16string laid;
            std::vector<int> runs;
            std::vector<bool> soft;  // a line break wrapping put in
            for (size_t i = 0, next = 0; i < text.size(); ++i) {
                if (next < starts.size() && starts[next] == i) {
                    while (!laid.empty() && laid.back() == u' ') laid.pop_back(), runs.pop_back(), soft.pop_back();
                    const int run = runs.empty() ? runOf[i] : runs.back();
                    laid += u"\r\n";
                    runs.insert(runs.end(), 2, run);
                    soft.insert(soft.end(), 2, true);
                    ++next;
                }
                laid += text[i];
                runs.push_back(runOf[i]);
                soft.push_back(false);
            }
            text = laid;
            runOf = runs;
            for (int pass = 0; pass < 2; ++pass) {
                // Laid out as wrapped, then (wrap styles 0 and 3) again once evened out.
                host_->RemoveAllStrings();
                if (!AddStringContent(*host_, content(std::vector<bool>(text.size(), false)), FrameSize{width_, height_},
                                      warnings, where, error, &string))
                    return Failure(error);
                if (pass == 1 || !(wrap == 0 || wrap == 3)) break;
                Rebalance(*host_, string, text, runOf, soft);
            }
        }
    }
    RectF box = TextBox(*host_, string, text);
    box.y -= raise;
    std::vector<RectF> chars(text.size());
    for (size_t i = 0; i < text.size(); ++i) host_->GetCharRect(string, static_cast<int>(i), &chars[i], 0);

    // The box's top-left for an anchor point (px, py) in pixels.
    const auto boxAt = [&](float px, float py) {
        return std::array<float, 2>{px - box.width * column / 2.0f, row == 2 ? py : row == 1 ? py - box.height / 2 : py - box.height};
    };
    float px = 0, py = 0;
    if (e.pos) {
        px = static_cast<float>((*e.pos)[0]) * scale_.x, py = static_cast<float>((*e.pos)[1]) * scale_.y;
    } else {
        px = column == 0 ? ml : column == 2 ? width_ - mr : (ml + width_ - mr) / 2;
        py = row == 2 ? mv : row == 1 ? height_ / 2.0f : height_ - mv;
    }
    // Events of a layer shown at once keep clear of those placed before them.
    float shift = 0;
    if (!e.pos && !e.move) {
        const auto [bx, by] = boxAt(px, py);
        const float direction = row == 0 ? -1 : 1;
        for (bool moved = true; moved;) {
            moved = false;
            for (const Placed& p : placed_)
                if (p.layer == e.layer && p.first <= last && first <= p.last && by + shift < p.bottom &&
                    p.top < by + shift + box.height) {
                    shift = direction < 0 ? p.top - box.height - by : p.bottom - by;
                    moved = true;
                }
        }
        placed_.push_back({e.layer, first, last, by + shift, by + shift + box.height});
    }

    // The frames of the event, in runs that show the same: one title each.
    struct State {
        float x, y;
        std::vector<bool> lit;
        std::vector<int> sweeping;  // the \kf syllables (runs) being swept, drawn over the unsung text
        bool operator==(const State&) const = default;
    };
    const auto stateAt = [&](int frame) {
        const double ms = (frame / fps_ - e.start) * 1000;
        State s{px, py + shift, std::vector<bool>(text.size(), false), {}};
        // The library's wipe takes a string's key frames, which a fade has, and runs along the
        // string unturned: a turned or fading event is swept a character at a time.
        const bool wipe = angle == 0 && Opacity(e, ms) >= 1;
        if (e.move) {
            const auto [x, y] = MoveAt(e, ms);
            s.x = static_cast<float>(x) * scale_.x, s.y = static_cast<float>(y) * scale_.y;
        }
        const double t = ms / 1000;
        for (size_t i = 0; i < text.size(); ++i) {
            const AssLook& look = e.runs[runOf[i]].look;
            if (look.karaoke == 0) continue;
            if (look.karaoke != 'f' || look.karaokeLength <= 0) {
                s.lit[i] = t >= look.karaokeStart;
                continue;
            }
            const double k = (t - look.karaokeStart) / look.karaokeLength;
            if (wipe && k >= 0 && k < 1) {
                if (s.sweeping.empty() || s.sweeping.back() != runOf[i]) s.sweeping.push_back(runOf[i]);
                continue;
            }
            s.lit[i] = k >= 1;
            if (wipe) continue;
            // Else the characters whose middle the sweep has passed, across the syllable's box.
            float left = 1e30f, right = -1e30f;
            for (size_t j = 0; j < text.size(); ++j)
                if (runOf[j] == runOf[i]) left = std::min(left, chars[j].x), right = std::max(right, chars[j].x + chars[j].width);
            s.lit[i] = chars[i].x + chars[i].width / 2 <= left + std::clamp(k, 0.0, 1.0) * (right - left);
        }
        return s;
    };
    for (int f = first; f <= last;) {
        const State state = stateAt(f);
        int g = f + 1;
        while (g <= last && stateAt(g) == state) ++g;
        // This run of frames: the string where the state puts it, turned about its anchor point.
        host_->RemoveAllStrings();
        StringContent c = content(state.lit);
        const auto [bx, by] = boxAt(state.x, state.y);
        c.attrs.Left = bx - box.x;
        c.attrs.Top = by - box.y;
        c.attrs.WidthLimit = kNoWrapWidth;  // the lines are those laid out above
        if (angle != 0) {
            // The library turns a string about its top-left corner: move it so that the anchor point stays.
            const float ax = state.x - c.attrs.Left, ay = (e.pos || e.move ? state.y : py + shift) - c.attrs.Top;
            const float r = angle * 3.14159265358979f / 180, cs = std::cos(r), sn = std::sin(r);
            c.attrs.Left += ax - (ax * cs + ay * sn);
            c.attrs.Top += ay - (-ax * sn + ay * cs);
            c.attrs.RotateDegree = -angle;  // the library's angles turn clockwise
        }
        std::vector<int> rows;  // the strings of this run of frames, from the bottom up
        if (!plates.empty()) {
            // The opaque box: a string of its own under the text that draws the text invisibly,
            // with the plates. The plates go around the library's character boxes, which lie
            // lower than the lines players box: that string is raised by the difference (along
            // the text's up direction when it is turned).
            StringContent band = c;
            for (auto& span : band.spans) {
                span.second.face.Enable = 0;
                span.second.border = MetaBorder{};
                span.second.shadow = MetaShadow{};
            }
            band.plates = plates;
            const float r = angle * 3.14159265358979f / 180;
            band.attrs.Left -= raise * std::sin(r);
            band.attrs.Top -= raise * std::cos(r);
            if (!AddStringContent(*host_, band, FrameSize{width_, height_}, warnings, where, error, &rows.emplace_back()))
                return Failure(error);
        }
        if (!AddStringContent(*host_, c, FrameSize{width_, height_}, warnings, where, error, &rows.emplace_back()))
            return Failure(error);
        const int frames = g - f;
        for (int run : state.sweeping)
            if (Status swept = AddSweep(e, run, c, runOf, lit, f, frames, warnings, where); !swept) return swept;
        std::vector<KeyFrame> keys;
        bool faded = false;
        for (int k = 0; k < frames; ++k) faded = faded || Opacity(e, ((f + k) / fps_ - e.start) * 1000) < 1;
        if (faded) {
            for (int k = 0; k < frames; ++k)
                keys.push_back({static_cast<float>(k) / frames, "PATH_FADE", Opacity(e, ((f + k) / fps_ - e.start) * 1000)});
            keys.push_back({1.0f, "PATH_FADE", keys.back().progress});
            for (int drawn : rows)
                if (!SetKeyFrames(*host_, drawn, keys, error)) return Failure(where + ": " + error);
        }
        TitleMeta meta;
        meta.length = frames / fps_;
        meta.frame = DesignFrame{width_, height_};
        Expected<std::string> document = TitleDocument(*host_, &meta);
        if (!document) return Failure(where + ": " + document.Message());
        CaptionTitle title;
        title.document = std::move(*document);
        title.start = f / fps_;
        title.end = g / fps_;
        title.first = f;
        title.last = g - 1;
        title.cueLine = e.line;
        title.cueNumber = number;
        out.push_back(std::move(title));
        f = g;
    }
    return {};
}

}  // namespace

Status MakeAssTitles(const AssScript& script, const std::string& name, int width, int height, double fps,
                     std::vector<CaptionTitle>& out, std::vector<std::string>& warnings) {
    out.clear();
    Expected<HostPtr> host = NewHost();
    Expected<HostPtr> measuring = NewHost();
    if (!host || !measuring) return Failure(host ? measuring.Message() : host.Message());
    FontHeights heights(std::move(*measuring));
    // Drawn by layer, then in the file's order; placed (and kept clear of each other) in the file's order.
    std::vector<int> order(script.events.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::vector<std::vector<CaptionTitle>> titles(script.events.size());
    EventMaker maker(script, name, width, height, fps, std::move(*host), heights);
    for (size_t i = 0; i < script.events.size(); ++i)
        if (Status s = maker.Make(script.events[i], static_cast<int>(i + 1), titles[i], warnings); !s) return s;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return script.events[a].layer < script.events[b].layer; });
    for (int i : order)
        for (CaptionTitle& t : titles[i]) out.push_back(std::move(t));
    return {};
}

namespace {

// A percentage of the frame as cue settings write it: within the frame, to a hundredth.
double Percent(double part, double whole) {
    const double percent = std::round(part / std::max(1.0, whole) * 10000) / 100;
    return std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 100.0);
}

}  // namespace

CuePlacement AssPlacement(const AssScript& script, const AssEvent& e) {
    CuePlacement p;
    const AssStyle& style = script.styles[e.style];
    const int an = e.alignment != 0 ? e.alignment : style.alignment;
    const int column = (an - 1) % 3, row = (an - 1) / 3;  // left, centre, right; bottom, middle, top
    p.align = column == 0 ? CueAlign::Left : column == 2 ? CueAlign::Right : CueAlign::Center;
    const CuePositionAlign side[] = {CuePositionAlign::LineLeft, CuePositionAlign::Center, CuePositionAlign::LineRight};
    const CueLineAlign edge[] = {CueLineAlign::End, CueLineAlign::Center, CueLineAlign::Start};
    const double w = script.playResX, h = script.playResY;
    // A point the text is set at (\pos, or where \move starts): the box's side and edge named by
    // the alignment stand there.
    std::optional<std::array<double, 2>> at = e.pos;
    if (!at && e.move) at = std::array<double, 2>{(*e.move)[0], (*e.move)[1]};
    if (at) {
        p.snapToLines = false;
        p.line = Percent((*at)[1], h), p.lineAlign = edge[row];
        p.position = Percent((*at)[0], w), p.positionAlign = side[column];
        return p;
    }
    // Else by the margins: at the bottom the caption's own place, the middle of the frame, or the
    // top margin; beside the left or right margin, or centred between them.
    const double ml = e.marginL != 0 ? e.marginL : style.marginL, mr = e.marginR != 0 ? e.marginR : style.marginR;
    const double mv = e.marginV != 0 ? e.marginV : style.marginV;
    if (row != 0) {
        p.snapToLines = false;
        p.line = row == 1 ? 50.0 : Percent(mv, h), p.lineAlign = edge[row];
    }
    const double x = column == 0 ? ml : column == 2 ? w - mr : (ml + w - mr) / 2;
    if (column != 1 || Percent(x, w) != 50) p.position = Percent(x, w), p.positionAlign = side[column];
    return p;
}

std::vector<Cue> AssCues(const AssScript& script) {
    std::vector<Cue> cues;
    for (size_t i = 0; i < script.events.size(); ++i) {
        const AssEvent& e = script.events[i];
        if (!(e.end > e.start) || e.Plain().find_first_not_of(" \n\xC2\xA0") == std::string::npos) continue;
        Cue cue;
        cue.start = e.start;
        cue.end = e.end;
        cue.line = e.line;
        cue.number = static_cast<int>(i + 1);
        cue.placement = AssPlacement(script, e);
        for (const AssRun& r : e.runs) {
            const double time = r.look.karaoke ? std::min(e.end, e.start + r.look.karaokeStart) : e.start;
            cue.timedWords = cue.timedWords || r.look.karaoke != 0;
            cue.pieces.push_back(CuePiece{r.text, r.look.style.italic, r.look.style.bold != 0, time});
        }
        cues.push_back(std::move(cue));
    }
    std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.start < b.start; });
    return cues;
}

AssScript CaptionScript(ITitleHost& host, const std::vector<Cue>& cues, const CaptionStyle& style, int width, int height) {
    AssScript script;
    const float scale = CaptionScale(style, width, height);
    script.playResX = std::max(1, static_cast<int>(std::lround(width / scale)));
    script.playResY = std::max(1, static_cast<int>(std::lround(height / scale)));
    script.wrapStyle = 0;
    script.info.emplace_back("Title", "captions");
    AssStyle s;
    const CharStyle& t = style.text;
    s.font = Utf16ToUtf8(std::u16string(t.font.FaceName));
    if (s.font.empty()) s.font = "Arial";
    float perEm = 1;
    if (Expected<HostPtr> measuring = NewHost()) {
        FontHeights heights(std::move(*measuring));
        if (Expected<FaceHeights> h = heights.PerEm(t)) perEm = h->cell;
    }
    (void)host;
    const float em = std::fabs(t.font.Size);
    s.size = std::round(em * perEm * 100) / 100;
    const auto colorOf = [](uint32_t bgr, uint32_t alpha) { return AssColor{bgr & 0xFFFFFF, static_cast<uint8_t>(255 - (alpha & 0xFF))}; };
    const AssColor fill = colorOf(t.face.Color1, t.face.Alpha);
    s.colors[1] = fill;
    s.colors[0] = style.highlight ? colorOf(style.highlight->face.Color1, style.highlight->face.Alpha) : fill;
    const bool border = (t.border.Enable & 0xFF) && t.border.Size >= 1;
    s.colors[2] = colorOf(t.border.Color1, border ? t.border.Alpha : 0);
    const bool shadow = (t.shadow.EnableFace | t.shadow.EnableBorder) & 0xFF;
    s.colors[3] = colorOf(t.shadow.Color1, shadow ? t.shadow.Alpha : 0);
    s.bold = t.font.Bold ? -1 : 0;
    s.italic = t.font.Italic & 0xFF;
    s.outline = border ? std::round(t.border.Size * em / 80 * 100) / 100 : 0;
    s.shadow = shadow ? std::round(std::max(std::fabs(t.shadow.OffsetX), std::fabs(t.shadow.OffsetY)) * 100) / 100 : 0;
    s.scaleX = std::round(t.spacing.WidthScale * 10000) / 100;
    s.spacing = t.spacing.Spacing;
    s.alignment = (style.anchor.y == 2 ? 0 : style.anchor.y == 1 ? 3 : 6) + style.anchor.x + 1;
    const int frameW = script.playResX;
    const int wide = static_cast<int>(std::lround(style.width));
    s.marginL = s.marginR = static_cast<int>(std::lround(style.marginX));
    if (style.anchor.x == 1) s.marginL = s.marginR = std::max(s.marginL, (frameW - wide) / 2);
    if (style.anchor.x == 0) s.marginR = std::max(0, frameW - s.marginL - wide);
    if (style.anchor.x == 2) s.marginL = std::max(0, frameW - s.marginR - wide);
    s.marginV = static_cast<int>(std::lround(style.marginY));
    script.styles.push_back(s);
    for (const Cue& cue : cues) {
        AssEvent e;
        e.start = cue.start;
        e.end = cue.end;
        e.line = cue.line;
        bool italic = false, bold = false;
        double at = cue.start;
        for (size_t p = 0; p < cue.pieces.size(); ++p) {
            const CuePiece& piece = cue.pieces[p];
            std::string tags;
            if (piece.italic != italic) tags += piece.italic ? "\\i1" : "\\i0", italic = piece.italic;
            if (piece.bold != bold) tags += piece.bold ? "\\b1" : "\\b0", bold = piece.bold;
            if (cue.timedWords) {
                // The text before the first spoken time waits in a syllable of its own.
                if (p == 0 && piece.time > cue.start) e.text += "{\\k" + std::to_string(std::lround((piece.time - cue.start) * 100)) + "}";
                const double next = p + 1 < cue.pieces.size() ? cue.pieces[p + 1].time : cue.end;
                tags += "\\k" + std::to_string(std::max(0L, std::lround((next - std::max(at, piece.time)) * 100)));
                at = std::max(at, next);
            }
            if (!tags.empty()) e.text += "{" + tags + "}";
            for (char ch : piece.text)
                e.text += ch == '\n' ? std::string("\\N") : ch == '{' ? std::string("(") : ch == '}' ? std::string(")") : std::string(1, ch);
        }
        script.events.push_back(std::move(e));
    }
    return script;
}

}  // namespace qeltitle
