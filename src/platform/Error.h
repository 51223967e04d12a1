#pragma once

#include <string>
#include <utility>
#include <variant>

namespace kestrel {

// What went wrong, told once, where it happened: the operation, the file or key it was done
// to, and the system's own code and text. Code above the platform passes it on rather than
// rewording it, so the message a user finally sees still names the file concerned.
struct Error {
    std::string operation;   // "open", "write", "rename", ...
    std::string subject;     // the Windows path or key path concerned
    long systemCode = 0;     // errno, GetLastError() or a registry result; 0 when none
    std::string systemText;  // the system's words for the code, or the reason when no code

    // "cannot write C:\Backups\a.ksb: No space left on device (error 28)"
    std::string Describe() const;
    // The system's words alone, for a message that already says what was being done; the whole
    // description when the system gave none.
    std::string Reason() const;
};

// An error from errno (POSIX) or GetLastError() (Windows), with the system's text for it.
Error SystemError(std::string operation, std::string subject, long systemCode);

// A value, or the Error that kept it from being made.
template <typename T>
class Result {
public:
    Result(T value) : state_(std::move(value)) {}      // NOLINT: implicit, like std::expected
    Result(Error error) : state_(std::move(error)) {}  // NOLINT

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    // Only when the result holds no value.
    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

}  // namespace kestrel
