// `qeltitle serve`: the designer's web server. The page (plain JavaScript modules and a style
// sheet, installed with the tool) and its requests are served on one address; every request must
// carry the session's random token as the first part of its path, so that another page in the
// browser or another user of the machine cannot reach it. Files are read and written only inside
// the work folder (WorkFolder.h), request bodies are limited in size, and the engine is asked one
// request at a time.
#pragma once

#include <functional>
#include <string>

#include "designer/Designer.h"

namespace qeltitle {

struct ServeOptions {
    std::string host = "127.0.0.1";
    int port = 0;           // 0: any free port
    std::string pages;      // the folder of the page's files
    std::string titleName;  // a title of the folder opened at the start (relative), or empty
};

// The largest request body taken (a title, a caption style); larger ones get 413.
constexpr size_t kMaxRequestBytes = 4 << 20;
// The largest frame side the page may ask to draw.
constexpr int kMaxPreviewSide = 4096;

// A new random token: 32 hexadecimal digits from the system's random source.
std::string NewToken();
// The folder of the page's files: beside the executable in the build tree, under
// share/qeltitle/designer once installed; empty when neither holds them.
std::string PageDirectory();

// Serves until `stop` is set up and called (from another thread) or the socket fails. `ready`
// is called with the address (http://HOST:PORT/TOKEN/) once it listens. False with `error` when
// it cannot listen.
bool Serve(Designer& designer, const ServeOptions& options, const std::string& token,
           const std::function<void(const std::string& url, const std::function<void()>& stop)>& ready,
           std::string& error);

}  // namespace qeltitle
