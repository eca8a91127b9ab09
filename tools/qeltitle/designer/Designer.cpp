#include "designer/Designer.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "authoring/Captions.h"
#include "authoring/Effects.h"
#include "authoring/StyledString.h"
#include "authoring/Subtitles.h"
#include "authoring/TitleJson.h"
#include "commands/Options.h"
#include "media/FrameGrab.h"
#include "player/StyleLimits.h"
#include "player/TitleFiles.h"

namespace qeltitle {

namespace {

// Files the page opens are read whole; anything larger than this is not a title or a style.
constexpr std::streamsize kMaxTextFile = 8 << 20;

Expected<std::string> ReadText(const std::string& path, const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure("cannot read " + name);
    std::string bytes(static_cast<size_t>(kMaxTextFile) + 1, '\0');
    in.read(bytes.data(), kMaxTextFile + 1);
    if (in.bad()) return Failure("cannot read " + name);
    if (in.gcount() > kMaxTextFile) return Failure(name + " is too large to open here");
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// What a title built from JSON remembers in its file.
TitleMeta MetaOf(const TitleExtras& extras) {
    TitleMeta meta;
    meta.length = extras.length;
    if (extras.frame) meta.frame = DesignFrame{extras.frame->width, extras.frame->height};
    meta.anchors = FormatAnchors(extras.anchors);
    return meta;
}

// The JSON of an effect's thumbnail: a short word that the effect brings in over three quarters
// of a second, then holds (a string is not drawn after its last key).
std::string StripTitle(const std::string& effect) {
    const std::string key = R"(, "effect": ")" + effect + R"(")";
    return R"({"length": 1, "frame": [240, 136], "style": {"size": 110, "bold": true,
 "color": ["#FFFFFF", "#FFC640"], "border": {"size": 3, "color": "#202020"}},
 "strings": [{"text": "Ab", "keys": [{"time": 0, "progress": 0)" +
           key + R"(}, {"time": 0.75)" + key + R"(}, {"time": 1)" + key + "}]}]}";
}

}  // namespace

Expected<BuiltTitle*> Designer::Build(const std::string& json) {
    if (title_ && title_->json == json) return title_.get();
    Expected<HostPtr> made = NewHost();
    if (!made) return Failure(made.Message());
    auto built = std::make_unique<BuiltTitle>();
    TitleExtras extras;
    std::string error;
    if (!BuildTitleFromJson(**made, json, "title", extras, built->warnings, error)) return Failure(error);
    for (const std::string& w : StyleLimitWarnings(**made, -1, 1.0f)) built->warnings.push_back(w);
    const TitleMeta meta = MetaOf(extras);
    Expected<std::string> document = TitleDocument(**made, &meta);
    if (!document) return Failure("cannot save the title: " + document.Message());
    // Opened from its document, as `render` opens the saved file.
    Expected<TitlePlayer> player = TitlePlayer::FromDocument(*document, "title");
    if (!player) return Failure(player.Message());
    built->json = json;
    built->document = std::move(*document);
    built->player.emplace(std::move(*player));
    title_ = std::move(built);
    return title_.get();
}

Expected<const Image*> Designer::Backdrop(const BackdropSpec& spec, int width, int height, bool& transparent) {
    transparent = spec.kind == BackdropSpec::Kind::Transparent;
    const auto key = std::make_pair(spec, std::make_pair(width, height));
    if (backdropKey_ && *backdropKey_ == key) return &backdrop_;
    Background background;
    switch (spec.kind) {
    case BackdropSpec::Kind::Transparent: background.kind = Background::Kind::Transparent; break;
    case BackdropSpec::Kind::Color: {
        if (!spec.color.starts_with("#")) return Failure("a colour is written #RRGGBB");
        Expected<Background> parsed = ParseBackground(spec.color);
        if (!parsed) return Failure(parsed.Message());
        background = std::move(*parsed);
        break;
    }
    case BackdropSpec::Kind::Image: {
        Expected<std::string> path = folder_.ForReading(spec.file);
        if (!path) return Failure(path.Message());
        Expected<Background> parsed = ParseBackground(*path);
        if (!parsed) return Failure(parsed.Message());
        background = std::move(*parsed);
        break;
    }
    case BackdropSpec::Kind::Video: {
        Expected<std::string> path = folder_.ForReading(spec.file);
        if (!path) return Failure(path.Message());
        std::string error;
        background.kind = Background::Kind::Picture;
        if (!GrabVideoFrame(*path, spec.seconds, background.picture, error)) return Failure(error);
        break;
    }
    }
    backdrop_ = BackgroundFrame(background, width, height);
    backdropKey_ = key;
    ++backdropSerial_;
    return &backdrop_;
}

Expected<FrameUpdate> Designer::DrawTitle(const std::string& json, double time, int width, int height,
                                          const BackdropSpec& backdrop, std::vector<StringBox>& boxes,
                                          std::vector<std::string>& warnings) {
    bool transparent = false;
    Expected<const Image*> base = Backdrop(backdrop, width, height, transparent);
    if (!base) return Failure(base.Message());
    Expected<BuiltTitle*> built = Build(json);
    if (!built) return Failure(built.Message());
    TitlePlayer& player = *(*built)->player;
    PlayerFrame frame;
    frame.width = width;
    frame.height = height;
    frame.keepAlpha = transparent;
    if (Status placed = player.Place(frame); !placed) return Failure(placed.Message());
    for (std::string& w : player.TakeWarnings()) (*built)->warnings.push_back(std::move(w));
    warnings = (*built)->warnings;
    const Image& under = **base;
    const bool fresh = frameBackdrop_ != backdropSerial_ || frame_.width != width || frame_.height != height;
    if (fresh) {
        frame_ = under;
        lastDrawn_ = {};
    } else {
        // Only where the title drew last differs from the backdrop.
        for (int y = lastDrawn_.y; y < lastDrawn_.y + lastDrawn_.height; ++y)
            std::memcpy(frame_.At(lastDrawn_.x, y), under.At(lastDrawn_.x, y), static_cast<size_t>(lastDrawn_.width) * 4);
    }
    frameBackdrop_ = 0;  // until the drawing succeeds, the frame is not known to hold anything
    if (Status drawn = player.DrawOver(frame_, time); !drawn) return Failure(drawn.Message());
    frameBackdrop_ = backdropSerial_;
    FrameUpdate update;
    update.frame = &frame_;
    update.changed = fresh ? PixelRect{0, 0, width, height} : Union(lastDrawn_, player.Drawn());
    update.previous = fresh ? 0 : frameSerial_;
    update.serial = ++frameSerial_;
    lastDrawn_ = player.Drawn();
    const FrameFit& area = player.Area();
    boxes.clear();
    for (int row = 0; row < player.Host().GetStringCount(); ++row) {
        const Extent e = MeasureString(player.Host(), row);
        boxes.push_back({static_cast<int>(std::floor(area.x + e.left * area.scale)),
                         static_cast<int>(std::floor(area.y + e.top * area.scale)),
                         static_cast<int>(std::ceil((e.right - e.left) * area.scale)),
                         static_cast<int>(std::ceil((e.bottom - e.top) * area.scale))});
    }
    return update;
}

Expected<std::vector<StringBox>> Designer::DrawnBoxes(const std::string& json, int width, int height) {
    Expected<BuiltTitle*> built = Build(json);
    if (!built) return Failure(built.Message());
    const int count = (*built)->player->Host().GetStringCount();
    PlayerFrame frame;
    frame.width = width;
    frame.height = height;
    frame.keepAlpha = true;
    Image canvas(width, height);
    std::vector<StringBox> boxes;
    for (int row = 0; row < count; ++row) {
        Expected<TitlePlayer> alone = TitlePlayer::FromDocument((*built)->document, "title");
        if (!alone) return Failure(alone.Message());
        for (int other = 0; other < count; ++other)
            if (other != row) alone->Host().ClearString(other);
        alone->Host().ClearKeyFrames(row);
        if (Status placed = alone->Place(frame); !placed) return Failure(placed.Message());
        if (Status drawn = alone->DrawOver(canvas, 0.5); !drawn) return Failure(drawn.Message());
        const PixelRect& d = alone->Drawn();
        boxes.push_back({d.x, d.y, d.width, d.height});
    }
    return boxes;
}

std::vector<std::array<std::string, 3>> Designer::Effects() {
    std::vector<std::array<std::string, 3>> list;
    Expected<HostPtr> host = NewHost();
    if (!host) return list;
    (void)LoadChosenEffectStrings(**host, std::nullopt, false);  // without the table: display keys
    for (const EffectInfo& e : OfferedEffects(**host, 1)) list.push_back({e.pathId, e.name, e.group});
    return list;
}

Expected<Image> Designer::EffectStrip(const std::string& effect, int frames, int width, int height) {
    const std::string key = effect + "/" + std::to_string(frames) + "/" + std::to_string(width) + "x" +
                            std::to_string(height);
    if (auto found = strips_.find(key); found != strips_.end()) return found->second;
    Expected<HostPtr> host = NewHost();
    if (!host) return Failure(host.Message());
    TitleExtras extras;
    std::vector<std::string> warnings;
    std::string error;
    if (!BuildTitleFromJson(**host, StripTitle(effect), "thumbnail", extras, warnings, error)) return Failure(error);
    TitlePlayer player(std::move(*host), effect, MetaOf(extras));
    PlayerFrame frame;
    frame.width = width;
    frame.height = height;
    frame.threads = 1;
    if (Status placed = player.Place(frame); !placed) return Failure(placed.Message());
    Image strip(width * frames, height), base(width, height), drawn;
    FillSolid(base, 0x202733);
    for (int i = 0; i < frames; ++i) {
        if (Status ok = player.Draw(base, AnimationFrameTime(i, frames), drawn); !ok) return Failure(ok.Message());
        Blit(strip, drawn, i * width, 0);
    }
    if (strips_.size() > 200) strips_.clear();
    return strips_[key] = std::move(strip);
}

Expected<Image> Designer::DrawCaptions(const std::string& subtitles, const std::string& style, double seconds,
                                       int width, int height, const BackdropSpec& backdrop, double& duration,
                                       std::vector<std::string>& warnings) {
    bool transparent = false;
    Expected<const Image*> base = Backdrop(backdrop, width, height, transparent);
    if (!base) return Failure(base.Message());
    Expected<std::string> path = folder_.ForReading(subtitles);
    if (!path) return Failure(path.Message());
    struct stat st {};
    stat(path->c_str(), &st);
    const std::string key = *path + '\n' + std::to_string(st.st_mtime) + '\n' + std::to_string(st.st_size) + '\n' +
                            std::to_string(width) + 'x' + std::to_string(height) + (transparent ? "t\n" : "\n") + style;
    if (!captions_ || key != captionsKey_) {
        captions_.reset();
        captionWarnings_.clear();
        Expected<std::string> bytes = ReadText(*path, subtitles);
        if (!bytes) return Failure(bytes.Message());
        Expected<HostPtr> host = NewHost();
        if (!host) return Failure(host.Message());
        CaptionStyle captionStyle = DefaultCaptionStyle(**host);
        std::string error;
        if (!style.empty() && !ReadCaptionStyle(**host, style, "style", captionStyle, error)) return Failure(error);
        if (!captionStyle.language.empty()) SetCaptionLanguage(**host, captionStyle, captionStyle.language);
        std::vector<Cue> cues;
        const std::string lower = Lowered(subtitles);
        const SubtitleFormat format = lower.ends_with(".vtt")   ? SubtitleFormat::WebVtt
                                      : lower.ends_with(".srt") ? SubtitleFormat::SubRip
                                                                : SubtitleFormat::Auto;
        if (!ReadSubtitles(*bytes, subtitles, format, cues, captionWarnings_, error))
            return Failure("cannot read subtitles: " + error);
        std::vector<CaptionTitle> titles;
        if (!MakeCaptionTitles(cues, captionStyle, width, height, kDefaultFps, titles, captionWarnings_, error))
            return Failure(error);
        PlayerFrame frame;
        frame.width = width;
        frame.height = height;
        frame.scale = CaptionScale(captionStyle, width, height);
        frame.keepAlpha = transparent;
        captions_ = std::make_unique<TitleSchedule>(frame);
        captionsEnd_ = 0;
        for (const CaptionTitle& t : titles) {
            auto document = std::make_shared<std::string>(t.document);
            const double start = t.first / kDefaultFps, length = (t.last + 1 - t.first) / kDefaultFps;
            captions_->Add("cue " + std::to_string(t.cueNumber),
                           [document] { return TitlePlayer::FromDocument(*document, "caption"); }, start, length);
            captionsEnd_ = std::max(captionsEnd_, start + length);
        }
        captionsKey_ = key;
    }
    duration = captionsEnd_;
    warnings = captionWarnings_;
    Image out = **base;
    if (Status drawn = captions_->DrawAt(seconds, out); !drawn) return Failure(drawn.Message());
    return out;
}

Expected<std::string> Designer::OpenTitle(const std::string& name) {
    Expected<std::string> path = folder_.ForReading(name);
    if (!path) return Failure(path.Message());
    if (Lowered(name).ends_with(".json")) {
        Expected<std::string> text = ReadText(*path, name);
        if (!text) return text;
        if (Expected<BuiltTitle*> built = Build(*text); !built) return Failure(built.Message());
        return text;
    }
    Expected<HostPtr> host = NewHost();
    if (!host) return Failure(host.Message());
    TitleMeta meta;
    std::string warning, error, json;
    if (Status loaded = LoadTitle(**host, *path, meta, warning); !loaded) return Failure(loaded.Message());
    TitleExtras extras;
    extras.length = meta.length;
    if (meta.frame) extras.frame = FrameSize{meta.frame->width, meta.frame->height};
    extras.anchors = ParseAnchors(meta.anchors);
    if (!ExportTitleToJson(**host, extras, json, error)) return Failure("cannot open " + name + ": " + error);
    return json;
}

Expected<std::string> Designer::TitleDocumentOf(const std::string& json) {
    Expected<BuiltTitle*> built = Build(json);
    if (!built) return Failure(built.Message());
    return (*built)->document;
}

Expected<std::string> Designer::SavedBytes(const std::string& json, const std::string& format) {
    if (format == "style") {
        Expected<HostPtr> host = NewHost();
        if (!host) return Failure(host.Message());
        CaptionStyle style = DefaultCaptionStyle(**host);
        std::string error;
        if (!ReadCaptionStyle(**host, json, "style", style, error)) return Failure(error);
        return json;
    }
    if (format != "xml" && format != "json") return Failure("a title is saved as xml or json");
    Expected<BuiltTitle*> built = Build(json);
    if (!built) return Failure(built.Message());
    return format == "xml" ? (*built)->document : json;
}

}  // namespace qeltitle
