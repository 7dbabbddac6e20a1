#pragma once

#include <stdexcept>
#include <string>

// The error a failing handler of the Qt layer throws. It carries the exact
// message the user sees; the application's event loop catches it and shows
// it in the standard error box.
class QlyError : public std::runtime_error {
public:
    explicit QlyError(const std::string& message) : std::runtime_error(message) {}
};
