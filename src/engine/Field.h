#pragma once

#include <string>

namespace qly::engine {

// One field of a table as its descriptor gives it.
struct Field {
    std::string name;  // upper case as stored
    char type = 'C';   // C N F D L M G B P
    int width = 0;
    int decimals = 0;
    int offset = 0;  // in the record image; the deletion flag is byte 0

    // Fields whose value lives in the memo file (a block reference in the record).
    bool isMemoRef() const {
        return type == 'M' || type == 'G' || type == 'P' || (type == 'B' && width != 8);
    }
};

}  // namespace qly::engine
