#include "Title.h"

#include <dlfcn.h>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "Text.h"

namespace qeltitle {

using namespace qel;

namespace {

std::mutex gDebugLock;
DebugTarget gDebugTarget = DebugTarget::StandardError;
std::vector<std::string>* gDebugCapture = nullptr;

// Why the library may have refused a title file, found by reading it ourselves.
std::string DiagnoseTitleFile(const std::string& path) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed) {
        if (parsed.status == pugi::status_file_not_found) return "cannot be opened";
        if (parsed.status == pugi::status_no_document_element) return "not a title document (no XML in it)";
        return "not well-formed XML (" + std::string(parsed.description()) + " at byte " +
               std::to_string(parsed.offset) + ")";
    }
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "CTitle") != 0)
        return "not a title document (its root element is <" + std::string(root.name()) + ">, not <CTitle>)";
    const pugi::xml_node list = root.child("StringList");
    if (!list) return "not a title document (<CTitle> has no <StringList>)";
    if (!list.child("MetaString")) return "not a title document (<StringList> has no <MetaString>)";
    return "the title library could not read it";
}

// Why the library may have refused an effect string table.
std::string DiagnoseStringTable(const std::string& path) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(path.c_str());
    if (!parsed) {
        if (parsed.status == pugi::status_no_document_element) return "not a string table (no XML in it)";
        return "not well-formed XML (" + std::string(parsed.description()) + " at byte " +
               std::to_string(parsed.offset) + ")";
    }
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "QelDspInfo") != 0)
        return "not a string table (its root element is <" + std::string(root.name()) + ">, not <QelDspInfo>)";
    const pugi::xml_node table = root.child("StringTable");
    if (!table) return "not a string table (<QelDspInfo> has no <StringTable>)";
    if (!table.child("StringGroup")) return "not a string table (<StringTable> has no <StringGroup>)";
    return "the title library could not read it";
}

bool CheckReadable(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "is a directory";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

thread_local std::vector<EffectInfo>* gEnumerated = nullptr;

int32_t CollectEffect(const char* pathId, const void* name, const void* desc, const char* groupId) {
    if (!gEnumerated) return E_ABORT;
    EffectInfo info;
    info.pathId = pathId ? pathId : "";
    info.group = groupId ? groupId : "";
    info.name = DisplayKeyOf(name ? static_cast<const char*>(name) : "");
    info.description = desc ? static_cast<const char*>(desc) : "";
    gEnumerated->push_back(std::move(info));
    return S_OK;
}

void CopyFaceName(char16_t (&target)[32], const std::u16string& name) {
    std::memset(target, 0, sizeof target);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 31), target);
}

}  // namespace

HostPtr NewHost(std::string& error) {
    HostPtr host(GetTitleHost());
    if (!host) error = "the title library could not create a title (out of memory)";
    return host;
}

bool LoadTitle(ITitleHost& host, const std::string& path, std::string& error) {
    std::string reason;
    if (!CheckReadable(path, reason)) {
        error = "cannot load title: " + path + ": " + reason;
        return false;
    }
    HRESULT status;
    {
        DebugCapture quiet;  // the failure line is replaced by our own message
        status = host.LoadTitleFromFile(Utf8ToUtf16(path).c_str());
    }
    if (status != S_OK) {
        error = "cannot load title: " + path + ": " + DiagnoseTitleFile(path);
        return false;
    }
    return true;
}

bool SaveTitle(ITitleHost& host, const std::string& path, std::string& error) {
    HRESULT status;
    {
        DebugCapture quiet;
        status = host.SaveTitleToFile(Utf8ToUtf16(path).c_str());
    }
    if (status != S_OK) {
        // The library does not say why; the usual reasons are the path itself or its directory.
        std::string reason = StatusText(status);
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            error = "cannot save title: " + path + ": is a directory";
            return false;
        }
        const auto slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + (slash == 0));
        if (access(dir.c_str(), W_OK) != 0) reason = dir + ": " + std::strerror(errno);
        error = "cannot save title: " + path + ": " + reason;
        return false;
    }
    return true;
}

bool LoadEffectStrings(ITitleHost& host, const std::string& path, std::string& error) {
    std::string reason;
    if (!CheckReadable(path, reason)) {
        error = "cannot load effect strings: " + path + ": " + reason;
        return false;
    }
    HRESULT status;
    {
        DebugCapture quiet;
        status = host.LoadEffectStrings(Utf8ToUtf16(path).c_str());
    }
    if (status != S_OK) {
        error = "cannot load effect strings: " + path + ": " + DiagnoseStringTable(path);
        return false;
    }
    return true;
}

