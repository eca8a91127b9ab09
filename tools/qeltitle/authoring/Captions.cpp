#include "authoring/Captions.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>

#include "authoring/KeyFrames.h"
#include "authoring/Language.h"
#include "authoring/LineBreak.h"
#include "authoring/PlateJson.h"
#include "authoring/Text.h"
#include "commands/DataFiles.h"
#include "player/TitleFiles.h"
#include "player/TitleMeta.h"

namespace qeltitle {

using namespace qel;

namespace {

constexpr float kNoWrap = 1e9f;  // a width limit no caption line reaches

void ReadEffect(const JsonField& f, CaptionEffect& e) {
    if (f.Value().is_null()) {
        e = CaptionEffect{};
        return;
    }
    f.RequireObject({"effect", "duration"});
    if (f.Has("effect")) {
        const JsonField id = f.Member("effect");
        e.effect = id.Value().is_null() ? std::string() : id.String();
        if (e.effect == "none") e.effect.clear();
        if (e.effect.size() >= 260) id.Fail("at most 259 characters");
    }
    if (f.Has("duration")) e.seconds = f.Member("duration").Number(0, 60);
}

struct WordRun {
    std::u16string text;
    bool italic = false, bold = false;
};
// A piece of a cue between two places its line may break (a word in a spaced script, a syllable
// or word of Thai, one character of Chinese or Japanese).
struct Word {
    std::vector<WordRun> runs;
    double time = 0;               // seconds
    bool breakBefore = false;      // the author started a line here
    bool spaceBefore = false;      // a space parts it from the word before
    bool phraseEnd = false;        // it ends a phrase or sentence (a comma, a full stop, ...)
    int first = 0, end = 0;        // characters in the caption's string
    size_t length = 0;             // code units of text
};

bool IsCueSpace(char16_t c) { return IsBreakSpace(c) || c == u'\n'; }

bool EndsPhrase(const std::u16string& text) {
    static constexpr std::u16string_view kClosing = u"\"')\u201D\u2019\u300D\u300F\uFF09";
    static constexpr std::u16string_view kPunctuation = u",.;:!?\u2026\u3001\u3002\uFF0C\uFF01\uFF1F\uFF1B\uFF1A\u060C\u061F\u06D4\u0964\u0965";
    size_t i = text.size();
    while (i > 0 && kClosing.find(text[i - 1]) != std::u16string_view::npos) --i;
    return i > 0 && kPunctuation.find(text[i - 1]) != std::u16string_view::npos;
}

// The cue's text cut where lines may break (LineBreak.h), the spaces and line ends between the
// pieces noted rather than kept.
std::vector<Word> SplitWords(const Cue& cue, const std::string& language) {
    std::u16string text;
    std::vector<const CuePiece*> owner;  // the piece of each code unit
    for (const CuePiece& piece : cue.pieces)
        for (char16_t c : Utf8ToUtf16(piece.text)) {
            text += c == u'\t' ? u' ' : c;
            owner.push_back(&piece);
        }
    std::vector<Word> words;
    bool space = false, newline = false;
    size_t from = 0;
    const auto note = [&](size_t a, size_t b) {
        for (size_t k = a; k < b; ++k) (text[k] == u'\n' ? newline : space) = true;
    };
    for (const BreakOpportunity& b : LineBreakOpportunities(text, language)) {
        const size_t start = from, e = b.at;
        from = b.at;
        size_t a = start;
        while (a < e && IsCueSpace(text[a])) ++a;
        note(start, a);
        size_t t = e;
        while (t > a && IsCueSpace(text[t - 1])) --t;
        if (a < t) {
            Word w;
            w.time = owner[a]->time;
            w.breakBefore = newline && !words.empty();
            w.spaceBefore = (space || newline) && !words.empty();
            for (size_t k = a; k < t; ++k) {
                const CuePiece& p = *owner[k];
                if (w.runs.empty() || w.runs.back().italic != p.italic || w.runs.back().bold != p.bold)
                    w.runs.push_back(WordRun{{}, p.italic, p.bold});
                w.runs.back().text += text[k] == u'\n' ? u' ' : text[k];
            }
            w.length = t - a;
            w.phraseEnd = EndsPhrase(w.runs.back().text);
            words.push_back(std::move(w));
            space = newline = false;
        }
        note(t, e);
    }
    return words;
}

CharStyle RunStyle(const CharStyle& base, const WordRun& run) {
    CharStyle s = base;
    if (run.italic) s.font.Italic = 1;
    if (run.bold) s.font.Bold = 1;
    return s;
}

// The string content of `lines` (each a range of words), the words' character ranges filled in.
// Captions are new titles: their lines are even unless the style says otherwise, and shaped in
// their language.
StringContent LinesContent(std::vector<Word>& words, const std::vector<std::pair<int, int>>& lines, const CharStyle& style,
                           const ParagraphAttrs& paragraph, const StringAttrs& attrs, const std::string& language,
                           bool evenLines = true) {
    StringContent c;
    c.language = language;
    c.evenLines = evenLines;
    c.attrs = attrs;
    c.attrs.WidthLimit = kNoWrap;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (l > 0) c.text += u"\r\n";
        for (int w = lines[l].first; w < lines[l].second; ++w) {
            if (w > lines[l].first && words[w].spaceBefore) c.text += u' ';
            words[w].first = static_cast<int>(c.text.size());
            for (const WordRun& run : words[w].runs) {
                const CharStyle s = RunStyle(style, run);
                if (c.spans.empty() || !SameStyle(c.spans.back().second, s))
                    c.spans.emplace_back(static_cast<int>(c.text.size()), s);
                c.text += run.text;
            }
            words[w].end = static_cast<int>(c.text.size());
        }
    }
    if (c.spans.empty()) c.spans.emplace_back(0, style);
    // Spaces and breaks take the style of the text before them: spans only change inside words.
    c.paragraphs.assign(lines.size(), paragraph);
    return c;
}

// Balanced breaking: the fewest lines (at most maxLines) whose longest line fits `width`, and
// among those the smallest longest line. `span(i, j)` is the width of words i..j-1 on one line.
template <typename Span>
std::vector<std::pair<int, int>> BreakLines(int n, int maxLines, float width, const Span& span, bool& fits) {
    const float inf = std::numeric_limits<float>::infinity();
    maxLines = std::max(1, std::min(maxLines, n));
    std::vector<std::vector<float>> best(maxLines + 1, std::vector<float>(n + 1, inf));
    std::vector<std::vector<int>> from(maxLines + 1, std::vector<int>(n + 1, 0));
    best[0][0] = 0;
    for (int k = 1; k <= maxLines; ++k)
        for (int j = 1; j <= n; ++j)
            for (int i = k - 1; i < j; ++i) {
                const float v = std::max(best[k - 1][i], span(i, j));
                if (v < best[k][j]) best[k][j] = v, from[k][j] = i;
            }
    int lines = maxLines;
    for (int k = 1; k <= maxLines; ++k)
        if (best[k][n] <= width) {
            lines = k;
            break;
        }
    fits = best[lines][n] <= width;
    std::vector<std::pair<int, int>> out(lines);
    for (int k = lines, j = n; k >= 1; --k) {
        out[k - 1] = {from[k][j], j};
        j = from[k][j];
    }
    return out;
}

// The placed box of a string (union of its characters' boxes), layout units at scale 1.
RectF Box(ITitleHost& host, int row) {
    float minX = 1e30f, minY = 1e30f, maxX = -1e30f, maxY = -1e30f;
    for (int32_t i = 0, n = host.GetCharCount(row); i < n; ++i) {
        RectF r{};
        if (host.GetCharRect(row, i, &r, 0) != S_OK) continue;
        minX = std::min(minX, r.x), minY = std::min(minY, r.y);
        maxX = std::max(maxX, r.x + r.width), maxY = std::max(maxY, r.y + r.height);
    }
    return minX > maxX ? RectF{} : RectF{minX, minY, maxX - minX, maxY - minY};
}

bool Move(ITitleHost& host, int row, float dx, float dy, std::string& error) {
    StringAttrs a{};
    host.GetStringAttrs(row, &a);
    a.Left = std::round(a.Left + dx);
    a.Top = std::round(a.Top + dy);
    host.SetDefaultString(&a);
    if (const HRESULT s = host.ApplyString(row); s != S_OK) {
        error = "the title library could not place a caption: " + StatusText(s);
        return false;
    }
    return true;
}

// Key frames on title time, each later than the one before (a key at the same time replaces it).
struct Keys {
    std::vector<KeyFrame> frames;
    void Add(float key, const std::string& id, float progress) {
        key = std::clamp(key, 0.0f, 1.0f);
        if (!frames.empty() && key <= frames.back().key) key = frames.back().key;
        if (!frames.empty() && key == frames.back().key)
            frames.back() = {key, id, progress};
        else
            frames.push_back({key, id, progress});
    }
};

}  // namespace

