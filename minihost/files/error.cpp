#include "minihost/files/error.h"

#include <new>
#include <stdexcept>

std::string ErrorText(std::exception_ptr thrown, const std::string& subject) {
    try {
        std::rethrow_exception(thrown);
    } catch (const CommandError& e) {
        return e.message;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
        // A size past what a container can hold: memory by another name.
    } catch (...) {
        return "a fault of minihost's own stopped it while working on " + subject +
               "; please report it with the command line";
    }
    return "not enough memory for " + subject + "; try a smaller frame, or close other programs";
}
