// Plates and gradients across a string: the title's operations behind the "qel.plates"
// extension. Each change is an edit of its string (the compositor draws it afresh).
#include "model/Plates.h"
#include "model/Title.h"

namespace qel {

int32_t Title::GetPlateCount(int32_t row) const {
    const MetaString* s = StringAt(row);
    return s ? static_cast<int32_t>(s->plates.size()) : 0;
}

HRESULT Title::GetPlate(int32_t row, int32_t index, QelPlate* out) const {
    const MetaString* s = StringAt(row);
    if (!s || index < 0 || static_cast<size_t>(index) >= s->plates.size()) {
        *out = QelPlate{};
        return E_INVALIDARG;
    }
    *out = s->plates[static_cast<size_t>(index)];
    return S_OK;
}

HRESULT Title::SetPlate(int32_t row, int32_t index, const QelPlate& plate) {
    const MetaString* current = StringAt(row);
    if (!current || index < 0 || static_cast<size_t>(index) > current->plates.size() || !PlateValid(plate)) {
        return E_INVALIDARG;
    }
    const bool append = static_cast<size_t>(index) == current->plates.size();
    if (append && current->plates.size() >= QEL_MAX_PLATES) return E_INVALIDARG;
    MetaString& s = *EditString(row);
    if (append) {
        s.plates.push_back(plate);
    } else {
        s.plates[static_cast<size_t>(index)] = plate;
    }
    return S_OK;
}

HRESULT Title::RemovePlate(int32_t row, int32_t index) {
    const MetaString* current = StringAt(row);
    if (!current || index < 0 || static_cast<size_t>(index) >= current->plates.size()) return E_INVALIDARG;
    MetaString& s = *EditString(row);
    s.plates.erase(s.plates.begin() + index);
    return S_OK;
}

HRESULT Title::SetGradientAcross(int32_t row, uint32_t across) {
    if (!StringAt(row) || across > QEL_ACROSS_STRING) return E_INVALIDARG;
    EditString(row)->GradientAcross = across;
    return S_OK;
}

HRESULT Title::GetGradientAcross(int32_t row, uint32_t* out) const {
    const MetaString* s = StringAt(row);
    *out = s ? s->GradientAcross : 0;
    return s ? S_OK : E_INVALIDARG;
}

}  // namespace qel