CaptionStyle DefaultCaptionStyle(ITitleHost& host) {
    const JsonDefaults d = DefaultsForJson(host);
    CaptionStyle s;
    s.text = d.chars;
    s.text.font.Size = 64;
    s.text.border = MetaBorder{1, 5, 0, 0, 0, 255, 0};
    s.paragraph = d.paragraph;
    return s;
}

QelPlate CaptionBox() {
    QelPlate p = DefaultPlate();
    p.Per = QEL_PLATE_PER_LINE;
    p.PadX = 16;
    p.PadY = 2;
    p.Alpha = 0xA0;
    return p;
}

namespace {

// A style's "plate": an object over the defaults of "plate": {} (times are title times, 0 to 1,
// of each caption), or false or null for none.
void ReadCaptionPlate(const JsonField& f, std::optional<QelPlate>& plate) {
    if (f.Value().is_null() || (f.IsBool() && !f.Bool())) {
        plate.reset();
        return;
    }
    if (!f.IsObject()) f.Fail("expected a plate object, or false");
    if (f.Has("chars")) f.Member("chars").Fail("a caption's plate covers its text");
    QelPlate p = plate.value_or(DefaultPlate());
    ReadPlate(f, p, std::nullopt);
    plate = p;
}

}  // namespace

bool ReadCaptionStyle(ITitleHost& host, std::string_view text, const std::string& source, CaptionStyle& style,
                      std::string& error) {
    Json doc;
    if (!ParseJsonText(text, source, doc, error)) return false;
    try {
        const JsonField root(doc, "");
        root.RequireObject({"description", "style", "highlight", "anchor", "margin", "width", "lines", "minSize", "lang",
                            "gap", "frameWidth", "in", "out", "word", "phrase", "stayLit", "past", "sweep", "plate"});
        const JsonDefaults d = DefaultsForJson(host);
        ReadStyleMember(root, style.text, style.paragraph);
        if (root.Has("highlight")) {
            const JsonField h = root.Member("highlight");
            if (h.Value().is_null()) {
                style.highlight.reset();
            } else {
                std::vector<std::string_view> keys(std::begin(kCharStyleKeys), std::end(kCharStyleKeys));
                keys.push_back("plate");
                h.RequireObject(keys);
                CharStyle hs = style.text;
                ReadCharStyle(h, hs);
                style.highlight = hs;
                if (h.Has("plate")) ReadCaptionPlate(h.Member("plate"), style.highlightPlate);
            }
        }
        if (root.Has("anchor") && !ParseAnchor(root.Member("anchor").String(), style.anchor))
            root.Member("anchor").Fail("expected top-left, top, top-right, left, center, right, bottom-left, bottom "
                                       "or bottom-right");
        if (root.Has("margin")) {
            const JsonField m = root.Member("margin");
            if (m.IsArray()) {
                if (m.Size() != 2) m.Fail("expected a number or [X, Y]");
                style.marginX = m.Element(0).Float(-1e5, 1e5);
                style.marginY = m.Element(1).Float(-1e5, 1e5);
            } else {
                style.marginX = style.marginY = m.Float(-1e5, 1e5);
            }
        }
        if (root.Has("width")) style.width = root.Member("width").Float(1, 1e6);
        if (root.Has("lines")) style.lines = static_cast<int>(root.Member("lines").Integer(1, 20));
        if (root.Has("minSize")) style.minSize = root.Member("minSize").Float(1, 4096);
        if (root.Has("lang")) {
            const JsonField lang = root.Member("lang");
            style.language = lang.String();
            if (!IsLanguageTag(style.language)) lang.Fail("expected a BCP 47 language tag such as \"ja\" or \"zh-Hant\"");
        }
        if (root.Has("stayLit")) style.stayLit = root.Member("stayLit").Bool();
        if (root.Has("sweep")) style.sweep = root.Member("sweep").Bool();
        if (root.Has("past")) {
            const JsonField h = root.Member("past");
            if (h.Value().is_null()) {
                style.past.reset();
            } else {
                h.RequireObject(std::vector<std::string_view>(std::begin(kCharStyleKeys), std::end(kCharStyleKeys)));
                CharStyle ps = style.text;
                ReadCharStyle(h, ps);
                style.past = ps;
            }
        }
        if (root.Has("plate")) ReadCaptionPlate(root.Member("plate"), style.plate);
        if (root.Has("gap")) style.gap = root.Member("gap").Float(0, 1e5);
        if (root.Has("frameWidth")) style.frameWidth = static_cast<int>(root.Member("frameWidth").Integer(16, kMaxFrameSide));
        if (root.Has("in")) ReadEffect(root.Member("in"), style.in);
        if (root.Has("out")) ReadEffect(root.Member("out"), style.out);
        if (root.Has("word")) ReadEffect(root.Member("word"), style.word);
        if (root.Has("phrase")) {
            const JsonField p = root.Member("phrase");
            p.RequireObject({"gap", "words", "chars"});
            if (p.Has("chars")) style.phraseChars = static_cast<int>(p.Member("chars").Integer(0, 1000));
            if (p.Has("gap")) style.phraseGap = p.Member("gap").Number(0, 60);
            if (p.Has("words")) style.phraseWords = static_cast<int>(p.Member("words").Integer(1, 100));
        }
        (void)d;
    } catch (const JsonFieldError& e) {
        error = DescribeFieldError(e, text, source);
        return false;
    }
    return true;
}

