// The one fatal error of the program. Whatever throws it, main prints its
// message and a line break on standard output and ends the run with status 1.
#pragma once

#include <string>
#include <utility>

struct FatalError {
    std::string message;
};

[[noreturn]] inline void fatal(std::string message) {
    throw FatalError{std::move(message)};
}
