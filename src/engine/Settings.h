#pragma once

// Engine-wide settings, shared by every work area and compiled expression.

#include <string>

#include "engine/Dates.h"

namespace qly::engine {

struct Settings {
    bool century = false;
    bool deleted = false;  // hide records marked deleted
    bool exact = false;    // off: text "=" compares the right operand's length
    bool softSeek = false;
    int dateFormat = 0;  // 0..6, 99 = the system's
    int epoch = 1900;
    int lockTimeout = 1;     // seconds
    int memoBlockSize = 64;  // bytes, for new memo files
    std::string systemPattern = environmentDatePattern();

    std::string datePattern() const {
        return applyCentury(patternForFormat(dateFormat, systemPattern), century);
    }
};

}  // namespace qly::engine