void ApplyCueCss(const CueCss& css, CaptionStyle& style, std::vector<std::string>& warnings) {
    for (CharStyle* s : {&style.text, style.highlight ? &*style.highlight : nullptr}) {
        if (!s) continue;
        if (css.color && s == &style.text) {
            const uint32_t rgba = *css.color;
            s->face.Color1 = s->face.Color2 = ((rgba >> 24) & 0xFF) | (((rgba >> 16) & 0xFF) << 8) | (((rgba >> 8) & 0xFF) << 16);
            s->face.Alpha = rgba & 0xFF;
        }
        if (css.fontFamily) {
            const std::u16string face = Utf8ToUtf16(*css.fontFamily);
            if (face.size() <= 31) {
                std::fill(std::begin(s->font.FaceName), std::end(s->font.FaceName), u'\0');
                std::copy(face.begin(), face.end(), s->font.FaceName);
            }
        }
        const float sign = s->font.Size < 0 ? -1.0f : 1.0f;
        if (css.fontSize) s->font.Size = sign * static_cast<float>(std::clamp(*css.fontSize, 1.0, 4096.0));
        if (css.fontScale) s->font.Size = sign * static_cast<float>(std::clamp(std::fabs(s->font.Size) * *css.fontScale, 1.0, 4096.0));
        if (css.bold) s->font.Bold = *css.bold ? 1 : 0;
        if (css.italic) s->font.Italic = *css.italic ? 1 : 0;
        if (css.underline) s->font.Underline = *css.underline ? 1 : 0;
        if (css.strikeOut) s->font.StrikeOut = *css.strikeOut ? 1 : 0;
    }
    if (css.fontFamily && Utf8ToUtf16(*css.fontFamily).size() > 31)
        warnings.push_back("::cue font-family '" + *css.fontFamily + "' is longer than a face name may be; ignored");
    if (css.background) {
        // A cue's background is a box behind each of its lines, as players draw it; a transparent
        // one is no box.
        const uint32_t rgba = *css.background;
        if ((rgba & 0xFF) == 0) {
            style.plate.reset();
        } else {
            QelPlate p = style.plate.value_or(CaptionBox());
            p.Color1 = p.Color2 = ((rgba >> 24) & 0xFF) | (((rgba >> 16) & 0xFF) << 8) | (((rgba >> 8) & 0xFF) << 16);
            p.Alpha = rgba & 0xFF;
            style.plate = p;
        }
    }
}

CueCss CssOfStyle(const CaptionStyle& style) {
    const FontSpec& font = style.text.font;
    const uint32_t c = style.text.face.Color1;
    CueCss css;
    css.color = ((c & 0xFF) << 24) | (((c >> 8) & 0xFF) << 16) | (((c >> 16) & 0xFF) << 8) | (style.text.face.Alpha & 0xFF);
    std::u16string face(font.FaceName, std::find(std::begin(font.FaceName), std::end(font.FaceName), u'\0'));
    if (!face.empty()) css.fontFamily = Utf16ToUtf8(face);
    css.bold = font.Bold != 0;
    css.italic = (font.Italic & 0xFF) != 0;
    if (style.plate && style.plate->Alpha != 0) {
        const uint32_t b = style.plate->Color1;
        css.background = ((b & 0xFF) << 24) | (((b >> 8) & 0xFF) << 16) | (((b >> 16) & 0xFF) << 8) | (style.plate->Alpha & 0xFF);
    }
    return css;
}

void SetCaptionLanguage(ITitleHost& host, CaptionStyle& style, const std::string& tag) {
    style.language = tag;
    const CharStyle plain = DefaultCaptionStyle(host).text;
    if (std::equal(std::begin(plain.font.FaceName), std::end(plain.font.FaceName), std::begin(style.text.font.FaceName))) {
        const std::u16string face = Utf8ToUtf16(FaceForLanguage(tag));
        if (face.empty() || face.size() > 31) return;
        for (CharStyle* s : {&style.text, style.highlight ? &*style.highlight : nullptr, style.past ? &*style.past : nullptr}) {
            if (!s) continue;
            std::fill(std::begin(s->font.FaceName), std::end(s->font.FaceName), u'\0');
            std::copy(face.begin(), face.end(), s->font.FaceName);
        }
    }
}

std::string PresetDirectory() { return DataDirectory("presets"); }

std::vector<std::string> InstalledPresets() {
    std::vector<std::string> names;
    const std::string dir = PresetDirectory();
    std::error_code ec;
    if (dir.empty()) return names;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().extension() == ".json" && entry.is_regular_file(ec))
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string PresetPath(const std::string& name) {
    const auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const std::string& preset : InstalledPresets())
        if (lower(preset) == lower(name)) return PresetDirectory() + "/" + preset + ".json";
    return {};
}

