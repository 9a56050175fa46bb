#pragma once
// The failure model: an error record travels as an exception from the failing
// statement to the first caller that handles failures. Event entry points
// (window procedures, timer callbacks) catch everything at their edge so that
// no event can end the program.

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace kesk {

// Run-time error numbers of the old runtime that this program reports.
namespace errnum {
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DllNotFound = 48;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t PathFileAccess = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t InvalidPicture = 481;
} // namespace errnum

struct ErrorRecord {
    std::int32_t number = 0;
    std::string source;
    std::string description;
    bool operator==(const ErrorRecord&) const = default;
};

// The standard description of a run-time error number ("Overflow", "File not found", ...).
std::string runtimeErrorDescription(std::int32_t number);

class RuntimeError : public std::exception {
public:
    explicit RuntimeError(ErrorRecord rec) : rec_(std::move(rec)) {}
    RuntimeError(std::int32_t number, std::string description = {}, std::string source = {});
    const ErrorRecord& record() const noexcept { return rec_; }
    std::int32_t number() const noexcept { return rec_.number; }
    const char* what() const noexcept override { return rec_.description.c_str(); }

private:
    ErrorRecord rec_;
};

[[noreturn]] void raiseError(std::int32_t number, std::string description = {},
                             std::string source = {});

// Turns whatever escapes `f` into an ErrorRecord. Used where a failure must
// become a result or be dropped (skip-and-continue steps, event edges).
// std::bad_alloc maps to "Out of memory" (7); any other exception to the
// internal error 51 with its what() text.
ErrorRecord recordOf(std::exception_ptr e) noexcept;

// Event-edge guard: runs `f`, swallows every failure. Returns false (and the
// record through `out` when given) if something failed.
template <class F> bool guardEvent(F&& f, ErrorRecord* out = nullptr) noexcept {
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        if (out != nullptr) {
            *out = recordOf(std::current_exception());
        }
        return false;
    }
}

// Skip-and-continue: one step of a procedure whose failing statements are
// passed over. Identical mechanics to guardEvent, named for the reader.
template <class F> bool skipOnError(F&& f, ErrorRecord* out = nullptr) noexcept {
    return guardEvent(std::forward<F>(f), out);
}

} // namespace kesk
