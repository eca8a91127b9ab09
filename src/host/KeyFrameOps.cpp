// Key frames and time: slots 50-56.
//
// Keys are title times in 0..1. The enumeration cursor is kept as a key, so an edit of the map
// never leaves it pointing at freed memory: once the entry under it is removed, or the map is
// cleared, GetNextKeyFrame fails as it does for a cursor that was never placed.
#include <cstring>

#include "host/Boundary.h"
#include "host/TitleHost.h"

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

HRESULT TitleHost::SetKeyFrame(int32_t row, float key, const PathValue* value) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* s = StringAt(row);
        if (!s || !ValidKey(key) || !value) return E_INVALIDARG;
        StoreKeyFrame(*s, key, *value);
        CacheValid = 0;
        return S_OK;
    });
}

HRESULT TitleHost::RemoveKeyFrame(int32_t row, float key) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* s = StringAt(row);
        if (!s || !ValidKey(key)) return E_INVALIDARG;
        EraseKeyFrame(*s, key);
        CacheValid = 0;
        return S_OK;
    });
}

HRESULT TitleHost::ClearKeyFrames(int32_t row) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* s = StringAt(row);
        if (!s) return E_INVALIDARG;
        EraseAllKeyFrames(*s);
        CacheValid = 0;
        return S_OK;
    });
}

int32_t TitleHost::GetKeyFrameCount(int32_t row) noexcept {
    return GuardValue<int32_t>(0, [&]() -> int32_t {
        const MetaString* s = StringAt(row);
        return s ? static_cast<int32_t>(s->KeyFrames.size()) : 0;
    });
}

HRESULT TitleHost::GetFirstKeyFrame(int32_t row, float* key, PathValue* value) noexcept {
    return Guard([&]() -> HRESULT {
        if (!key || !value) return E_INVALIDARG;
        MetaString* s = StringAt(row);
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
    });
}

HRESULT TitleHost::GetNextKeyFrame(int32_t row, float* key, PathValue* value) noexcept {
    return Guard([&]() -> HRESULT {
        if (!key || !value) return E_INVALIDARG;
        MetaString* s = StringAt(row);
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
    });
}

HRESULT TitleHost::SetTime(int32_t row, float time) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* s = StringAt(row);
        if (!s || !ValidKey(time)) return E_INVALIDARG;
        EvaluateKeyFrames(*s, time);
        return S_OK;
    });
}

}  // namespace qel
