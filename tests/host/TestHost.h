// Helpers shared by the host tests: an owned TitleHost and short ways to edit and read it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/TitleHost.h"

namespace qel::test {

struct ReleaseHost {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

// A fresh TitleHost with the engine's internals reachable.
class Host {
public:
    Host() : owner_(GetTitleHost()) {}
    TitleHost* operator->() const { return static_cast<TitleHost*>(owner_.get()); }
    TitleHost& operator*() const { return *static_cast<TitleHost*>(owner_.get()); }
    // The string as the title holds it (changing it counts as an edit).
    MetaString& String(int32_t row) const { return *(*this)->Engine().EditString(row); }
    // The compositor's images of the string, matched to the title as the next frame matches them.
    GlyphRecords& Images(int32_t row) const {
        (*this)->Renderer().Sync((*this)->Engine());
        return (*this)->Renderer().StateOf(row)->atRest;
    }

private:
    std::unique_ptr<ITitleHost, ReleaseHost> owner_;
};

inline std::u16string Text(const TitleHost& host, int32_t row) {
    const MetaString& s = host.Engine().Strings().at(static_cast<size_t>(row));
    std::u16string text;
    for (const MetaCharacter& c : s.chars) text.push_back(static_cast<char16_t>(c.Value));
    return text;
}

// Sets the string defaults' width limit (and vertical flag) for strings added afterwards.
inline void SetLimit(TitleHost& host, float widthLimit, int32_t vertical = 0) {
    StringAttrs attrs{};
    host.GetStringAttrs(-1, &attrs);  // a failing getter reports the defaults
    attrs.WidthLimit = widthLimit;
    attrs.Vertical = vertical;
    host.SetDefaultString(&attrs);
}

inline RectF CharRect(TitleHost& host, int32_t row, int32_t col) {
    RectF r{};
    EXPECT_EQ(host.GetCharRect(row, col, &r, 1), S_OK);
    return r;
}

inline ParagraphAttrs Paragraph(uint32_t align, float lineSpace = 0, float before = 0, float after = 0,
                                float left = 0, float right = 0) {
    return {align, lineSpace, before, after, left, right};
}

}  // namespace qel::test