// Characters of scripts written without spaces between words.
bool Unspaced(char16_t c) {
    return (c >= 0x0E00 && c <= 0x0EFF) || (c >= 0x1000 && c <= 0x109F) || (c >= 0x1780 && c <= 0x17FF) ||
           (c >= 0x3000 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

std::vector<Cue> GroupWordCues(const std::vector<Cue>& cues, const CaptionStyle& style, WordSpacing spacing) {
    const bool ownSpaces = spacing == WordSpacing::Own;
    std::u16string previous;
    std::vector<Cue> out;
    int words = 0;
    size_t characters = 0;
    bool sentenceEnded = false;
    for (const Cue& cue : cues) {
        std::u16string text = Utf8ToUtf16(cue.Text());
        std::replace(text.begin(), text.end(), u'\n', u' ');
        bool spaced = !ownSpaces || (!text.empty() && IsCueSpace(text.front()));
        while (!text.empty() && IsCueSpace(text.front())) text.erase(0, 1);
        if (spacing == WordSpacing::ByScript && !text.empty() && !previous.empty() &&
            (Unspaced(previous.back()) || Unspaced(text.front())))
            spaced = false;
        previous = text;
        const size_t length = text.size() + (spaced ? 1 : 0);
        const bool startNew = out.empty() || cue.start - out.back().end > style.phraseGap ||
                              words >= style.phraseWords || sentenceEnded || cue.start < out.back().start ||
                              (style.phraseChars > 0 && characters + length > static_cast<size_t>(style.phraseChars));
        if (startNew) {
            Cue phrase = cue;
            phrase.pieces.clear();
            phrase.timedWords = true;
            out.push_back(std::move(phrase));
            words = 0;
            characters = 0;
        } else if (spaced) {
            out.back().pieces.push_back(CuePiece{" ", false, false, cue.start});
            ++characters;
        }
        Cue& phrase = out.back();
        for (CuePiece piece : cue.pieces) {
            for (char& c : piece.text)
                if (c == '\n') c = ' ';
            // A word's own space: the separator above stands for it, or the caption starts there.
            if (spacing != WordSpacing::Spaced) {
                const size_t first = piece.text.find_first_not_of(" \t");
                piece.text.erase(0, first == std::string::npos ? piece.text.size() : first);
            }
            piece.time = cue.start;
            if (!piece.text.empty()) phrase.pieces.push_back(piece);
        }
        phrase.end = std::max(phrase.end, cue.end);
        ++words;
        characters += text.size();
        static constexpr std::u16string_view kClosing = u"\"')\u201D\u2019\u300D\u300F\uFF09";
        static constexpr std::u16string_view kEnds = u".?!\u2026\u3002\uFF01\uFF1F\u061F\u06D4\u0964";
        size_t end = text.size();
        while (end > 0 && (kClosing.find(text[end - 1]) != std::u16string_view::npos || IsCueSpace(text[end - 1]))) --end;
        sentenceEnded = end > 0 && kEnds.find(text[end - 1]) != std::u16string_view::npos;
    }
    return out;
}

bool CueFrames(double start, double end, double fps, int& first, int& last) {
    // A frame is shown from its start: frame i covers [i / fps, (i + 1) / fps).
    const double eps = 1e-6;
    first = static_cast<int>(std::ceil(start * fps - eps));
    last = static_cast<int>(std::ceil(end * fps - eps)) - 1;
    return last >= first && first >= 0;
}

float CaptionScale(const CaptionStyle& style, int width, int height) {
    // Landscape frames at least as wide as 16:9 keep the style's frame width across; narrower
    // ones (4:3, square, portrait) take the text size of a 16:9 frame as tall as their short side.
    const double across = width * 9.0 >= height * 16.0 ? width : std::min(width, height) * 16.0 / 9.0;
    return static_cast<float>(across / style.frameWidth);
}

SafeArea CaptionSafeArea(int frameWidth, int frameHeight) {
    // The title-safe area of broadcast (5 % in from each edge); a portrait frame also keeps its
    // bottom fifth and top tenth clear for the buttons and captions of the apps it plays in.
    const bool portrait = frameHeight > frameWidth;
    return SafeArea{0.05f * frameWidth, (portrait ? 0.10f : 0.05f) * frameHeight, 0.05f * frameWidth,
                    (portrait ? 0.20f : 0.05f) * frameHeight};
}

namespace {

// The side of its box a cue's position names: the cue's own, else the one its alignment implies.
CuePositionAlign EffectivePositionAlign(const CuePlacement& p) {
    if (p.positionAlign != CuePositionAlign::Auto) return p.positionAlign;
    switch (p.align) {
        case CueAlign::Start: case CueAlign::Left: return CuePositionAlign::LineLeft;
        case CueAlign::End: case CueAlign::Right: return CuePositionAlign::LineRight;
        default: return CuePositionAlign::Center;
    }
}

// How far a character's drawing reaches beyond its box (outline, blurs, shadow, and a little for
// glyphs that overhang their advance), layout units.
SafeArea InkOf(const CharStyle& s, const std::optional<QelPlate>& plate) {
    const float size = std::fabs(s.font.Size), em = size / 80;
    const float border = (s.border.Enable & 0xFF) && s.border.Size >= 1 ? (s.border.Size + s.border.BlurRadius) * em : 0;
    const float face = (s.face.Enable & 0xFF) ? s.face.BlurRadius * em : 0;
    const float around = std::max(border, face) + 0.05f * size;
    SafeArea ink{around, around, around, around};
    if ((s.shadow.EnableFace | s.shadow.EnableBorder) & 0xFF) {
        const float reach = around + s.shadow.BlurRadius * em;
        ink.left = std::max(ink.left, reach - s.shadow.OffsetX);
        ink.right = std::max(ink.right, reach + s.shadow.OffsetX);
        ink.top = std::max(ink.top, reach - s.shadow.OffsetY);
        ink.bottom = std::max(ink.bottom, reach + s.shadow.OffsetY);
    }
    if (plate) {
        // The plate's padding, and its shadow beyond that.
        const float sx = plate->ShadowAlpha ? plate->ShadowBlur + std::fabs(plate->ShadowX) : 0;
        const float sy = plate->ShadowAlpha ? plate->ShadowBlur + std::fabs(plate->ShadowY) : 0;
        ink.left = std::max(ink.left, plate->PadX + sx);
        ink.right = std::max(ink.right, plate->PadX + sx);
        ink.top = std::max(ink.top, plate->PadY + sy);
        ink.bottom = std::max(ink.bottom, plate->PadY + sy);
    }
    return ink;
}

// The margins that keep a caption of `ink` inside the safe area, and the width its lines may take.
struct Room {
    float marginX, marginY, width;
};
Room RoomFor(const CaptionStyle& style, const SafeArea& safe, const SafeArea& ink, const FrameSize& frame) {
    Room r{style.marginX, style.marginY, style.width};
    const float left = safe.left + ink.left, right = safe.right + ink.right;
    if (style.anchor.x == 0) r.marginX = std::max(style.marginX, left);
    if (style.anchor.x == 2) r.marginX = std::max(style.marginX, right);
    if (style.anchor.y == 0) r.marginY = std::max(style.marginY, safe.top + ink.top);
    if (style.anchor.y == 2) r.marginY = std::max(style.marginY, safe.bottom + ink.bottom);
    const float across = style.anchor.x == 1 ? frame.width - 2 * std::max(left, right)
                         : style.anchor.x == 0 ? frame.width - r.marginX - right
                                               : frame.width - r.marginX - left;
    // A caption is placed by its drawn extent, which holds its plate's padding on both sides: beside
    // a side anchor the lines have that much less room (the padding on the anchored side is in
    // the margin already).
    const float padding = style.plate && style.anchor.x != 1 ? style.plate->PadX : 0;
    r.width = std::max(1.0f, std::min(style.width, across - padding));
    return r;
}

// The caption's room narrowed by its cue's settings: a vertical cue's columns run down the safe
// area; `size` takes a share of the frame; a position leaves the lines the room on its side (a
// box centred at 20 % has 40 % of the frame); a region its width.
Room PlacedRoom(Room r, const CuePlacement& p, const SafeArea& safe, const SafeArea& ink, const FrameSize& frame) {
    const bool vertical = p.writing != CueWriting::Horizontal;
    const float across = vertical ? frame.height : frame.width;
    if (vertical) r.width = frame.height - safe.top - ink.top - safe.bottom - ink.bottom;
    if (p.size) r.width = std::min(r.width, static_cast<float>(*p.size / 100 * across));
    if (p.position) {
        const double pos = *p.position;
        const CuePositionAlign a = EffectivePositionAlign(p);
        const double share = a == CuePositionAlign::LineLeft ? 100 - pos : a == CuePositionAlign::LineRight ? pos
                                                                                                           : 2 * std::min(pos, 100 - pos);
        r.width = std::min(r.width, static_cast<float>(share / 100 * across - (vertical ? ink.top + ink.bottom : ink.left + ink.right)));
    }
    if (p.region) r.width = std::min(r.width, static_cast<float>(p.region->width / 100 * frame.width - ink.left - ink.right));
    r.width = std::max(1.0f, r.width);
    return r;
}

CharStyle AtSize(CharStyle s, float size) {
    s.font.Size = size;
    return s;
}

// The width of runs of a cue's words set on one line: span(i, j) is words i..j-1.
struct Widths {
    std::vector<float> before;   // advances before each character of the one-line string
    std::vector<int> first, end;  // each word's characters in it
    float Span(int i, int j) const { return before[end[j - 1]] - before[first[i]]; }
};

bool Measure(ITitleHost& host, std::vector<Word>& words, const CharStyle& style, const ParagraphAttrs& paragraph,
             const StringAttrs& attrs, const std::string& language, const FrameSize& frame, std::vector<std::string>& warnings,
             const std::string& where, std::string& error, Widths& out) {
    host.RemoveAllStrings();
    int row = 0;
    const int n = static_cast<int>(words.size());
    StringContent probe = LinesContent(words, {{0, n}}, style, paragraph, attrs, language);
    if (!AddStringContent(host, probe, frame, warnings, where, error, &row)) return false;
    // A line's width is the sum of its characters' advances, not the distance between its first
    // and last character: in right-to-left and mixed lines logical ends are not visual ends.
    out.before.assign(probe.text.size() + 1, 0.0f);
    for (size_t i = 0; i < probe.text.size(); ++i) {
        RectF r{};
        host.GetCharRect(row, static_cast<int>(i), &r, 0);
        out.before[i + 1] = out.before[i] + (attrs.Vertical ? r.height : r.width);
    }
    out.first.resize(n);
    out.end.resize(n);
    for (int w = 0; w < n; ++w) out.first[w] = words[w].first, out.end[w] = words[w].end;
    return true;
}

// Words [from, to) of a cue, shown from `start` to `end` seconds.
struct Part {
    int from = 0, to = 0;
    double start = 0, end = 0;
};

// Cuts words into parts that each fit `maxLines` lines of `width`: each part as long as fits,
// ending after a phrase (a comma, a full stop) or else between spaced words in its second half
// when there is one. A word wider than a line is a part of its own.
std::vector<Part> SplitToFit(const std::vector<Word>& words, const Widths& m, int maxLines, float width) {
    const int n = static_cast<int>(words.size());
    std::vector<Part> parts;
    for (int a = 0; a < n;) {
        int b = a + 1;
        for (int c = a + 2; c <= n; ++c) {
            bool fits = false;
            BreakLines(c - a, maxLines, width, [&](int i, int j) { return m.Span(a + i, a + j); }, fits);
            if (!fits) break;
            b = c;
        }
        int cut = b;
        if (b < n) {
            const int half = a + std::max(1, (b - a) / 2);
            int phrase = 0, spaced = 0;
            for (int c = b; c > half && !phrase; --c)
                if (words[c - 1].phraseEnd) phrase = c;
            for (int c = b; c > half && !spaced; --c)
                if (words[c].spaceBefore) spaced = c;
            cut = phrase ? phrase : spaced ? spaced : b;
        }
        parts.push_back(Part{a, cut, 0, 0});
        a = cut;
    }
    return parts;
}

// The times of the parts of a cue: from the spoken times of their first words when the cue has
// them and they increase, else shared out by the length of the parts' text.
void TimeParts(const Cue& cue, const std::vector<Word>& words, std::vector<Part>& parts) {
    bool spoken = cue.timedWords;
    for (size_t k = 1; k < parts.size() && spoken; ++k)
        spoken = words[parts[k].from].time > (k == 1 ? cue.start : words[parts[k - 1].from].time) &&
                 words[parts[k].from].time < cue.end;
    size_t total = 0;
    for (const Word& w : words) total += w.length;
    size_t done = 0;
    for (size_t k = 0; k < parts.size(); ++k) {
        parts[k].start = k == 0 ? cue.start
                         : spoken ? words[parts[k].from].time
                                  : cue.start + (cue.end - cue.start) * static_cast<double>(done) / std::max<size_t>(total, 1);
        for (int w = parts[k].from; w < parts[k].to; ++w) done += words[w].length;
        if (k > 0) parts[k - 1].end = parts[k].start;
    }
    parts.back().end = cue.end;
}

std::string SizeText(float size) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(size * 10) / 10);
    return text;
}


// Where a cue's settings put its caption's box (top-left corner, layout units) in `inner`, the safe
// area less the caption's ink; axes the settings leave out keep the style's place (none). A line
// number counts lines of the caption from the top of the safe area (from its bottom when
// negative); percentages are of the frame. A vertical cue's lines are columns: its line counts
// from the right (rl) or the left (lr) and its position runs down the frame.
struct Spot {
    std::optional<float> x, y;
};
Spot SpotForCue(const CuePlacement& p, const RectF& box, int lineCount, const RectF& inner, const FrameSize& frame) {
    Spot spot;
    const bool vertical = p.writing != CueWriting::Horizontal;
    const auto along = [&](float origin, float extent, float length, float frameLength) -> std::optional<float> {
        if (!p.position && p.align == CueAlign::Center && !vertical) return std::nullopt;
        const CuePositionAlign a = EffectivePositionAlign(p);
        const double pos = p.position ? *p.position : a == CuePositionAlign::LineLeft ? 0 : a == CuePositionAlign::LineRight ? 100 : 50;
        float at = static_cast<float>(pos / 100 * frameLength);
        if (a == CuePositionAlign::Center) at -= length / 2;
        if (a == CuePositionAlign::LineRight) at -= length;
        return std::clamp(at, origin, std::max(origin, origin + extent - length));
    };
    const int count = std::max(1, lineCount);
    if (!vertical) {
        spot.x = along(inner.x, inner.width, box.width, static_cast<float>(frame.width));
        if (p.line) {
            const float lh = box.height / count;
            float top = 0;
            if (p.snapToLines)
                top = *p.line >= 0 ? inner.y + static_cast<float>(*p.line) * lh
                                   : inner.y + inner.height + static_cast<float>(*p.line + 1) * lh - box.height;
            else
                top = static_cast<float>(*p.line / 100 * frame.height) -
                      (p.lineAlign == CueLineAlign::Center ? box.height / 2 : p.lineAlign == CueLineAlign::End ? box.height : 0);
            spot.y = std::clamp(top, inner.y, std::max(inner.y, inner.y + inner.height - box.height));
        }
        if (p.region) {
            // The region's box, the cue at its bottom and at its position inside it.
            const CueRegion& r = *p.region;
            const float rw = static_cast<float>(r.width / 100 * frame.width), rh = r.lines * box.height / count;
            const float rx = static_cast<float>(r.viewportX / 100 * frame.width - r.anchorX / 100 * rw);
            const float ry = static_cast<float>(r.viewportY / 100 * frame.height - r.anchorY / 100 * rh);
            const CuePositionAlign a = EffectivePositionAlign(p);
            const double pos = p.position ? *p.position : a == CuePositionAlign::LineLeft ? 0 : a == CuePositionAlign::LineRight ? 100 : 50;
            float x = rx + static_cast<float>(pos / 100) * rw;
            if (a == CuePositionAlign::Center) x -= box.width / 2;
            if (a == CuePositionAlign::LineRight) x -= box.width;
            spot.x = std::clamp(x, inner.x, std::max(inner.x, inner.x + inner.width - box.width));
            spot.y = std::clamp(ry + rh - box.height, inner.y, std::max(inner.y, inner.y + inner.height - box.height));
        }
        return spot;
    }
    spot.y = along(inner.y, inner.height, box.height, static_cast<float>(frame.height));
    const bool rl = p.writing == CueWriting::VerticalRl;
    const float cw = box.width / count, left = inner.x, right = inner.x + inner.width;
    float x = rl ? right - box.width : left;
    if (p.line && p.snapToLines) {
        const float n = static_cast<float>(*p.line);
        if (rl) x = n >= 0 ? right - n * cw - box.width : left + (-n - 1) * cw;
        else x = n >= 0 ? left + n * cw : right + (n + 1) * cw - box.width;
    } else if (p.line) {
        const float at = static_cast<float>(*p.line / 100 * frame.width);
        const bool start = p.lineAlign == CueLineAlign::Start, end = p.lineAlign == CueLineAlign::End;
        x = p.lineAlign == CueLineAlign::Center ? at - box.width / 2 : (rl ? start : end) ? at - box.width : at;
    }
    spot.x = std::clamp(x, left, std::max(left, right - box.width));
    return spot;
}

// A caption on screen from frame `first` to `last`, moved `offset` up (or down) from its place.
struct Placed {
    int first, last;
    float offset, height;
};

// Whether a word reads from right to left: its first letter with a strong direction does.
bool ReadsRightToLeft(const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        UChar32 c = text[i];
        if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) c = U16_GET_SUPPLEMENTARY(text[i], text[i + 1]), ++i;
        switch (u_charDirection(c)) {
            case U_RIGHT_TO_LEFT:
            case U_RIGHT_TO_LEFT_ARABIC: return true;
            case U_LEFT_TO_RIGHT: return false;
            default: break;
        }
    }
    return false;
}