std::string DefaultEffectStringsPath() {
    // The library's own file, found through one of its exported functions.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetTitleHost), &info) == 0 || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kEffectStringsFile;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return path;
}

bool LoadChosenEffectStrings(ITitleHost& host, const std::optional<std::string>& named, bool keysOnly,
                             std::string& error) {
    if (named) return LoadEffectStrings(host, *named, error);
    if (keysOnly) return true;
    const std::string installed = DefaultEffectStringsPath();
    return installed.empty() || LoadEffectStrings(host, installed, error);
}

void SetDebugTarget(DebugTarget target) {
    std::lock_guard<std::mutex> guard(gDebugLock);
    gDebugTarget = target;
}

void DeliverDebugLine(const char* line) {
    std::lock_guard<std::mutex> guard(gDebugLock);
    if (gDebugCapture) {
        gDebugCapture->emplace_back(line ? line : "");
        return;
    }
    std::FILE* stream = gDebugTarget == DebugTarget::StandardOutput ? stdout : stderr;
    std::fprintf(stream, "%s\n", line ? line : "");
}

DebugCapture::DebugCapture() {
    std::lock_guard<std::mutex> guard(gDebugLock);
    gDebugCapture = new std::vector<std::string>();
}

DebugCapture::~DebugCapture() {
    std::lock_guard<std::mutex> guard(gDebugLock);
    delete gDebugCapture;
    gDebugCapture = nullptr;
}

std::vector<std::string> DebugCapture::Lines() const {
    std::lock_guard<std::mutex> guard(gDebugLock);
    return gDebugCapture ? *gDebugCapture : std::vector<std::string>{};
}

bool ConfigureFrame(ITitleHost& host, const FrameSetup& setup, std::string& error) {
    RenderSettings settings{};
    host.GetRenderSettings(&settings);
    settings.QualityMode = 0;  // 65 grey levels and Gaussian blur: the best the library draws
    settings.ColorMode = 0;
    settings.KeepAlpha = setup.keepAlpha ? 1 : 0;
    settings.Width = setup.width;
    settings.Height = setup.height;
    settings.ScaleX = settings.ScaleY = setup.scale;
    settings.ClipRect = {0, 0, setup.width, setup.height};
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    settings.MaxThreads = setup.threads > 0 ? setup.threads : static_cast<int32_t>(cores);
    if (const HRESULT status = host.SetRenderSettings(&settings); status != S_OK) {
        error = "the title library refused the frame settings: " + StatusText(status);
        return false;
    }
    // New scales change every character's extent in frame pixels.
    host.RemeasureAll();
    return true;
}

bool ParseBackground(const std::string& text, Background& out, std::string& error) {
    out = Background{};
    if (text == "transparent") {
        out.kind = Background::Kind::Transparent;
        return true;
    }
    if (text.starts_with("#")) {
        out.kind = Background::Kind::Color;
        return ParseRgb(text, out.rgb, error);
    }
    out.kind = Background::Kind::Picture;
    if (!ReadPng(text, out.picture, error)) {
        error = "cannot read background: " + text + ": " + error;
        return false;
    }
    return true;
}

Image BackgroundFrame(const Background& background, int width, int height) {
    switch (background.kind) {
        case Background::Kind::Transparent:
            return Image(width, height);
        case Background::Kind::Picture: {
            Image frame = background.picture.width == width && background.picture.height == height
                              ? background.picture
                              : Resized(background.picture, width, height);
            // The title is blended over an opaque frame: a see-through picture shows over black.
            for (size_t i = 3; i < frame.pixels.size(); i += 4) {
                const unsigned a = frame.pixels[i];
                for (size_t c = i - 3; c < i; ++c) frame.pixels[c] = static_cast<uint8_t>(frame.pixels[c] * a / 255);
                frame.pixels[i] = 255;
            }
            return frame;
        }
        case Background::Kind::Color:
            break;
    }
    Image frame(width, height);
    FillSolid(frame, background.rgb);
    return frame;
}

