#include "designer/DesignServer.h"

#include <fontconfig/fontconfig.h>
#include <httplib.h>
#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "authoring/Captions.h"
#include "commands/DataFiles.h"
#include "designer/ExportJob.h"
#include "media/Png.h"
#include "player/SafeFile.h"

namespace qeltitle {

using nlohmann::json;

namespace {

// A refusal: the status and a message the page shows.
struct Refusal {
    int status;
    std::string message;
};

void SendError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(json{{"error", message}}.dump(), "application/json");
}

void SendJson(httplib::Response& res, const json& body) { res.set_content(body.dump(), "application/json"); }

// Percent-encoded UTF-8, for text carried in a response header.
std::string HeaderText(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || std::strchr("-_.~ ,:;()'", c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The part `rect` of the frame as the page's canvas takes it: RGBA bytes, row after row.
std::string RgbaBytes(const Image& image, const PixelRect& rect) {
    std::string bytes(static_cast<size_t>(rect.width) * rect.height * 4, '\0');
    char* to = bytes.data();
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        const uint8_t* from = image.At(rect.x, y);
        for (int x = 0; x < rect.width; ++x, from += 4, to += 4) {
            to[0] = static_cast<char>(from[2]);
            to[1] = static_cast<char>(from[1]);
            to[2] = static_cast<char>(from[0]);
            to[3] = static_cast<char>(from[3]);
        }
    }
    return bytes;
}

// The frame, or only its changed part when the page shows the frame it changes ("have"). The
// headers say which part the bytes hold and the frame's number, which the page sends back.
void SendFrame(httplib::Response& res, const Image& image, const std::vector<std::string>& warnings,
               const FrameUpdate* update = nullptr, double have = -1) {
    PixelRect rect{0, 0, image.width, image.height};
    if (update) {
        if (update->previous != 0 && have == static_cast<double>(update->previous)) rect = update->changed;
        res.set_header("X-Serial", std::to_string(update->serial));
    }
    res.set_header("X-Width", std::to_string(image.width));
    res.set_header("X-Height", std::to_string(image.height));
    res.set_header("X-Rect", std::to_string(rect.x) + "," + std::to_string(rect.y) + "," + std::to_string(rect.width) +
                                 "," + std::to_string(rect.height));
    std::string joined;
    for (const std::string& w : warnings) joined += (joined.empty() ? "" : "\n") + w;
    if (!joined.empty()) res.set_header("X-Warnings", HeaderText(joined.substr(0, 4000)));
    res.body = RgbaBytes(image, rect);
    res.set_header("Content-Type", "application/octet-stream");
}

// A JSON request body; a refusal when it does not parse or is not an object.
json Body(const httplib::Request& req) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) throw Refusal{400, "the request is not a JSON object"};
    return body;
}

std::string Text(const json& body, const char* key, const std::string& fallback = {}) {
    const auto it = body.find(key);
    if (it == body.end() || it->is_null()) return fallback;
    if (!it->is_string()) throw Refusal{400, std::string(key) + ": expected text"};
    return it->get<std::string>();
}

double Number(const json& body, const char* key, double lo, double hi, double fallback) {
    const auto it = body.find(key);
    if (it == body.end() || it->is_null()) return fallback;
    if (!it->is_number() || it->get<double>() < lo || it->get<double>() > hi)
        throw Refusal{400, std::string(key) + ": expected a number from " + std::to_string(lo) + " to " +
                               std::to_string(hi)};
    return it->get<double>();
}

BackdropSpec ReadBackdrop(const json& body) {
    BackdropSpec spec;
    const auto it = body.find("backdrop");
    if (it == body.end() || !it->is_object()) return spec;
    const std::string kind = Text(*it, "kind", "color");
    if (kind == "color") spec.kind = BackdropSpec::Kind::Color;
    else if (kind == "transparent") spec.kind = BackdropSpec::Kind::Transparent;
    else if (kind == "image") spec.kind = BackdropSpec::Kind::Image;
    else if (kind == "video") spec.kind = BackdropSpec::Kind::Video;
    else throw Refusal{400, "backdrop.kind: expected color, transparent, image or video"};
    spec.color = Text(*it, "color", "#000000");
    spec.file = Text(*it, "file");
    spec.seconds = Number(*it, "seconds", 0, 1e7, 0);
    return spec;
}

