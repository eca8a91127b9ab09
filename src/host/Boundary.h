// Nothing throws across the library boundary: every operation body runs inside one of these
// guards, which turn std::bad_alloc into E_OUTOFMEMORY and anything else into E_FAIL (or into the
// operation's neutral value for operations that do not return a status).
#pragma once

#include <new>

#include "qel/QEL_Title2.h"

namespace qel {

template <class F>
HRESULT Guard(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

template <class T, class F>
T GuardValue(T onFailure, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace qel
