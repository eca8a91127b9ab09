// MLT producer "qeltitle": a title file drawn by libQEL_Title2 as video frames with alpha.
//
// The producer's resource is the title file, drawn by the tool's title player (the placement and
// timing every host shares): the producer keeps only MLT's plumbing (properties, frames, images).
// Frame n of a producer of `length` frames (out - in + 1) is drawn at title time n / length, as
// any span of frames is; each frame is drawn at the size the consumer asks for (the profile's
// size, unless a preview scales it) exactly as `qeltitle render` draws it, then converted once
// from the engine's blue-green-red-alpha byte order to MLT's RGBA.
//
// Properties:
//   resource    the title file (UTF-8 path)
//   scale       frame pixels per layout unit at the profile's size, the title's frame at the
//               top-left; unset, the frame the title was laid out for (its Frame attribute, or
//               1920x1080 when it names none) is fitted to the frame, uniformly scaled and centred
//   out         unset, the title's own length (its Length attribute) or 4 seconds
//   background  a colour (#RRGGBB, #AARRGGBB, 0xRRGGBBAA, or MLT's names black, white, red, green,
//               blue) under the title; unset or "transparent", the frame keeps the title's own
//               straight alpha
//
// A title file that cannot be loaded fails the producer with the reason. A `scale` or `background`
// the producer does not take is reported when it is set, and frames then show nothing (fully
// transparent) with the error logged: every frame the producer gives has an image, the same
// picture for every consumer, rather than whatever stand-in each makes of a failed frame.
//
// MLT may ask for images out of order and from several threads. Every frame carries its own title
// time and the producer owns one engine, used by one thread at a time.
#include <framework/mlt.h>

#include <qel/QEL_Title2.h>

#include "player/TitlePlayer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "player/FrameDefaults.h"
#include "base/Unicode.h"