bool DrawTitle(ITitleHost& host, const Image& base, double time, Image& frame, std::string& error) {
    if (frame.width != base.width || frame.height != base.height) frame = Image(base.width, base.height);
    std::memcpy(frame.pixels.data(), base.pixels.data(), base.pixels.size());
    const HRESULT status = host.Render(frame.pixels.data(), static_cast<float>(std::clamp(time, 0.0, 1.0)));
    if (status != S_OK) {
        error = "the title library could not draw the frame: " + StatusText(status);
        return false;
    }
    return true;
}

std::vector<EffectInfo> OfferedEffects(ITitleHost& host, int level) {
    std::vector<EffectInfo> effects;
    if (host.SelectByLevel(level) <= 0) return effects;
    gEnumerated = &effects;
    host.EnumEffects(&CollectEffect);
    gEnumerated = nullptr;
    return effects;
}

std::string DisplayKeyOf(std::string_view text) {
    constexpr std::string_view kPrefix = "IDS_DSP_Ti_", kSuffix = "_Name";
    if (text.size() > kPrefix.size() + kSuffix.size() && text.starts_with(kPrefix) && text.ends_with(kSuffix))
        return std::string(text.substr(kPrefix.size(), text.size() - kPrefix.size() - kSuffix.size()));
    return std::string(text);
}

std::vector<KeyFrame> EffectSchedule(std::string_view in, float inStart, float inEnd, std::string_view out,
                                     float outStart, float outEnd) {
    // Between two keys of different effects the earlier one holds, so the string rests at the end
    // of `in` until `out` begins; before the first key or after the last it would vanish, hence
    // the keys at 0 and 1.
    std::vector<KeyFrame> frames;
    const std::string first(in), last(out);
    if (inStart > 0) frames.push_back({0.0f, first, 0.0f});
    frames.push_back({inStart, first, 0.0f});
    frames.push_back({inEnd, first, 1.0f});
    if (last.empty()) {
        if (inEnd < 1) frames.push_back({1.0f, first, 1.0f});
        return frames;
    }
    frames.push_back({outStart, last, 1.0f});
    frames.push_back({outEnd, last, 0.0f});
    if (outEnd < 1) frames.push_back({1.0f, last, 0.0f});
    return frames;
}

std::vector<KeyFrame> TextCommandSchedule(std::string_view first, std::string_view then) {
    if (then.empty()) return EffectSchedule(first, 0.0f, 1.0f);
    return EffectSchedule(first, 0.0f, 0.4f, then, 0.6f, 1.0f);
}

bool SetKeyFrames(ITitleHost& host, int row, const std::vector<KeyFrame>& frames, std::string& error) {
    host.ClearKeyFrames(row);
    for (const KeyFrame& frame : frames) {
        PathValue value{};
        if (frame.pathId.size() >= sizeof value.PathID) {
            error = "effect name too long: " + frame.pathId;
            return false;
        }
        std::memcpy(value.PathID, frame.pathId.c_str(), frame.pathId.size() + 1);
        value.PathProgress = frame.progress;
        if (const HRESULT status = host.SetKeyFrame(row, frame.key, &value); status != S_OK) {
            error = "the title library refused a key frame: " + StatusText(status);
            return false;
        }
    }
    return true;
}

bool PoseAtRest(ITitleHost& host, std::string& error) {
    const int32_t rows = host.GetStringCount();
    for (int32_t row = 0; row < rows; ++row) {
        host.ClearKeyFrames(row);
        StringAttrs attrs{};
        if (HRESULT status = host.GetStringAttrs(row, &attrs); status == S_OK) {
            std::strcpy(attrs.PathID, "PATH_NOEFFECT");
            attrs.PathProgress = 1.0f;
            host.SetDefaultString(&attrs);
            status = host.ApplyString(row);
            if (status == S_OK) continue;
            error = "the title library could not set string " + std::to_string(row) + " at rest: " + StatusText(status);
            return false;
        }
    }
    return true;
}

