// The tool's side of the library: owning a TitleHost, loading and saving with a reason on
// failure, frame settings and drawing, the offered effects, key-frame schedules and styled
// strings. Everything goes through the public ITitleHost operations, as any host would.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Args.h"
#include "Image.h"
#include "qel/QEL_Title2.h"

namespace qeltitle {

struct HostDeleter {
    void operator()(qel::ITitleHost* host) const { ReleaseTitleHost(host); }
};
using HostPtr = std::unique_ptr<qel::ITitleHost, HostDeleter>;

// A new TitleHost, or null with a message.
HostPtr NewHost(std::string& error);

// Loads a title file. On failure `error` says why: the file is missing or unreadable, is not
// well-formed XML (with the position), is not a title document, or the library refused it.
bool LoadTitle(qel::ITitleHost& host, const std::string& path, std::string& error);
bool SaveTitle(qel::ITitleHost& host, const std::string& path, std::string& error);
// Loads an effect string table (root <QelDspInfo>); on failure `error` names the file and why.
bool LoadEffectStrings(qel::ITitleHost& host, const std::string& path, std::string& error);
// The English effect string table that is installed (and built) beside libQEL_Title2.so.
constexpr const char* kEffectStringsFile = "QelDspInfo.xml";
// Its path, found beside the library this program runs with; empty when it is not there.
std::string DefaultEffectStringsPath();
// The table that `effects` and `gallery` show: the named one, none (display keys) when keysOnly,
// else the installed one when there is one.
bool LoadChosenEffectStrings(qel::ITitleHost& host, const std::optional<std::string>& named, bool keysOnly,
                             std::string& error);

// Where the library's debug lines go (the layout dump, load and save failures). While a
// DebugCapture lives, lines are collected instead.
enum class DebugTarget { StandardError, StandardOutput };
void SetDebugTarget(DebugTarget target);
void DeliverDebugLine(const char* line);
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    std::vector<std::string> Lines() const;
};

// Frame the title is drawn on. Layout units become frame pixels times `scale`.
struct FrameSetup {
    int width = 1920;
    int height = 1080;
    float scale = 1.0f;
    bool keepAlpha = false;  // transparent frame: the title's alpha is combined with it
    int threads = 0;         // worker limit; 0: one per processor
};
bool ConfigureFrame(qel::ITitleHost& host, const FrameSetup& setup, std::string& error);

// --background: "#RRGGBB", "transparent", or a PNG file scaled to the frame.
struct Background {
    enum class Kind { Color, Picture, Transparent } kind = Kind::Color;
    uint32_t rgb = 0;  // 0x00RRGGBB
    Image picture;
};
bool ParseBackground(const std::string& text, Background& out, std::string& error);
// The frame every drawing starts from.
Image BackgroundFrame(const Background& background, int width, int height);

// Copies `base` into `frame` and draws the title at `time` (0 to 1) over it.
bool DrawTitle(qel::ITitleHost& host, const Image& base, double time, Image& frame, std::string& error);

struct EffectInfo {
    std::string pathId;
    std::string group;
    std::string name;  // display name; the display key when no string table names it
    std::string description;
};
// The effects offered at `level` (1 offers all of them), in catalogue order.
std::vector<EffectInfo> OfferedEffects(qel::ITitleHost& host, int level);
// "IDS_DSP_Ti_SlideUp_Name" -> "SlideUp"; any other text is returned as it is.
std::string DisplayKeyOf(std::string_view text);

struct KeyFrame {
    float key = 0;  // title time, 0 to 1
    std::string pathId;
    float progress = 0;
};

// Key frames that bring a string in with `in` over [inStart, inEnd], hold it at rest, and when
// `out` is given take it away over [outStart, outEnd] by running `out` backwards (progress 1 to 0).
// Before inStart the string waits at progress 0 of `in` (invisible for the effects that come in).
std::vector<KeyFrame> EffectSchedule(std::string_view in, float inStart, float inEnd,
                                     std::string_view out = {}, float outStart = 0, float outEnd = 1);
// The `text` command's schedule: `first` alone comes in over the whole time; with `then`, `first`
// comes in over [0, 0.4], the string rests until 0.6 and `then` takes it out over [0.6, 1].
std::vector<KeyFrame> TextCommandSchedule(std::string_view first, std::string_view then);
bool SetKeyFrames(qel::ITitleHost& host, int row, const std::vector<KeyFrame>& frames, std::string& error);
// Drops every string's key frames in memory and sets it to PATH_NOEFFECT at progress 1, so any
// time draws the whole title at rest (a string that an effect takes away at time 1 included).
bool PoseAtRest(qel::ITitleHost& host, std::string& error);

// How a new string looks and where it goes. Colours are 0x00RRGGBB.
struct StringStyle {
    std::string font;  // face name; empty keeps the library's default face
    float size = 72;   // em height, layout units
    bool bold = false;
    bool italic = false;
    uint32_t color1 = 0xFFFFFF, color2 = 0xFFFFFF;
    int gradient = 0;  // gradient type 0..7
    int alpha = 255;
    std::optional<BorderOption> border;
    std::optional<ShadowOption> shadow;
    uint32_t align = 6;  // paragraph alignment code (centre)
    bool vertical = false;
    float rotate = 0;  // degrees
    // Top-left corner in layout units; without it the string's centre goes to the centre of `frame`.
    std::optional<std::pair<float, float>> at;
    FrameSize frame{1920, 1080};
};
struct AddedString {
    int row = -1;
    std::string fontUsed;  // the face the library resolved
    bool fontSubstituted = false;
};
bool AddStyledString(qel::ITitleHost& host, std::u16string_view text, const StringStyle& style,
                     AddedString& out, std::string& error);

// Message text for a library status code.
std::string StatusText(qel::HRESULT status);

}  // namespace qeltitle
