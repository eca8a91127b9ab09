// All or nothing for an edit of one string. An edit changes the characters, lines, paragraphs,
// style tables and geometry of a string in several steps; out of memory in the middle of them
// would leave records that disagree with each other (a paragraph without its line, characters
// without a laid-out line), which the layout, the renderer and the saved file then trust. An
// EditRollback keeps a copy of the string and puts it back when the edit leaves by an exception,
// so a failed edit changes nothing that is saved, laid out or drawn.
//
// Taking the copy may itself run out of memory; it does so before the edit has touched anything.
// Putting it back only moves the copy in and cannot fail.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

#include "model/TitleModel.h"

namespace qel {

class EditRollback {
public:
    explicit EditRollback(MetaString& s) : s_(s), saved_(s), exceptions_(std::uncaught_exceptions()) {}
    EditRollback(const EditRollback&) = delete;
    EditRollback& operator=(const EditRollback&) = delete;

    ~EditRollback() {
        if (std::uncaught_exceptions() > exceptions_) s_ = std::move(saved_);  // the edit failed
    }

private:
    static_assert(std::is_nothrow_move_assignable_v<MetaString>, "putting a string back must not fail");

    MetaString& s_;
    MetaString saved_;
    int exceptions_;
};

}  // namespace qel
