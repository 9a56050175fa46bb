#include "support/errors.h"

#include <new>

namespace kesk {

std::string runtimeErrorDescription(std::int32_t number) {
    switch (number) {
    case errnum::Overflow:
        return "Overflow";
    case errnum::OutOfMemory:
        return "Out of memory";
    case errnum::SubscriptOutOfRange:
        return "Subscript out of range";
    case errnum::DllNotFound:
        return "File not found";
    case errnum::FileNotFound:
        return "File not found";
    case errnum::PathFileAccess:
        return "Path/File access error";
    case errnum::PathNotFound:
        return "Path not found";
    case errnum::InvalidPicture:
        return "Invalid picture";
    default:
        return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(std::int32_t number, std::string description, std::string source)
    : rec_{number, std::move(source),
           description.empty() ? runtimeErrorDescription(number) : std::move(description)} {}

void raiseError(std::int32_t number, std::string description, std::string source) {
    throw RuntimeError(number, std::move(description), std::move(source));
}

ErrorRecord recordOf(std::exception_ptr e) noexcept {
    try {
        try {
            std::rethrow_exception(e);
        } catch (const RuntimeError& err) {
            return err.record();
        } catch (const std::bad_alloc&) {
            return ErrorRecord{errnum::OutOfMemory, {}, "Out of memory"};
        } catch (const std::exception& ex) {
            return ErrorRecord{51, {}, ex.what()};
        } catch (...) {
            return ErrorRecord{51, {}, "Internal error"};
        }
    } catch (...) {
        // Copying a string threw (memory exhausted): an empty record still says "failed".
        return ErrorRecord{errnum::OutOfMemory, {}, {}};
    }
}

} // namespace kesk