// When a word's highlight gives way to its past looks (or to the text's), over half a frame: at
// the end of its time once swept across it, else half a frame before, as the next word lights.
float GiveWay(const CaptionStyle& style, float wordEnd, float halfFrame) {
    return style.sweep ? wordEnd : wordEnd - halfFrame;
}

// The title of one caption: `words` in `lines`, placed by the anchor in `room`, stacked clear of
// the captions on screen at the same time, entering and leaving by the style's effects.
bool PlaceCaption(ITitleHost& host, std::vector<Word>& words, const std::vector<std::pair<int, int>>& lines,
                  const CharStyle& text, const std::optional<CharStyle>& highlight,
                  const std::optional<CharStyle>& past, bool timedWords,
                  const CaptionStyle& style, const Room& room, const FrameSize& frame, const StringAttrs& attrs,
                  double fps, const CuePlacement& placement, const RectF& inner, std::vector<Placed>* placed,
                  CaptionTitle& title, std::vector<std::string>& warnings, const std::string& where, std::string& error) {
    const int n = static_cast<int>(words.size());
    host.RemoveAllStrings();
    int row = 0;
    // Columns from left to right are columns from right to left in the other order.
    std::vector<std::pair<int, int>> order = lines;
    if (placement.writing == CueWriting::VerticalLr) std::reverse(order.begin(), order.end());
    StringContent content = LinesContent(words, order, text, style.paragraph, attrs, style.language, style.evenLines);
    content.anchor = style.anchor;
    content.marginX = room.marginX;
    content.marginY = room.marginY;
    if (style.plate) content.plates.push_back({-1, *style.plate});
    if (!AddStringContent(host, content, frame, warnings, where, error, &row)) return false;
    const RectF box = Box(host, row);
    const Spot spot = SpotForCue(placement, box, static_cast<int>(lines.size()), inner, frame);
    // Stacked captions keep their plates apart.
    const float height = box.height + (style.plate ? 2 * style.plate->PadY : 0);
    float offset = 0;
    for (bool moved = placed != nullptr; moved;) {
        moved = false;
        for (const Placed& p : *placed)
            if (p.first <= title.last && title.first <= p.last && offset < p.offset + p.height + style.gap &&
                p.offset < offset + height + style.gap) {
                offset = p.offset + p.height + style.gap;
                moved = true;
            }
    }
    if (placed) placed->push_back({title.first, title.last, offset, height});
    const float dx = spot.x ? *spot.x - box.x : 0;
    const float dy = (spot.y ? *spot.y - box.y : 0) + (style.anchor.y == 0 && !placement.region ? offset : -offset);
    if ((dx != 0 || dy != 0) && !Move(host, row, dx, dy, error)) return false;

    // Title time of a moment of the cue, and the spans of the effects: frame i of the cue's
    // `frames` is drawn at (i - first) / frames, as every span of frames is (player/TitlePlayer.h).
    const int frames = title.last - title.first + 1;
    const auto T = [&](double seconds) {
        return static_cast<float>(std::clamp((seconds * fps - title.first) / frames, 0.0, 1.0));
    };
    const auto length = [&](double seconds) { return static_cast<float>(seconds * fps / frames); };
    const bool still = frames == 1;
    const std::string in = still || style.in.effect.empty() ? "PATH_NOEFFECT" : style.in.effect;
    const std::string outId = still || style.out.effect.empty() ? "PATH_NOEFFECT" : style.out.effect;
    const float inEnd = std::min(length(style.in.seconds), 0.5f);
    const float outStart = std::max(1.0f - length(style.out.seconds), 0.5f);

    // Words that neither come in one by one nor light up need no strings of their own: the caption
    // stays one string, kerned across its words, which an exit wipe takes away as a whole.
    const bool wordByWord = timedWords && !still && (!style.word.effect.empty() || highlight);
    if (!wordByWord) {
        if (!SetKeyFrames(host, row, EffectSchedule(in, 0.0f, inEnd, outId, outStart, 1.0f), error)) return false;
    } else {
        // The words' places in the caption. Without a word effect the caption itself stays and
        // enters whole (no word enters as a fragment of its own); with one, each word is a string
        // that enters by it. The spoken and sung words' looks are strings of their own on top.
        std::vector<RectF> at(n);
        for (int w = 0; w < n; ++w) host.GetCharRect(row, words[w].first, &at[w], 0);
        StringAttrs placedAt{};
        host.GetStringAttrs(row, &placedAt);
        // (With plates the band is a string of its own under the words, as below.)
        const bool wholeLine = style.word.effect.empty() && !style.plate;
        if (wholeLine) {
            if (!SetKeyFrames(host, row, EffectSchedule(in, 0.0f, inEnd, outId, outStart, 1.0f), error)) return false;
        } else {
            host.RemoveAllStrings();
        }
        if (style.plate) {
            // The caption's plates as a string of their own under the words, which draws the
            // caption's text invisibly: one band per line however its words come and go, entering
            // and leaving with the caption.
            StringContent band = content;
            for (auto& [first, spanStyle] : band.spans) {
                spanStyle.face.Enable = 0;
                spanStyle.border = qel::MetaBorder{};
                spanStyle.shadow = qel::MetaShadow{};
            }
            band.anchor.reset();
            band.hasAt = true;
            band.attrs.Left = placedAt.Left;
            band.attrs.Top = placedAt.Top;
            int r = 0;
            if (!AddStringContent(host, band, frame, warnings, where, error, &r)) return false;
            if (!SetKeyFrames(host, r, EffectSchedule(in, 0.0f, inEnd, outId, outStart, 1.0f), error)) return false;
        }
        const float halfFrame = 0.5f / frames;
        // The looks of a word once spoken: its own style, else the highlight's when it stays lit.
        const std::optional<CharStyle>& spoken = past ? past : style.stayLit ? highlight : std::nullopt;
        for (int w = 0; w < n; ++w) {
            const float ws = std::min(T(words[w].time), outStart);
            float we = outStart;
            for (int v = w + 1; v < n; ++v)
                if (words[v].time > words[w].time) {
                    we = std::min(T(words[v].time), outStart);
                    break;
                }
            // copy 0: the word itself (with a word effect); 1: its highlight; 2: its past looks.
            for (int copy = wholeLine ? 1 : 0; copy < 3; ++copy) {
                const std::optional<CharStyle>& looks = copy == 0 ? std::optional<CharStyle>(text)
                                                        : copy == 1 ? highlight : past;
                if (!looks) continue;
                std::vector<Word> one{words[w]};
                one[0].breakBefore = one[0].spaceBefore = false;
                StringContent c = LinesContent(one, {{0, 1}}, *looks, style.paragraph, attrs, style.language, style.evenLines);
                if (copy == 1 && style.highlightPlate) c.plates.push_back({-1, *style.highlightPlate});
                int r = 0;
                if (!AddStringContent(host, c, frame, warnings, where, error, &r)) return false;
                RectF mine{};
                host.GetCharRect(r, 0, &mine, 0);
                if (!Move(host, r, at[w].x - mine.x, at[w].y - mine.y, error)) return false;
                Keys k;
                if (copy == 0 && style.word.effect.empty()) {
                    k.frames = EffectSchedule(in, 0.0f, inEnd, outId, outStart, 1.0f);
                } else if (copy == 0) {
                    k.frames = EffectSchedule(style.word.effect, ws, std::min(ws + length(style.word.seconds), outStart),
                                              outId, outStart, 1.0f);
                } else if (copy == 1) {
                    // From when the word is spoken: filled across it over its time in reading
                    // direction (sweep), or shown within half a frame. It stays until the
                    // caption's exit when the spoken looks are the highlight's, else it gives way
                    // at the next word.
                    const std::string fill = !style.sweep ? "PATH_FADE" : attrs.Vertical ? "PATH_WIPEDOWN"
                                             : ReadsRightToLeft(c.text) ? "PATH_WIPELEFT" : "PATH_WIPERIGHT";
                    const float filled = style.sweep ? std::max(we, ws + halfFrame) : ws;
                    k.Add(0, fill, 0);
                    k.Add(style.sweep ? ws : ws - halfFrame, fill, 0);
                    k.Add(filled, fill, 1);
                    if (we < outStart && !(spoken && !past)) {
                        // (A key apart from the filled one: keys at one time replace each other.)
                        const float gone = std::max(GiveWay(style, we, halfFrame), filled + halfFrame * 0.5f);
                        k.Add(gone, "PATH_FADE", 1);
                        k.Add(gone + halfFrame, "PATH_FADE", 0);
                        k.Add(1, "PATH_FADE", 0);
                    } else {
                        k.Add(outStart, outId, 1);
                        k.Add(1, outId, 0);
                    }
                } else {
                    // The past looks, from the end of the word's time to the caption's exit.
                    if (we >= outStart) continue;
                    const float from = GiveWay(style, we, halfFrame);
                    k.Add(0, "PATH_FADE", 0);
                    k.Add(from, "PATH_FADE", 0);
                    k.Add(from + halfFrame, "PATH_FADE", 1);
                    k.Add(outStart, outId, 1);
                    k.Add(1, outId, 0);
                }
                if (!SetKeyFrames(host, r, k.frames, error)) return false;
            }
        }
    }
    // The cue's title remembers its length and design frame, so it plays alone as it plays here.
    TitleMeta meta;
    meta.length = (title.last - title.first + 1) / fps;
    meta.frame = DesignFrame{frame.width, frame.height};
    Expected<std::string> document = TitleDocument(host, &meta);
    if (!document) return error = where + ": " + document.Message(), false;
    title.document = std::move(*document);
    return true;
}