std::pair<int, int> FrameSizeOf(const json& body) {
    return {static_cast<int>(Number(body, "width", 16, kMaxPreviewSide, 1920)),
            static_cast<int>(Number(body, "height", 16, kMaxPreviewSide, 1080))};
}

// The value of an Expected, or a refusal with its message.
template <class T>
T Take(Expected<T> value, int status = 422) {
    if (!value) throw Refusal{status, value.Message()};
    return std::move(*value);
}

// Names of the folder a request reads (a backdrop's file, subtitles, a title), refused with 403
// when they lead outside it, before anything else is done.
void CheckReadable(const WorkFolder& folder, const json& body, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        const auto it = body.find(key);
        if (it != body.end() && it->is_string() && !it->get<std::string>().empty())
            (void)Take(folder.ForReading(it->get<std::string>()), 403);
    }
    if (const auto it = body.find("backdrop"); it != body.end() && it->is_object()) CheckReadable(folder, *it, {"file"});
}

// Font families installed, for the page's font list (each shown in its face by the browser).
std::vector<std::string> InstalledFamilies() {
    std::set<std::string> families;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont; ++i) {
            FcChar8* family = nullptr;
            if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch)
                families.insert(reinterpret_cast<const char*>(family));
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return {families.begin(), families.end()};
}

std::string ContentTypeOf(const std::string& name) {
    if (name.ends_with(".html")) return "text/html; charset=utf-8";
    if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
    if (name.ends_with(".css")) return "text/css; charset=utf-8";
    if (name.ends_with(".svg")) return "image/svg+xml";
    return "application/octet-stream";
}

bool SameText(const std::string& a, const std::string& b) {
    // Compared in time that does not depend on where they differ.
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// Runs a handler; refusals and the engine's failures become error responses.
template <class Handler>
httplib::Server::Handler Guarded(std::mutex& engine, Handler handler) {
    return [&engine, handler](const httplib::Request& req, httplib::Response& res) {
        try {
            std::lock_guard lock(engine);
            handler(req, res);
        } catch (const Refusal& refusal) {
            SendError(res, refusal.status, refusal.message);
        } catch (const std::exception& e) {
            SendError(res, 500, e.what());
        }
    };
}

}  // namespace

std::string NewToken() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
    }
    static const char* hex = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) token += {hex[b >> 4], hex[b & 15]};
    return token;
}

std::string PageDirectory() { return DataDirectory("designer", "index.html"); }

