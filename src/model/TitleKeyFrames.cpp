// Key frames and the evaluation of a string's path at a title time.
//
// Keys are title times in 0..1. The enumeration cursor is kept as a key, so an edit of the map
// never leaves it pointing at freed memory: once the entry under it is removed, or the map is
// cleared, GetNextKeyFrame fails as it does for a cursor that was never placed.
#include <cstring>

#include "model/Title.h"

namespace qel {
namespace {

bool ValidKey(float key) { return key >= 0.0f && key <= 1.0f; }  // false for NaN

// The answer of a key-frame getter that has nothing to report.
HRESULT ReportNothing(float* key, PathValue* value) {
    *key = 0.0f;
    std::memset(value, 0, sizeof *value);
    return E_FAIL;
}

}  // namespace

HRESULT Title::SetKeyFrame(int32_t row, float key, const PathValue* value) {
    if (!StringAt(row) || !ValidKey(key) || !value) return E_INVALIDARG;
    StoreKeyFrame(*EditString(row), key, *value);
    return S_OK;
}

HRESULT Title::RemoveKeyFrame(int32_t row, float key) {
    if (!StringAt(row) || !ValidKey(key)) return E_INVALIDARG;
    EraseKeyFrame(*EditString(row), key);
    return S_OK;
}

HRESULT Title::ClearKeyFrames(int32_t row) {
    MetaString* s = EditString(row);
    if (!s) return E_INVALIDARG;
    EraseAllKeyFrames(*s);
    return S_OK;
}

int32_t Title::GetKeyFrameCount(int32_t row) const {
    const MetaString* s = StringAt(row);
    return s ? static_cast<int32_t>(s->KeyFrames.size()) : 0;
}

HRESULT Title::GetFirstKeyFrame(int32_t row, float* key, PathValue* value) {
    if (!key || !value) return E_INVALIDARG;
    MetaString* s = At(row);
    if (!s) {
        ReportNothing(key, value);
        return E_INVALIDARG;
    }
    if (s->KeyFrames.empty()) return ReportNothing(key, value);
    const auto first = s->KeyFrames.begin();
    s->Cursor = {true, false, first->first};
    *key = first->first;
    *value = first->second;
    return S_OK;
}

HRESULT Title::GetNextKeyFrame(int32_t row, float* key, PathValue* value) {
    if (!key || !value) return E_INVALIDARG;
    MetaString* s = At(row);
    if (!s) {
        ReportNothing(key, value);
        return E_INVALIDARG;
    }
    KeyFrameCursor& cursor = s->Cursor;
    if (!cursor.placed || cursor.atEnd) return ReportNothing(key, value);
    const auto next = s->KeyFrames.upper_bound(cursor.key);
    if (next == s->KeyFrames.end()) {
        cursor.atEnd = true;
        return ReportNothing(key, value);
    }
    cursor.key = next->first;
    *key = next->first;
    *value = next->second;
    return S_OK;
}

HRESULT Title::SetTime(int32_t row, float time) {
    MetaString* s = At(row);
    if (!s || !ValidKey(time)) return E_INVALIDARG;
    EvaluateKeyFrames(*s, time);
    return S_OK;
}

}  // namespace qel
