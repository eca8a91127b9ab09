#include "base/DebugOutput.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace qel {
namespace {

std::mutex& SinkLock() {
    static std::mutex lock;
    return lock;
}

DebugSink& CurrentSink() {
    static DebugSink sink;
    return sink;
}

using HostHook = void (*)(const char*);

// A host may define QelDebugOutput in its executable; it is looked up once.
HostHook FindHostHook() {
    static const HostHook hook = reinterpret_cast<HostHook>(dlsym(RTLD_DEFAULT, "QelDebugOutput"));
    return hook;
}

}  // namespace

void DebugOutput(std::string_view line) {
    std::lock_guard<std::mutex> guard(SinkLock());
    if (const DebugSink& sink = CurrentSink()) {
        sink(line);
        return;
    }
    if (HostHook hook = FindHostHook()) {
        hook(std::string(line).c_str());
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void DebugOutputF(const char* format, ...) {
    char buffer[260];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    DebugOutput(buffer);
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> guard(SinkLock());
    DebugSink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

}  // namespace qel