bool Serve(Designer& designer, const ServeOptions& options, const std::string& token,
           const std::function<void(const std::string&, const std::function<void()>&)>& ready, std::string& error) {
    httplib::Server server;
    std::mutex engine;
    ExportJob exports;
    const std::string prefix = "/" + token;
    const WorkFolder& folder = designer.Folder();

    server.set_payload_max_length(kMaxRequestBytes);
    server.set_keep_alive_max_count(100000);
    // Frames go out as soon as they are written, not after the small packets before them are
    // acknowledged.
    server.set_tcp_nodelay(true);
    // Every request names the token first; anything else is refused before it is looked at.
    server.set_pre_routing_handler([prefix](const httplib::Request& req, httplib::Response& res) {
        const std::string& path = req.path;
        const bool named = path.size() >= prefix.size() && SameText(path.substr(0, prefix.size()), prefix) &&
                           (path.size() == prefix.size() || path[prefix.size()] == '/');
        if (!named) {
            SendError(res, 403, "this address needs the token printed by qeltitle serve");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Nothing the page loads may reach another site, and the token stays in this origin.
        res.set_header("Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data: blob:; style-src 'self' 'unsafe-inline'; "
                       "connect-src 'self'; font-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'");
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        return httplib::Server::HandlerResponse::Unhandled;
    });

    // The page's own files: only plain names of the page folder.
    const std::string pages = options.pages;
    server.Get(prefix + R"(/?([A-Za-z0-9_-]*(\.(html|js|css|svg))?))",
               [pages, prefix](const httplib::Request& req, httplib::Response& res) {
        std::string name = req.matches[1];
        if (req.path == prefix) {
            res.set_redirect(prefix + "/");
            return;
        }
        if (name.empty()) name = "index.html";
        std::ifstream in(pages + "/" + name, std::ios::binary);
        if (!in || name.find('.') == std::string::npos) return SendError(res, 404, "no such page file");
        std::ostringstream bytes;
        bytes << in.rdbuf();
        res.set_content(bytes.str(), ContentTypeOf(name));
    });

    server.Get(prefix + "/api/session", Guarded(engine, [&](const httplib::Request&, httplib::Response& res) {
        json effects = json::array();
        for (const auto& e : designer.Effects()) effects.push_back({{"id", e[0]}, {"name", e[1]}, {"group", e[2]}});
        json body{{"folder", folder.Root()},
                  {"files", folder.Files()},
                  {"fonts", InstalledFamilies()},
                  {"effects", effects},
                  {"presets", InstalledPresets()},
                  {"title", nullptr},
                  {"titleName", options.titleName}};
        if (!options.titleName.empty()) {
            Expected<std::string> text = designer.OpenTitle(options.titleName);
            if (text) body["title"] = *text;
            else body["titleError"] = text.Message();
        }
        SendJson(res, body);
    }));

    server.Get(prefix + "/api/files", Guarded(engine, [&](const httplib::Request&, httplib::Response& res) {
        SendJson(res, json{{"files", folder.Files()}});
    }));

    server.Post(prefix + "/api/frame", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        const json body = Body(req);
        CheckReadable(folder, body, {});
        const auto [width, height] = FrameSizeOf(body);
        std::vector<StringBox> boxes;
        std::vector<std::string> warnings;
        const FrameUpdate update = Take(designer.DrawTitle(Text(body, "title"), Number(body, "time", 0, 1, 0), width,
                                                           height, ReadBackdrop(body), boxes, warnings));
        std::string boxText;
        for (const StringBox& b : boxes)
            boxText += (boxText.empty() ? "" : ";") + std::to_string(b.x) + "," + std::to_string(b.y) + "," +
                       std::to_string(b.width) + "," + std::to_string(b.height);
        res.set_header("X-Boxes", boxText);
        SendFrame(res, *update.frame, warnings, &update, Number(body, "have", -1, 1e18, -1));
    }));

    server.Post(prefix + "/api/bounds", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        // What the strings draw at rest, for snapping what is seen rather than the text's box.
        const json body = Body(req);
        const auto [width, height] = FrameSizeOf(body);
        json boxes = json::array();
        for (const StringBox& b : Take(designer.DrawnBoxes(Text(body, "title"), width, height)))
            boxes.push_back({b.x, b.y, b.width, b.height});
        SendJson(res, json{{"boxes", boxes}});
    }));

    server.Get(prefix + R"(/api/thumb/([A-Z0-9_]+))",
               Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        const Image strip = Take(designer.EffectStrip(req.matches[1], 8, 120, 68), 404);
        Expected<std::string> png = EncodePng(strip, false);
        if (!png) throw Refusal{500, png.Message()};
        res.headers.erase("Cache-Control");  // a thumbnail does not change: the page keeps it
        res.set_header("Cache-Control", "private, max-age=3600");
        res.set_content(*png, "image/png");
    }));

    server.Post(prefix + "/api/captions", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        const json body = Body(req);
        CheckReadable(folder, body, {"subtitles"});
        const auto [width, height] = FrameSizeOf(body);
        double duration = 0;
        std::vector<std::string> warnings;
        const Image frame = Take(designer.DrawCaptions(Text(body, "subtitles"), Text(body, "style"),
                                                       Number(body, "seconds", 0, 1e7, 0), width, height,
                                                       ReadBackdrop(body), duration, warnings));
        res.set_header("X-Duration", std::to_string(duration));
        SendFrame(res, frame, warnings);
    }));

    server.Post(prefix + "/api/open", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        // A title file as the JSON the page edits.
        const json body = Body(req);
        CheckReadable(folder, body, {"name"});
        SendJson(res, json{{"title", Take(designer.OpenTitle(Text(body, "name")))}});
    }));

    server.Post(prefix + "/api/text", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        const std::string name = Text(Body(req), "name");
        std::string preset = name.starts_with("preset:") ? PresetPath(name.substr(7)) : "";
        const std::string path = name.starts_with("preset:") ? preset : Take(folder.ForReading(name), 403);
        if (path.empty()) throw Refusal{404, "no preset " + name.substr(7)};
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (bytes.str().size() > kMaxRequestBytes) throw Refusal{413, name + " is too large to edit here"};
        SendJson(res, json{{"text", bytes.str()}});
    }));

    server.Post(prefix + "/api/save", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        const json body = Body(req);
        const std::string name = Text(body, "name"), format = Text(body, "format", "xml");
        const std::string extension = format == "xml" ? ".xml" : ".json";
        if (!name.ends_with(extension)) throw Refusal{400, "a " + format + " file is named *" + extension};
        const std::string path = Take(folder.ForWriting(name), 403);
        const std::string bytes = Take(designer.SavedBytes(Text(body, "title"), format));
        std::string why;
        if (!WriteWholeFile(path, bytes, why)) throw Refusal{500, "cannot write " + name + ": " + why};
        SendJson(res, json{{"saved", name}, {"files", folder.Files()}});
    }));

    server.Post(prefix + "/api/export", Guarded(engine, [&](const httplib::Request& req, httplib::Response& res) {
        const json body = Body(req);
        CheckReadable(folder, body, {"clip"});
        const std::string name = Text(body, "name"), title = Text(body, "title");
        const auto [width, height] = FrameSizeOf(body);
        const BackdropSpec backdrop = ReadBackdrop(body);
        const std::string path = Take(folder.ForWriting(name), 403);
        if (name.ends_with(".png")) {
            std::vector<StringBox> boxes;
            std::vector<std::string> warnings;
            const FrameUpdate update = Take(
                designer.DrawTitle(title, Number(body, "time", 0, 1, 0), width, height, backdrop, boxes, warnings));
            if (Status written = WritePng(path, *update.frame, backdrop.kind == BackdropSpec::Kind::Transparent, PngKind::Still);
                !written)
                throw Refusal{500, "cannot write " + name + ": " + written.Message()};
            return SendJson(res, json{{"saved", name}, {"files", folder.Files()}});
        }
        const std::string document = Take(designer.TitleDocumentOf(title));
        std::vector<std::string> args;
        const std::string clip = Text(body, "clip");
        if (!clip.empty()) {
            args = {"overlay", Take(folder.ForReading(clip), 403), "-o", path, "--title", "{title}"};
        } else {
            args = {"animate", "{title}", "-o", path, "--size", std::to_string(width) + "x" + std::to_string(height)};
            if (backdrop.kind == BackdropSpec::Kind::Transparent) args.insert(args.end(), {"--background", "transparent"});
            else if (backdrop.kind == BackdropSpec::Kind::Image)
                args.insert(args.end(), {"--background", Take(folder.ForReading(backdrop.file), 403)});
            else args.insert(args.end(), {"--background", backdrop.color});
        }
        if (Status started = exports.Start(args, document, name); !started) throw Refusal{409, started.Message()};
        SendJson(res, json{{"started", name}});
    }));

    server.Get(prefix + "/api/export", [&](const httplib::Request&, httplib::Response& res) {
        const ExportStatus s = exports.Current();
        json body{{"running", s.running}, {"ok", s.ok},         {"cancelled", s.cancelled}, {"done", s.done},
                  {"total", s.total},     {"message", s.message}, {"output", s.output}};
        if (!s.running && s.ok) body["files"] = folder.Files();
        SendJson(res, body);
    });
    server.Post(prefix + "/api/export/cancel", [&](const httplib::Request&, httplib::Response& res) {
        SendJson(res, json{{"cancelled", exports.Cancel()}});
    });

    const int port = options.port == 0 ? server.bind_to_any_port(options.host)
                                       : (server.bind_to_port(options.host, options.port) ? options.port : -1);
    if (port < 0) {
        error = "cannot listen on " + options.host + (options.port ? ":" + std::to_string(options.port) : "") +
                ": " + std::strerror(errno);
        return false;
    }
    const std::string shownHost = options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    std::atomic<bool> stopped = false;
    ready("http://" + shownHost + ":" + std::to_string(port) + prefix + "/", [&server, &stopped] {
        stopped = true;
        server.stop();
    });
    if (!server.listen_after_bind() && !stopped) {
        error = "the server stopped: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace qeltitle
