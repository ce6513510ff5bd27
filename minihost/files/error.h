#pragma once
#include <exception>
#include <string>

// Raised for bad input; main prints it as the one error line.
struct CommandError {
    std::string message;
};

// The one line for anything thrown: a CommandError's message, or words of
// minihost's own for the rest, since a library's text ("vector::reserve")
// would mean nothing to the user. subject names what ran short of memory
// ("this sheet", a frame's path).
std::string ErrorText(std::exception_ptr thrown, const std::string& subject);
