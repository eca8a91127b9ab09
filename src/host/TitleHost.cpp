// Construction and destruction of the TitleHost, in the documented order.
#include "host/TitleHost.h"

#include <cstring>
#include <new>
#include <thread>

#include "model/Fonts.h"

namespace qel {
namespace {

void CopyFaceName(char16_t (&dst)[32], const char16_t* src) {
    size_t i = 0;
    for (; i < 31 && src[i]; ++i) dst[i] = src[i];
    for (; i < 32; ++i) dst[i] = 0;
}

// Chosen defaults for new paragraphs: start-aligned, no extra spacing, no indents.
constexpr ParagraphAttrs kDefaultParagraph = {0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

}  // namespace

TitleHost::TitleHost() {
    for (const std::u16string& name : EnumerateFaceNames()) FaceNames[name] = 1;

    FontSpec font{};
    CopyFaceName(font.FaceName, u"Arial");
    font.CharSet = 1;
    font.Size = 24.0f;
    // Without memory for the face lookup there is no usable default: no object either.
    if (SetDefaultFont(&font) == E_OUTOFMEMORY) throw std::bad_alloc();

    DefaultFace = {1, 0xFFFFFF, 0xFFFFFF, 0, 255, 0};
    DefaultBorder = {1, 3, 0xFF, 0xFF, 0, 255, 0};
    DefaultShadow = {1, 1, 0, 0, 0, 128, 3, 3.0f, 3.0f, 0};
    DefaultSpacing = {1.0f, 0.0f};
    DefaultParagraph = kDefaultParagraph;
    DefaultString = {};
    DefaultString.Left = 100.0f;
    DefaultString.Top = 100.0f;
    DefaultString.WidthLimit = 1.0e9f;
    std::strcpy(DefaultString.PathID, "PATH_NOEFFECT");
    DefaultString.PathProgress = 1.0f;

    RenderSettings settings{};
    settings.Reserved = 1.0f;
    settings.QualityMode = 1;
    settings.Width = 320;
    settings.Height = 240;
    settings.ScaleX = 1.0f;
    settings.ScaleY = 1.0f;
    settings.ClipRect = {0, 0, 320, 240};
    settings.UseGlyphCache = 1;
    settings.MaxThreads = 1;
    // The stored record starts zeroed, so the comparisons of SetRenderSettings see a change; with
    // no strings that only stores the record and hands the limit to the workers.
    SetRenderSettings(&settings);
    RemeasurePending = 0;

    unsigned processors = std::thread::hardware_concurrency();
    ProcessorCount = processors ? static_cast<int32_t>(processors) : 1;
    DirtyRect = {};
    CacheRect = {};
}

TitleHost::~TitleHost() {
    RemoveAllStrings();
    FaceNames.clear();
    // Workers and Effects are destroyed by their destructors, in reverse member order.
}

void* TitleHost::Destroy(uint32_t flags) noexcept {
    if (flags & 1) {
        delete this;
    } else {
        this->~TitleHost();
    }
    return this;
}

}  // namespace qel