// The style with a cue's alignment of its lines; the style itself when the cue leaves it alone.
const CaptionStyle& PlacedStyle(const CaptionStyle& style, const CuePlacement& p, CaptionStyle& scratch) {
    if (p.align == CueAlign::Center && !p.region && p.writing == CueWriting::Horizontal) return style;
    scratch = style;
    switch (p.align) {
        case CueAlign::Start: case CueAlign::Left: scratch.paragraph.Align = 0; break;
        case CueAlign::End: case CueAlign::Right: scratch.paragraph.Align = 2; break;
        default: scratch.paragraph.Align = 6; break;
    }
    return scratch;
}

}  // namespace

bool MakeCaptionTitles(const std::vector<Cue>& cues, const CaptionStyle& baseStyle, int width, int height, double fps,
                       std::vector<CaptionTitle>& out, std::vector<std::string>& warnings, std::string& error) {
    out.clear();
    CaptionStyle cueStyle;
    Expected<HostPtr> made = NewHost();
    if (!made) return error = made.Message(), false;
    HostPtr host = std::move(*made);
    // Layout units: CaptionScale's per output pixel; the design frame has the output's shape.
    const float scale = CaptionScale(baseStyle, width, height);
    const FrameSize frame{std::max(1, static_cast<int>(std::lround(width / scale))),
                          std::max(1, static_cast<int>(std::lround(height / scale)))};
    const SafeArea safe = CaptionSafeArea(frame.width, frame.height);
    const JsonDefaults defaults = DefaultsForJson(*host);
    StringAttrs attrs = defaults.string;
    attrs.WidthLimit = kNoWrap;
    const float fullSize = std::fabs(baseStyle.text.font.Size);
    const float minSize = baseStyle.minSize > 0 ? std::min(baseStyle.minSize, fullSize) : std::round(fullSize * 0.75f);
    const float sign = baseStyle.text.font.Size < 0 ? -1.0f : 1.0f;
    const auto styleAt = [&](const CharStyle& s, float size) {
        return AtSize(s, sign * size * std::fabs(s.font.Size) / std::max(fullSize, 1e-3f));
    };

    std::vector<Placed> placed;
    std::map<std::string, std::vector<Placed>> regions;
    for (const Cue& cue : cues) {
        const std::string where = "cue " + std::to_string(cue.number) + " (line " + std::to_string(cue.line) + ")";
        std::vector<Word> words = SplitWords(cue, baseStyle.language);
        if (words.empty()) continue;
        const int n = static_cast<int>(words.size());
        // The cue's settings: its writing direction, the alignment of its lines, its room, and
        // whether it stacks (cues placed by line or writing vertically stand where they are put).
        const CuePlacement& placement = cue.placement;
        const CaptionStyle& style = PlacedStyle(baseStyle, placement, cueStyle);
        attrs.Vertical = placement.writing != CueWriting::Horizontal ? 1 : 0;
        const auto RoomFor = [&](const CaptionStyle& s, const SafeArea& area, const SafeArea& ink, const FrameSize& f) {
            return PlacedRoom(qeltitle::RoomFor(s, area, ink, f), placement, area, ink, f);
        };
        std::vector<Placed>* stack = placement.region ? &regions[placement.region->id]
                                     : placement.line || placement.writing != CueWriting::Horizontal ? nullptr
                                                                                                      : &placed;

        // The fewest lines that fit, at the style's size; else a smaller size down to the
        // style's least; else the cue is split in time, each part at the least size.
        float size = fullSize;
        Room room = RoomFor(style, safe, InkOf(style.text, style.plate), frame);
        Widths m;
        if (!Measure(*host, words, style.text, style.paragraph, attrs, style.language, frame, warnings, where, error, m)) return false;
        const auto span = [&](int i, int j) { return m.Span(i, j); };
        // The author's lines when they fit, else balanced lines.
        std::vector<std::pair<int, int>> lines;
        for (int w = 0; w < n; ++w)
            if (w == 0 || words[w].breakBefore) lines.emplace_back(w, w + 1);
            else lines.back().second = w + 1;
        bool fits = static_cast<int>(lines.size()) <= style.lines &&
                    std::all_of(lines.begin(), lines.end(), [&](const auto& l) { return span(l.first, l.second) <= room.width; });
        std::vector<Part> parts{Part{0, n, cue.start, cue.end}};
        if (!fits) lines = BreakLines(n, style.lines, room.width, span, fits);
        if (!fits) {
            float longest = 0;
            for (const auto& l : lines) longest = std::max(longest, span(l.first, l.second));
            // Widths scale with the size: try the size that should fit, a little less if it does not.
            float trySize = std::floor(fullSize * room.width / std::max(longest, 1.0f));
            for (int attempt = 0; !fits && attempt < 4 && trySize >= minSize; ++attempt) {
                const CharStyle s = styleAt(style.text, trySize);
                room = RoomFor(style, safe, InkOf(s, style.plate), frame);
                if (!Measure(*host, words, s, style.paragraph, attrs, style.language, frame, warnings, where, error, m)) return false;
                lines = BreakLines(n, style.lines, room.width, span, fits);
                if (fits) size = trySize;
                else trySize = std::floor(trySize * 0.97f);
            }
            if (fits) {
                warnings.push_back(where + ": set at size " + SizeText(size) + " instead of " + SizeText(fullSize) +
                                   " to fit " + std::to_string(style.lines) + " lines in the frame's safe area");
            } else {
                size = minSize;
                const CharStyle s = styleAt(style.text, size);
                room = RoomFor(style, safe, InkOf(s, style.plate), frame);
                if (!Measure(*host, words, s, style.paragraph, attrs, style.language, frame, warnings, where, error, m)) return false;
                parts = SplitToFit(words, m, style.lines, room.width);
                TimeParts(cue, words, parts);
                std::string message = where + ": split in time into " + std::to_string(parts.size()) +
                                       " captions at size " + SizeText(size) + " to fit the frame's safe area";
                for (const Part& p : parts)
                    if (p.to - p.from == 1 && m.Span(p.from, p.to) > room.width)
                        message += "; a word wider than a line leaves it";
                warnings.push_back(message);
            }
        }
        const CharStyle text = styleAt(style.text, size);
        std::optional<CharStyle> highlight, past;
        if (style.highlight) highlight = styleAt(*style.highlight, size);
        if (style.past) past = styleAt(*style.past, size);

        for (const Part& part : parts) {
            CaptionTitle title;
            title.start = part.start;
            title.end = part.end;
            title.cueLine = cue.line;
            title.cueNumber = cue.number;
            if (!CueFrames(part.start, part.end, fps, title.first, title.last)) {
                warnings.push_back(where + (parts.size() > 1 ? ", a part of it," : "") +
                                   " is shorter than a frame and falls between frames; skipped");
                continue;
            }
            std::vector<Word> partWords(words.begin() + part.from, words.begin() + part.to);
            partWords.front().breakBefore = partWords.front().spaceBefore = false;
            const int count = part.to - part.from;
            if (parts.size() > 1)
                lines = BreakLines(count, style.lines, room.width,
                                   [&](int i, int j) { return m.Span(part.from + i, part.from + j); }, fits);
            const SafeArea ink = InkOf(text, style.plate);
            const RectF inner{safe.left + ink.left, safe.top + ink.top,
                              frame.width - safe.left - ink.left - safe.right - ink.right,
                              frame.height - safe.top - ink.top - safe.bottom - ink.bottom};
            if (!PlaceCaption(*host, partWords, lines, text, highlight, past, cue.timedWords, style, room, frame, attrs, fps,
                              placement, inner, stack, title, warnings, where, error))
                return false;
            out.push_back(std::move(title));
        }
    }
    return true;
}

}  // namespace qeltitle
