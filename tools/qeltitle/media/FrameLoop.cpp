#include "media/FrameLoop.h"

#include <cstdint>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "commands/Args.h"

namespace qeltitle {

std::string FormatProgress(int done, int total, double fps, double secondsLeft, int barWidth, std::string_view unit,
                           std::string_view rate) {
    const int filled = total > 0 ? static_cast<int>(static_cast<long>(barWidth) * done / total) : barWidth;
    std::string bar = "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
    const long left = std::lround(std::max(0.0, secondsLeft));
    char text[128];
    std::snprintf(text, sizeof text, " %d/%d %.*s  %.1f %.*s  %ld:%02ld left", done, total, static_cast<int>(unit.size()),
                  unit.data(), fps, static_cast<int>(rate.size()), rate.data(), left / 60, left % 60);
    return bar + text;
}

Progress::Progress(int total, std::FILE* stream, bool interactive)
    : total_(total), stream_(stream), interactive_(interactive) {}

void Progress::Update(int done) {
    const auto now = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double fps = elapsed > 0 ? done / elapsed : 0.0;
    const double left = fps > 0 ? (total_ - done) / fps : 0.0;
    if (interactive_) {
        if (done < total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        std::fprintf(stream_, "\r%s\x1b[K", FormatProgress(done, total_, fps, left, 30).c_str());
    } else {
        const int tenth = total_ > 0 ? done * 10 / total_ : 10;
        if (tenth == lastTenth_) return;
        lastTenth_ = tenth;
        std::fprintf(stream_, "%s\n", FormatProgress(done, total_, fps, left, 20).c_str());
    }
    std::fflush(stream_);
}

void Progress::Finish() {
    if (interactive_) std::fputc('\n', stream_);
    std::fflush(stream_);
}


Expected<FrameRange> ParseFrameRange(std::string_view text, int count) {
    const size_t colon = text.find(':');
    long first = 0, last = 0;
    std::string ignored;
    if (colon == std::string_view::npos || !ParseInteger(text.substr(0, colon), 0, INT32_MAX, first, ignored) ||
        !ParseInteger(text.substr(colon + 1), 0, INT32_MAX, last, ignored) || first > last)
        return Failure("bad range '" + std::string(text) + "': expected FIRST:LAST, frame numbers from 0 with FIRST <= LAST");
    if (last >= count)
        return Failure("range '" + std::string(text) + "' ends after the last frame (the animation has " +
                       std::to_string(count) + " frames, 0 to " + std::to_string(count - 1) + ")");
    return FrameRange{static_cast<int>(first), static_cast<int>(last)};
}

Status RunFrames(FrameRange range, int width, int height, const DrawFrame& draw, FrameSink& sink, Progress* progress) {
    const auto next = [&](int i, Image& frame) -> Expected<FrameResult> {
        if (i > range.last) return FrameResult::End;
        if (Status drawn = draw(i, frame); !drawn) return Failure(drawn.Message());
        return FrameResult::Drawn;
    };
    return RunFramesToEnd(range.first, width, height, next, sink, progress).ToStatus();
}

Expected<int> RunFramesToEnd(int first, int width, int height, const NextFrame& draw, FrameSink& sink,
                             Progress* progress) {
    const FrameRange range{first, first};  // numbers the progress from `first`
    int count = 0;
    // Three frames in flight: one being drawn, one queued, one being written.
    constexpr size_t kBuffers = 3;
    std::vector<Image> buffers(kBuffers, Image(width, height));
    std::deque<size_t> freeBuffers = {0, 1, 2};
    std::deque<std::pair<int, size_t>> queued;  // frame index, buffer
    std::mutex lock;
    std::condition_variable changed;
    bool drawingDone = false;
    bool writeFailed = false;
    std::string writeError;

    std::thread writer([&] {
        for (;;) {
            std::pair<int, size_t> job;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return !queued.empty() || drawingDone; });
                if (queued.empty()) return;
                job = queued.front();
                queued.pop_front();
            }
            std::string message;
            bool ok = false;
            try {
                const Status written = sink.Write(job.first, buffers[job.second]);
                ok = static_cast<bool>(written);
                message = written.Message();
            } catch (const std::exception& e) {  // the thread must end through join, never throw
                message = std::string("cannot write frame: ") + e.what();
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                freeBuffers.push_back(job.second);
                if (!ok) writeFailed = true, writeError = message;
            }
            changed.notify_all();
            if (!ok) return;
            if (progress) progress->Update(job.first - range.first + 1);
        }
    });

    bool ok = true;
    std::string error;
    for (int i = range.first; ok; ++i) {
        size_t buffer = 0;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return !freeBuffers.empty() || writeFailed; });
            if (writeFailed) break;
            buffer = freeBuffers.front();
            freeBuffers.pop_front();
        }
        bool drawn = false;
        try {
            const Expected<FrameResult> result = draw(i, buffers[buffer]);
            drawn = result && *result == FrameResult::Drawn;
            ok = static_cast<bool>(result);
            error = result.Message();
        } catch (const std::exception& e) {  // the writer must be joined before anything unwinds
            ok = false;
            error = std::string("cannot draw frame: ") + e.what();
        }
        if (!drawn) {
            std::lock_guard<std::mutex> guard(lock);
            freeBuffers.push_back(buffer);
            break;
        }
        ++count;
        {
            std::lock_guard<std::mutex> guard(lock);
            queued.emplace_back(i, buffer);
        }
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        drawingDone = true;
    }
    changed.notify_all();
    writer.join();
    if (progress) progress->Finish();
    if (!ok) return Failure(error);
    if (writeFailed) return Failure(writeError);
    if (Status finished = sink.Finish(); !finished) return Failure(finished.Message());
    return count;
}

}  // namespace qeltitle
