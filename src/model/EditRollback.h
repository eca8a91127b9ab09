// All or nothing for an edit of one string. An edit changes the characters, lines, paragraphs,
// style tables and geometry of a string in several steps; out of memory in the middle of them
// would leave records that disagree with each other (a paragraph without its line, characters
// without their prepared-image slots), which the layout, the renderer and the saved file then
// trust. An EditRollback keeps a copy of what an edit may change and puts it back when the edit
// leaves by an exception, so a failed edit changes nothing that is saved or laid out.
//
// Taking the copy may itself run out of memory; it does so before the edit has touched anything.
// Putting it back only moves the copies in and cannot fail. The prepared images of the characters
// are not copied (they are rebuilt on demand): after a rollback they are all flagged for a rebuild,
// and dropped when the edit had already inserted or erased some.
#pragma once

#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include "model/TitleModel.h"

namespace qel {

class EditRollback {
public:
    explicit EditRollback(MetaString& s)
        : s_(s),
          exceptions_(std::uncaught_exceptions()),
          chars_(s.chars),
          lines_(s.lines),
          paragraphs_(s.paragraphs),
          fonts_(s.fonts),
          faces_(s.faces),
          borders_(s.borders),
          shadows_(s.shadows) {
        Copy(head_, s);
    }
    EditRollback(const EditRollback&) = delete;
    EditRollback& operator=(const EditRollback&) = delete;

    ~EditRollback() {
        if (std::uncaught_exceptions() <= exceptions_) return;  // the edit finished
        s_.chars.swap(chars_);
        s_.lines.swap(lines_);
        s_.paragraphs.swap(paragraphs_);
        s_.fonts.swap(fonts_);
        s_.faces.swap(faces_);
        s_.borders.swap(borders_);
        s_.shadows.swap(shadows_);
        Copy(s_, head_);
        s_.EffectStale = 1;
        if (s_.Glyphs.size() != s_.chars.size()) {
            s_.Glyphs.clear();  // the renderer makes them again, one per character
        } else {
            for (PreparedGlyph& g : s_.Glyphs) g.DirtyBits = kDirtyAll;
        }
    }

private:
    // The attributes and geometry of the string besides its vectors.
    struct Head {
        float Left, Top, Width, Height;
        int32_t ParagraphCount;
        float WidthLimit, RotateDegree;
        int32_t Vertical;
        char PathID[260];
        float PathProgress;
        char MaskFile[260];
        float RotSin, RotCos, RotOriginX, RotOriginY;
    };

    template <class To, class From>
    static void Copy(To& to, const From& from) noexcept {
        to.Left = from.Left;
        to.Top = from.Top;
        to.Width = from.Width;
        to.Height = from.Height;
        to.ParagraphCount = from.ParagraphCount;
        to.WidthLimit = from.WidthLimit;
        to.RotateDegree = from.RotateDegree;
        to.Vertical = from.Vertical;
        std::memcpy(to.PathID, from.PathID, sizeof to.PathID);
        to.PathProgress = from.PathProgress;
        std::memcpy(to.MaskFile, from.MaskFile, sizeof to.MaskFile);
        to.RotSin = from.RotSin;
        to.RotCos = from.RotCos;
        to.RotOriginX = from.RotOriginX;
        to.RotOriginY = from.RotOriginY;
    }

    MetaString& s_;
    int exceptions_;
    Head head_;
    std::vector<MetaCharacter> chars_;
    std::vector<MetaLine> lines_;
    std::vector<MetaParagraph> paragraphs_;
    std::vector<MetaFont> fonts_;
    std::vector<MetaFace> faces_;
    std::vector<MetaBorder> borders_;
    std::vector<MetaShadow> shadows_;
};

}  // namespace qel
