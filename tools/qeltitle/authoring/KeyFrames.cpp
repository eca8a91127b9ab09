#include "authoring/KeyFrames.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "authoring/PlateJson.h"
#include "player/TitleFiles.h"

namespace qeltitle {

using namespace qel;

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

std::vector<KeyFrame> TimedSchedule(std::string_view in, std::string_view out, double length, double inSeconds,
                                    double outSeconds) {
    const float inEnd = static_cast<float>(inSeconds / length);
    const float outStart = static_cast<float>(1.0 - outSeconds / length);
    const std::string first(in), last(out);
    std::vector<KeyFrame> frames;
    if (inSeconds > 0) frames.push_back({0.0f, first, 0.0f});
    frames.push_back({inSeconds > 0 ? inEnd : 0.0f, first, 1.0f});
    if (last.empty() || outSeconds <= 0) {
        if (frames.back().key < 1) frames.push_back({1.0f, first, 1.0f});
        return frames;
    }
    // The exit's first key at its start: the earlier key holds the string at rest until then. An
    // exit that starts where the entrance ends starts a float step later, as two keys cannot share
    // a time and between keys of different effects the earlier one holds.
    frames.push_back({std::max(outStart, std::nextafter(frames.back().key, 2.0f)), last, 1.0f});
    frames.push_back({1.0f, last, 0.0f});
    return frames;
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

namespace {

// A plate with a reveal of its own is timed on the title, and at time 1 has often gone again; at
// rest it follows its string, which is at rest: shown whole, as the text it stands under.
void ShowPlates(ITitleHost& host, int32_t row) {
    const QelPlatesV1* plates = PlatesExtension();
    if (!plates) return;
    for (int32_t i = 0; i < plates->GetPlateCount(&host, row); ++i) {
        QelPlate plate{};
        if (plates->GetPlate(&host, row, i, &plate) != S_OK || plate.Reveal == QEL_REVEAL_EFFECT) continue;
        plate.Reveal = QEL_REVEAL_EFFECT;
        plates->SetPlate(&host, row, i, &plate);
    }
}

}  // namespace

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
            if (status == S_OK) {
                ShowPlates(host, row);
                continue;
            }
            error = "the title library could not set string " + std::to_string(row) + " at rest: " + StatusText(status);
            return false;
        }
    }
    return true;
}

}  // namespace qeltitle
