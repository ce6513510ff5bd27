#pragma once
#include <string>

// Raised for bad input; main prints it as the one error line.
struct CommandError {
    std::string message;
};
