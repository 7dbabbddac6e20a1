#pragma once

// GoogleTest matchers for the integer results of the engine's xb_ calls.
// A failed expectation prints the engine's last error text and code, read
// right after the call:
//
//   ASSERT_THAT(xb_Use(path, "", kXbModeShared, kXbDriverFox), qly::test::XbArea());
//   ASSERT_THAT(xb_SetOrder(order), qly::test::XbTrue());
//   ASSERT_THAT(xb_AppendEx(), qly::test::XbReturns(kXbAppendOk));

#include <gmock/gmock.h>

#include <string>

#include "engine/xbase.h"

namespace qly::test {

namespace detail {

inline std::string engineError() {
    return "the engine says \"" + xb_LastError() + "\" (code " +
           std::to_string(xb_LastErrorCode()) + ")";
}

}  // namespace detail

// The call returned the value given.
MATCHER_P(XbReturns, expected,
          std::string(negation ? "is not " : "is ") + ::testing::PrintToString(expected)) {
    if (arg == expected)
        return true;
    *result_listener << detail::engineError();
    return false;
}

// A boolean call succeeded (the engine's true is -1).
MATCHER(XbTrue, negation ? "is not the engine's true (-1)" : "is the engine's true (-1)") {
    if (arg == -1)
        return true;
    *result_listener << detail::engineError();
    return false;
}

// xb_Use opened a work area (its number is not 0).
MATCHER(XbArea, negation ? "is no work area (0)" : "is a work area (not 0)") {
    if (arg != 0)
        return true;
    *result_listener << detail::engineError();
    return false;
}

}  // namespace qly::test
