#include "authoring/Captions.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "authoring/KeyFrames.h"
#include "authoring/Text.h"
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
struct Word {
    std::vector<WordRun> runs;
    double time = 0;               // seconds
    bool breakBefore = false;      // the author started a line here
    int first = 0, end = 0;        // characters in the caption's string
};

std::vector<Word> SplitWords(const Cue& cue) {
    std::vector<Word> words;
    bool open = false, pendingBreak = false;
    for (const CuePiece& piece : cue.pieces) {
        for (char16_t c : Utf8ToUtf16(piece.text)) {
            if (c == u' ' || c == u'\t' || c == u'\n') {
                open = false;
                pendingBreak = pendingBreak || c == u'\n';
                continue;
            }
            if (!open) {
                words.push_back(Word{{}, piece.time, pendingBreak && !words.empty(), 0, 0});
                open = true;
                pendingBreak = false;
            }
            std::vector<WordRun>& runs = words.back().runs;
            if (runs.empty() || runs.back().italic != piece.italic || runs.back().bold != piece.bold)
                runs.push_back(WordRun{{}, piece.italic, piece.bold});
            runs.back().text += c;
        }
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
StringContent LinesContent(std::vector<Word>& words, const std::vector<std::pair<int, int>>& lines, const CharStyle& style,
                           const ParagraphAttrs& paragraph, const StringAttrs& attrs) {
    StringContent c;
    c.attrs = attrs;
    c.attrs.WidthLimit = kNoWrap;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (l > 0) c.text += u"\r\n";
        for (int w = lines[l].first; w < lines[l].second; ++w) {
            if (w > lines[l].first) c.text += u' ';
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

bool ReadCaptionStyle(ITitleHost& host, std::string_view text, const std::string& source, CaptionStyle& style,
                      std::string& error) {
    Json doc;
    if (!ParseJsonText(text, source, doc, error)) return false;
    try {
        const JsonField root(doc, "");
        root.RequireObject({"description", "style", "highlight", "anchor", "margin", "width", "lines", "gap", "frameWidth",
                            "in", "out", "word", "phrase"});
        const JsonDefaults d = DefaultsForJson(host);
        ReadStyleMember(root, style.text, style.paragraph);
        if (root.Has("highlight")) {
            const JsonField h = root.Member("highlight");
            if (h.Value().is_null()) {
                style.highlight.reset();
            } else {
                h.RequireObject(std::vector<std::string_view>(std::begin(kCharStyleKeys), std::end(kCharStyleKeys)));
                CharStyle hs = style.text;
                ReadCharStyle(h, hs);
                style.highlight = hs;
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
        if (root.Has("gap")) style.gap = root.Member("gap").Float(0, 1e5);
        if (root.Has("frameWidth")) style.frameWidth = static_cast<int>(root.Member("frameWidth").Integer(16, kMaxFrameSide));
        if (root.Has("in")) ReadEffect(root.Member("in"), style.in);
        if (root.Has("out")) ReadEffect(root.Member("out"), style.out);
        if (root.Has("word")) ReadEffect(root.Member("word"), style.word);
        if (root.Has("phrase")) {
            const JsonField p = root.Member("phrase");
            p.RequireObject({"gap", "words"});
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

std::string PresetDirectory() {
    // Beside the executable in the build tree; under share/qeltitle once installed.
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.rfind('/'));
    struct stat st {};
    for (const std::string& candidate : {dir + "/presets", dir + "/../share/qeltitle/presets"})
        if (stat(candidate.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return candidate;
    return {};
}

std::string PresetPath(const std::string& name) {
    const std::string dir = PresetDirectory();
    if (dir.empty() || name.find('/') != std::string::npos) return {};
    const std::string path = dir + "/" + name + ".json";
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? path : std::string();
}

std::vector<Cue> GroupWordCues(const std::vector<Cue>& cues, const CaptionStyle& style) {
    std::vector<Cue> out;
    int words = 0;
    bool sentenceEnded = false;
    for (const Cue& cue : cues) {
        const bool startNew = out.empty() || cue.start - out.back().end > style.phraseGap ||
                              words >= style.phraseWords || sentenceEnded || cue.start < out.back().start;
        if (startNew) {
            out.push_back(Cue{cue.start, cue.end, {}, true, cue.line});
            words = 0;
        } else {
            out.back().pieces.push_back(CuePiece{" ", false, false, cue.start});
        }
        Cue& phrase = out.back();
        for (CuePiece piece : cue.pieces) {
            for (char& c : piece.text)
                if (c == '\n') c = ' ';
            piece.time = cue.start;
            phrase.pieces.push_back(piece);
        }
        phrase.end = std::max(phrase.end, cue.end);
        ++words;
        const std::string text = cue.Text();
        const size_t last = text.find_last_not_of(" \t\n\"')");
        sentenceEnded = last != std::string::npos && std::strchr(".?!", text[last]) != nullptr;
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

bool MakeCaptionTitles(const std::vector<Cue>& cues, const CaptionStyle& style, int width, int height, double fps,
                       std::vector<CaptionTitle>& out, std::vector<std::string>& warnings, std::string& error) {
    out.clear();
    Expected<HostPtr> made = NewHost();
    if (!made) return error = made.Message(), false;
    HostPtr host = std::move(*made);
    // Layout units: the style's frame width across the output; the design frame has the output's shape.
    const float scale = static_cast<float>(width) / style.frameWidth;
    const FrameSize frame{style.frameWidth, std::max(1, static_cast<int>(std::lround(height / scale)))};
    const JsonDefaults defaults = DefaultsForJson(*host);
    StringAttrs attrs = defaults.string;
    attrs.WidthLimit = kNoWrap;
    bool warnedFit = false;

    struct Placed {
        int first, last;
        float offset, height;
    };
    std::vector<Placed> placed;
    for (const Cue& cue : cues) {
        const std::string where = "cue at line " + std::to_string(cue.line);
        CaptionTitle title;
        title.start = cue.start;
        title.end = cue.end;
        title.cueLine = cue.line;
        title.cueNumber = static_cast<int>(&cue - cues.data()) + 1;
        if (!CueFrames(cue.start, cue.end, fps, title.first, title.last)) {
            warnings.push_back(where + " is shorter than a frame and falls between frames; skipped");
            continue;
        }
        std::vector<Word> words = SplitWords(cue);
        if (words.empty()) continue;
        const int n = static_cast<int>(words.size());

        // Measure the words on one line.
        host->RemoveAllStrings();
        int row = 0;
        StringContent probe = LinesContent(words, {{0, n}}, style.text, style.paragraph, attrs);
        if (!AddStringContent(*host, probe, frame, warnings, where, error, &row)) return false;
        // A line's width is the sum of its characters' advances, not the distance between its first
        // and last character: in right-to-left and mixed lines logical ends are not visual ends.
        std::vector<float> advanceBefore(probe.text.size() + 1, 0.0f);
        for (size_t i = 0; i < probe.text.size(); ++i) {
            RectF r{};
            host->GetCharRect(row, static_cast<int>(i), &r, 0);
            advanceBefore[i + 1] = advanceBefore[i] + r.width;
        }
        const auto span = [&](int i, int j) { return advanceBefore[words[j - 1].end] - advanceBefore[words[i].first]; };
        // The author's lines when they fit, else balanced lines.
        std::vector<std::pair<int, int>> lines;
        for (int w = 0; w < n; ++w)
            if (w == 0 || words[w].breakBefore) lines.emplace_back(w, w + 1);
            else lines.back().second = w + 1;
        const bool authorFits = static_cast<int>(lines.size()) <= style.lines &&
                                std::all_of(lines.begin(), lines.end(),
                                            [&](const auto& l) { return span(l.first, l.second) <= style.width; });
        if (!authorFits) {
            bool fits = true;
            lines = BreakLines(n, style.lines, style.width, span, fits);
            if (!fits && !warnedFit) {
                warnings.push_back(where + " does not fit " + std::to_string(style.lines) + " lines of " +
                                   std::to_string(static_cast<int>(style.width)) +
                                   " units; its lines are longer (later cues are not reported)");
                warnedFit = true;
            }
        }

        // The whole caption, placed by the anchor, then stacked clear of the captions on screen.
        host->RemoveAllStrings();
        StringContent content = LinesContent(words, lines, style.text, style.paragraph, attrs);
        content.anchor = style.anchor;
        content.marginX = style.marginX;
        content.marginY = style.marginY;
        if (!AddStringContent(*host, content, frame, warnings, where, error, &row)) return false;
        const RectF box = Box(*host, row);
        float offset = 0;
        for (bool moved = true; moved;) {
            moved = false;
            for (const Placed& p : placed)
                if (p.first <= title.last && title.first <= p.last && offset < p.offset + p.height + style.gap &&
                    p.offset < offset + box.height + style.gap) {
                    offset = p.offset + p.height + style.gap;
                    moved = true;
                }
        }
        placed.push_back({title.first, title.last, offset, box.height});
        const float dy = style.anchor.y == 0 ? offset : -offset;
        if (offset != 0 && !Move(*host, row, 0, dy, error)) return false;

        // Title time of a moment of the cue, and the spans of the effects.
        const int frames = title.last - title.first;
        const auto T = [&](double seconds) {
            return frames == 0 ? 0.0f : static_cast<float>(std::clamp((seconds * fps - title.first) / frames, 0.0, 1.0));
        };
        const auto length = [&](double seconds) { return frames == 0 ? 0.0f : static_cast<float>(seconds * fps / frames); };
        const bool still = frames == 0;
        const std::string in = still || style.in.effect.empty() ? "PATH_NOEFFECT" : style.in.effect;
        const std::string outId = still || style.out.effect.empty() ? "PATH_NOEFFECT" : style.out.effect;
        const float inEnd = std::min(length(style.in.seconds), 0.5f);
        const float outStart = std::max(1.0f - length(style.out.seconds), 0.5f);

        const bool wordByWord = cue.timedWords && !still;
        if (!wordByWord) {
            if (!SetKeyFrames(*host, row, EffectSchedule(in, 0.0f, inEnd, outId, outStart, 1.0f), error)) return false;
        } else {
            // Each word (and its highlighted copy) is a string of its own where the caption put it.
            std::vector<RectF> at(n);
            for (int w = 0; w < n; ++w) host->GetCharRect(row, words[w].first, &at[w], 0);
            host->RemoveAllStrings();
            const float halfFrame = frames > 0 ? 0.5f / frames : 0.0f;
            for (int w = 0; w < n; ++w) {
                const float ws = std::min(T(words[w].time), outStart);
                float we = outStart;
                for (int v = w + 1; v < n; ++v)
                    if (words[v].time > words[w].time) {
                        we = std::min(T(words[v].time), outStart);
                        break;
                    }
                for (int copy = 0; copy < (style.highlight ? 2 : 1); ++copy) {
                    const CharStyle& base = copy == 0 ? style.text : *style.highlight;
                    std::vector<Word> one{words[w]};
                    one[0].breakBefore = false;
                    StringContent c = LinesContent(one, {{0, 1}}, base, style.paragraph, attrs);
                    int r = 0;
                    if (!AddStringContent(*host, c, frame, warnings, where, error, &r)) return false;
                    RectF mine{};
                    host->GetCharRect(r, 0, &mine, 0);
                    if (!Move(*host, r, at[w].x - mine.x, at[w].y - mine.y, error)) return false;
                    std::vector<KeyFrame> keys;
                    if (copy == 0) {
                        if (style.word.effect.empty())
                            keys = EffectSchedule(in, 0.0f, inEnd, outId, outStart, 1.0f);
                        else
                            keys = EffectSchedule(style.word.effect, ws, std::min(ws + length(style.word.seconds), outStart),
                                                  outId, outStart, 1.0f);
                    } else {
                        // Shown while the word is spoken: faded in and out within half a frame.
                        Keys k;
                        k.Add(0, "PATH_FADE", 0);
                        k.Add(ws - halfFrame, "PATH_FADE", 0);
                        k.Add(ws, "PATH_FADE", 1);
                        if (we < outStart) {
                            k.Add(we - halfFrame, "PATH_FADE", 1);
                            k.Add(we, "PATH_FADE", 0);
                            k.Add(1, "PATH_FADE", 0);
                        } else {
                            k.Add(outStart, outId, 1);
                            k.Add(1, outId, 0);
                        }
                        keys = k.frames;
                    }
                    if (!SetKeyFrames(*host, r, keys, error)) return false;
                }
            }
        }
        // The cue's title remembers its length and design frame, so it plays alone as it plays here.
        TitleMeta meta;
        meta.length = (title.last - title.first + 1) / fps;
        meta.frame = DesignFrame{frame.width, frame.height};
        Expected<std::string> document = TitleDocument(*host, &meta);
        if (!document) return error = where + ": " + document.Message(), false;
        title.document = std::move(*document);
        out.push_back(std::move(title));
    }
    return true;
}

}  // namespace qeltitle