namespace {

// The tool's frame figures: the layout frame, the scale range, the largest side (which also keeps
// a frame's byte count within int) and the length of an animation without an out point.
using qeltitle::kMaxFrameSide;
using qeltitle::kMaxScale;
using qeltitle::kMinScale;

constexpr char kService[] = "qeltitle";
constexpr char kTimeProperty[] = "qeltitle.time";  // title time of a frame, 0 to 1

// The producer's own state, which MLT hands back as the producer's child.
struct TitleProducer {
    explicit TitleProducer(qeltitle::TitlePlayer title) : player(std::move(title)) {}
    mlt_producer_s parent{};
    std::mutex engineLock;  // one Place and Draw at a time
    qeltitle::TitlePlayer player;
    std::mutex logLock;
    std::vector<std::string> refusals;  // those logged, so that each frame does not repeat them
    std::vector<std::string> warnings;  // likewise
};

bool IsHex(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// The colours MLT's own services take, which MLT's parser reads correctly; it reads anything else
// (`purple`, `#12345`) as some colour without a word, often transparent black.
bool IsBackground(std::string_view text) {
    for (std::string_view name : {"", "transparent", "black", "white", "red", "green", "blue"})
        if (text == name) return true;
    if ((text.size() == 7 || text.size() == 9) && text[0] == '#') return IsHex(text.substr(1));
    return text.size() == 10 && (text.starts_with("0x") || text.starts_with("0X")) && IsHex(text.substr(2));
}

// Why the producer does not take the value of `scale` or `background` (empty: it does).
std::string Refusal(mlt_properties properties, std::string_view name) {
    char message[512];
    if (name == "scale") {
        const char* text = mlt_properties_get(properties, "scale");
        if (!text || !*text) return {};
        const double scale = mlt_properties_get_double(properties, "scale");
        if (scale >= kMinScale && scale <= kMaxScale) return {};
        std::snprintf(message, sizeof message, "scale %.200s is not a number from %g to %g", text, kMinScale, kMaxScale);
        return message;
    }
    if (name == "background") {
        const char* text = mlt_properties_get(properties, "background");
        if (!text || IsBackground(text)) return {};
        std::snprintf(message, sizeof message,
                      "background %.200s is not a colour: expected transparent, black, white, red, green, blue, "
                      "#RRGGBB, #AARRGGBB or 0xRRGGBBAA",
                      text);
        return message;
    }
    return {};
}

// Logs a refusal: always when the property is set, once from the frames.
void LogRefusal(TitleProducer& self, const std::string& refusal, bool always) {
    std::lock_guard<std::mutex> lock(self.logLock);
    const bool logged = std::find(self.refusals.begin(), self.refusals.end(), refusal) != self.refusals.end();
    if (logged && !always) return;
    if (!logged) self.refusals.push_back(refusal);
    mlt_log_error(MLT_PRODUCER_SERVICE(&self.parent), "%s; the title is not drawn\n", refusal.c_str());
}

// A property is checked as it is set, so that its error comes when it is given.
void PropertyChanged(mlt_properties properties, void* data, mlt_event_data event) {
    const char* name = mlt_event_data_to_string(event);
    if (!name) return;
    if (const std::string refusal = Refusal(properties, name); !refusal.empty())
        LogRefusal(*static_cast<TitleProducer*>(data), refusal, true);
}

// The background under the title (one that IsBackground takes): transparent unless a colour is given.
mlt_color Background(mlt_properties properties) {
    const char* text = mlt_properties_get(properties, "background");
    if (!text || !*text || std::strcmp(text, "transparent") == 0) return mlt_color{0, 0, 0, 0};
    return mlt_properties_get_color(properties, "background");
}

// Gives the frame its image: `image` (RGBA, from the pool) becomes the frame's.
int SetImage(mlt_frame frame, uint8_t* image, int width, int height, uint8_t** buffer, mlt_image_format* format) {
    mlt_frame_set_image(frame, image, width * height * 4, mlt_pool_release);
    *buffer = image;
    *format = mlt_image_rgba;
    mlt_properties_set_int(MLT_FRAME_PROPERTIES(frame), "format", mlt_image_rgba);
    mlt_properties_set_int(MLT_FRAME_PROPERTIES(frame), "width", width);
    mlt_properties_set_int(MLT_FRAME_PROPERTIES(frame), "height", height);
    return 0;
}

// A frame that shows nothing, for a refused property or a title the engine could not draw.
int SetEmptyImage(mlt_frame frame, int width, int height, uint8_t** buffer, mlt_image_format* format) {
    const size_t size = static_cast<size_t>(width) * height * 4;
    auto* image = static_cast<uint8_t*>(mlt_pool_alloc(static_cast<int>(size)));
    if (!image) return 1;
    std::memset(image, 0, size);
    return SetImage(frame, image, width, height, buffer, format);
}

// Draws the frame's title time into a new RGBA image of width x height.
int GetImage(mlt_frame frame, uint8_t** buffer, mlt_image_format* format, int* width, int* height, int) {
    auto producer = static_cast<mlt_producer>(mlt_frame_pop_service(frame));
    auto* self = static_cast<TitleProducer*>(producer->child);
    mlt_properties properties = MLT_PRODUCER_PROPERTIES(producer);
    mlt_profile profile = mlt_service_profile(MLT_PRODUCER_SERVICE(producer));
    if (*width <= 0 || *height <= 0) {
        *width = profile->width;
        *height = profile->height;
    }
    const int w = *width, h = *height;
    if (w > kMaxFrameSide || h > kMaxFrameSide) {
        mlt_log_error(MLT_PRODUCER_SERVICE(producer), "a frame of %dx%d is larger than %d pixels a side\n", w, h,
                      kMaxFrameSide);
        return 1;
    }

    for (const char* name : {"scale", "background"}) {
        if (const std::string refusal = Refusal(properties, name); !refusal.empty()) {
            LogRefusal(*self, refusal, false);
            return SetEmptyImage(frame, w, h, buffer, format);
        }
    }

    // A preview at another size than the profile's shows the same picture, smaller.
    qeltitle::PlayerFrame setup{w, h, std::nullopt, false, 0};
    if (const char* text = mlt_properties_get(properties, "scale"); text && *text) {
        const double scale = mlt_properties_get_double(properties, "scale");  // in range: see Refusal
        const double toFrame = std::min(static_cast<double>(w) / profile->width, static_cast<double>(h) / profile->height);
        setup.scale = static_cast<float>(scale * toFrame);
    }
    const mlt_color background = Background(properties);
    setup.keepAlpha = background.a != 255;

    const int size = w * h * 4;
    auto* image = static_cast<uint8_t*>(mlt_pool_alloc(size));
    if (!image) return 1;
    // The engine's byte order: blue, green, red, alpha (straight). The picture is drawn in an
    // image of the tool's own and copied to MLT's buffer.
    qeltitle::Image picture(w, h);
    if (background.a != 0) {
        for (size_t i = 0; i < picture.pixels.size(); i += 4) {
            picture.pixels[i] = background.b, picture.pixels[i + 1] = background.g, picture.pixels[i + 2] = background.r;
            picture.pixels[i + 3] = background.a;
        }
    }

    const double time = mlt_properties_get_double(MLT_FRAME_PROPERTIES(frame), kTimeProperty);
    qeltitle::Status drawn;
    {
        std::lock_guard<std::mutex> lock(self->engineLock);
        drawn = self->player.Place(setup);
        // A border or blur past what the library draws is drawn narrower: say so, once.
        for (const std::string& warning : self->player.TakeWarnings()) {
            std::lock_guard<std::mutex> logged(self->logLock);
            if (std::find(self->warnings.begin(), self->warnings.end(), warning) != self->warnings.end()) continue;
            self->warnings.push_back(warning);
            mlt_log_warning(MLT_PRODUCER_SERVICE(producer), "%s\n", warning.c_str());
        }
        if (drawn) drawn = self->player.DrawOver(picture, time);
    }
    if (!drawn) {
        mlt_log_error(MLT_PRODUCER_SERVICE(producer), "cannot draw at time %g (%s); the frame shows nothing\n", time,
                      drawn.Message().c_str());
        std::memset(image, 0, static_cast<size_t>(size));
        return SetImage(frame, image, w, h, buffer, format);
    }
    // Blue-green-red-alpha to red-green-blue-alpha: the only change made to the engine's pixels.
    const uint8_t* from = picture.pixels.data();
    for (int i = 0; i < size; i += 4) {
        image[i] = from[i + 2], image[i + 1] = from[i + 1], image[i + 2] = from[i];
        image[i + 3] = from[i + 3];
    }
    return SetImage(frame, image, w, h, buffer, format);
}

int GetFrame(mlt_producer producer, mlt_frame_ptr frame, int) {
    *frame = mlt_frame_init(MLT_PRODUCER_SERVICE(producer));
    if (*frame) {
        mlt_properties properties = MLT_FRAME_PROPERTIES(*frame);
        mlt_profile profile = mlt_service_profile(MLT_PRODUCER_SERVICE(producer));
        // Frame n of the producer's frames from its in point to its out point, as any span.
        const mlt_position position = mlt_producer_position(producer);
        const mlt_position length = mlt_producer_get_out(producer) - mlt_producer_get_in(producer) + 1;
        mlt_properties_set_double(properties, kTimeProperty,
                                  qeltitle::SpanFrameTime(static_cast<int>(position), static_cast<int>(length)));
        mlt_frame_set_position(*frame, mlt_producer_position(producer));
        mlt_properties_set_double(properties, "aspect_ratio", mlt_profile_sar(profile));
        mlt_properties_set_int(properties, "progressive", 1);
        mlt_properties_set_int(properties, "meta.media.width", profile->width);
        mlt_properties_set_int(properties, "meta.media.height", profile->height);
        mlt_frame_push_service(*frame, producer);
        mlt_frame_push_get_image(*frame, GetImage);
    }
    mlt_producer_prepare_next(producer);
    return 0;
}

void Close(mlt_producer producer) {
    auto* self = static_cast<TitleProducer*>(producer->child);
    producer->close = nullptr;
    mlt_producer_close(producer);
    delete self;
}

void* Create(mlt_profile profile, mlt_service_type, const char*, const void* arg) {
    const char* resource = static_cast<const char*>(arg);
    if (!resource || !*resource) {
        mlt_log_error(nullptr, "%s: a title file is needed (%s:TITLE.xml)\n", kService, kService);
        return nullptr;
    }
    // A name that does not convert back to itself held a malformed sequence.
    const std::u16string path = qel::Utf8ToUtf16(resource);
    if (qel::Utf16ToUtf8(path) != resource) {
        mlt_log_error(nullptr, "%s: %s: the file name is not valid UTF-8\n", kService, resource);
        return nullptr;
    }
    // The tool's loader: a file that is missing or unreadable, not XML or not a title is refused
    // with that reason; with it come the length and frame the title was made for.
    qeltitle::Expected<qeltitle::TitlePlayer> title = qeltitle::TitlePlayer::Open(resource);
    if (!title) {
        mlt_log_error(nullptr, "%s: %s\n", kService, title.Message().c_str());
        return nullptr;
    }
    for (const std::string& warning : title->TakeWarnings()) mlt_log_warning(nullptr, "%s: %s\n", kService, warning.c_str());
    auto self = std::make_unique<TitleProducer>(std::move(*title));
    mlt_producer producer = &self->parent;
    if (mlt_producer_init(producer, self.get()) != 0) return nullptr;
    producer->get_frame = GetFrame;
    producer->close = reinterpret_cast<mlt_destructor>(Close);
    producer->close_object = producer;

    mlt_properties properties = MLT_PRODUCER_PROPERTIES(producer);
    mlt_properties_set(properties, "resource", resource);
    mlt_properties_set(properties, "background", "transparent");
    mlt_events_listen(properties, self.get(), "property-changed", PropertyChanged);
    const double fps = profile ? mlt_profile_fps(profile) : 25;
    const double seconds = self->player.Length();
    mlt_properties_set_position(properties, "out", std::max<mlt_position>(1, std::lround(seconds * fps)) - 1);
    mlt_properties_set_int(properties, "meta.media.progressive", 1);
    self.release();  // owned by MLT from here: Close deletes it
    return producer;
}

// The module's YAML description, installed in MLT's data directory under qeltitle/.
mlt_properties Metadata(mlt_service_type, const char*, void* data) {
    const char* dataDir = mlt_environment("MLT_DATA");
    if (!dataDir) return nullptr;
    char file[4096];
    std::snprintf(file, sizeof file, "%s/%s/%s", dataDir, kService, static_cast<const char*>(data));
    return mlt_properties_parse_yaml(file);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) MLT_REPOSITORY {
    MLT_REGISTER(mlt_service_producer_type, kService, Create);
    MLT_REGISTER_METADATA(mlt_service_producer_type, kService, Metadata, const_cast<char*>("producer_qeltitle.yml"));
}