bool AddStyledString(ITitleHost& host, std::u16string_view text, const StringStyle& style, AddedString& out,
                     std::string& error) {
    FontSpec font{};
    host.GetDefaultFont(&font);
    if (!style.font.empty()) CopyFaceName(font.FaceName, Utf8ToUtf16(style.font));
    font.CharSet = 1;
    font.Size = style.size;
    font.Bold = style.bold ? 1 : 0;
    font.Italic = style.italic ? 1 : 0;
    font.Underline = font.StrikeOut = 0;
    out.fontSubstituted = host.SetDefaultFont(&font) == 1;
    FontSpec used{};
    host.GetDefaultFont(&used);
    out.fontUsed = Utf16ToUtf8(std::u16string(used.FaceName, std::find(used.FaceName, used.FaceName + 32, u'\0')));

    MetaFace face{1, ModelColor(style.color1), ModelColor(style.color2), style.gradient,
                  static_cast<uint32_t>(std::clamp(style.alpha, 0, 255)), 0};
    host.SetDefaultFace(&face);

    MetaBorder border{};
    if (style.border && style.border->size > 0) {
        const uint32_t c = ModelColor(style.border->rgb);
        border = {1, style.border->size, c, c, 0, 255, 0};
    }
    host.SetDefaultBorder(&border);

    MetaShadow shadow{};
    if (style.shadow) {
        const ShadowOption& s = *style.shadow;
        const uint32_t c = ModelColor(s.rgb);
        shadow = {1, border.Enable, c, c, 0, s.extrude ? 255u : 160u, s.blur, s.dx, s.dy, s.extrude ? 1u : 0u};
    }
    host.SetDefaultShadow(&shadow);

    // A getter given a bad row still reports the default, which is how a host reads the defaults
    // it did not set itself.
    ParagraphAttrs paragraph{};
    host.GetCharParagraph(-1, 0, &paragraph);
    paragraph.Align = style.align;
    host.SetDefaultParagraph(&paragraph);

    StringAttrs attrs{};
    host.GetStringAttrs(-1, &attrs);
    attrs.Left = style.at ? style.at->first : 0.0f;
    attrs.Top = style.at ? style.at->second : 0.0f;
    attrs.RotateDegree = style.rotate;
    attrs.Vertical = style.vertical ? 1 : 0;
    std::strcpy(attrs.PathID, "PATH_NOEFFECT");
    attrs.PathProgress = 1.0f;
    host.SetDefaultString(&attrs);

    out.row = host.AddString();
    const std::u16string terminated(text);
    const int32_t count = host.InsertText(out.row, 0, terminated.c_str());
    if (count != static_cast<int32_t>(terminated.size())) {
        error = "the title library kept " + std::to_string(count) + " of " + std::to_string(terminated.size()) +
                " characters";
        return false;
    }
    if (style.at) return true;

    // Centre the drawn characters (rotated, and for vertical text extending to the left of the
    // string's corner) on the centre of the frame; the move is rigid, so one correction suffices.
    float minX = FLT_MAX, minY = FLT_MAX, maxX = -FLT_MAX, maxY = -FLT_MAX;
    for (int32_t i = 0; i < count; ++i) {
        QuadF quad{};
        if (host.GetCharQuad(out.row, i, &quad, 0) != S_OK) continue;
        for (int k = 0; k < 4; ++k) {
            minX = std::min(minX, quad.x[k]), maxX = std::max(maxX, quad.x[k]);
            minY = std::min(minY, quad.y[k]), maxY = std::max(maxY, quad.y[k]);
        }
    }
    if (minX > maxX) {
        RectF box{};
        host.GetStringRect(out.row, &box);
        minX = box.x, maxX = box.x + box.width, minY = box.y, maxY = box.y + box.height;
    }
    RenderSettings settings{};
    host.GetRenderSettings(&settings);
    const float sx = settings.ScaleX != 0 ? settings.ScaleX : 1.0f;
    const float sy = settings.ScaleY != 0 ? settings.ScaleY : 1.0f;
    attrs.Left += (style.frame.width * sx * 0.5f - (minX + maxX) * 0.5f) / sx;
    attrs.Top += (style.frame.height * sy * 0.5f - (minY + maxY) * 0.5f) / sy;
    attrs.Left = std::round(attrs.Left);
    attrs.Top = std::round(attrs.Top);
    host.SetDefaultString(&attrs);
    if (const HRESULT status = host.ApplyString(out.row); status != S_OK) {
        error = "the title library could not place the string: " + StatusText(status);
        return false;
    }
    return true;
}

std::string StatusText(HRESULT status) {
    switch (status) {
        case S_OK: return "success";
        case S_FALSE: return "S_FALSE";
        case E_INVALIDARG: return "invalid argument (E_INVALIDARG)";
        case E_POINTER: return "null pointer (E_POINTER)";
        case E_FAIL: return "failed (E_FAIL)";
        case E_OUTOFMEMORY: return "out of memory (E_OUTOFMEMORY)";
        case E_ABORT: return "aborted (E_ABORT)";
        default: break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "status 0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace qeltitle
