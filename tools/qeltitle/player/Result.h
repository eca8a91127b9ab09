// How failures travel through the tool: a function that can fail returns a Status (success, or
// the message saying what failed and why) or an Expected<T> (the value, or that message). The
// message is written for the user, naming the file or option at fault; callers may put what they
// were doing in front of it (Context). Commands turn a failed one into "qeltitle: message" and
// exit status 1 in one place (commands/Commands.h).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace qeltitle {

// A failure's message, as returned by a function giving a Status or an Expected<T>.
struct Error {
    std::string message;
};
inline Error Failure(std::string message) { return Error{std::move(message)}; }

class [[nodiscard]] Status {
public:
    Status() = default;  // success
    Status(Error error) : error_(std::move(error.message)) {}
    static Status Ok() { return {}; }

    explicit operator bool() const { return !error_; }
    // The message of a failure (empty on success).
    const std::string& Message() const {
        static const std::string kNone;
        return error_ ? *error_ : kNone;
    }
    // The same failure with `context` in front ("cannot load x.xml: " + message); success stays.
    Status Context(const std::string& context) && {
        if (error_) error_ = context + *error_;
        return std::move(*this);
    }

private:
    std::optional<std::string> error_;
};

template <class T>
class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    const std::string& Message() const {
        static const std::string kNone;
        return state_.index() == 1 ? std::get<1>(state_).message : kNone;
    }
    // Success or the failure, without the value.
    Status ToStatus() const { return state_.index() == 1 ? Status(std::get<1>(state_)) : Status(); }
    Expected Context(const std::string& context) && {
        if (state_.index() == 1) std::get<1>(state_).message.insert(0, context);
        return std::move(*this);
    }

private:
    std::variant<T, Error> state_;
};

}  // namespace qeltitle
