#pragma once

// GoogleTest matchers for the results of the cores. A failed expectation
// prints the result's code and message, so that a test need not add them:
//
//   ASSERT_THAT(file.flush(), qly::test::IsOk());
//   EXPECT_THAT(open(missing), qly::test::FailsWith(qly::ErrorCode::NotFound));
//
// They take qly::Result, qly::ResultOr<T>, and any older result type with
// isOk() (or ok()) and message(), and a code() when it has one. For the
// engine's integer results see EngineMatchers.h.

#include <gmock/gmock.h>

#include <ostream>
#include <string>
#include <type_traits>

#include "base/Result.h"

namespace qly {

inline const char* errorCodeName(ErrorCode code) {
    switch (code) {
        case ErrorCode::Ok:
            return "Ok";
        case ErrorCode::NotFound:
            return "NotFound";
        case ErrorCode::IoError:
            return "IoError";
        case ErrorCode::NoSpace:
            return "NoSpace";
        case ErrorCode::Corrupt:
            return "Corrupt";
        case ErrorCode::Invalid:
            return "Invalid";
        case ErrorCode::Unsupported:
            return "Unsupported";
        case ErrorCode::Locked:
            return "Locked";
        case ErrorCode::ReadOnly:
            return "ReadOnly";
        case ErrorCode::Cancelled:
            return "Cancelled";
    }
    return "?";
}

// How GoogleTest shows a result ("Actual: ...").
inline void PrintTo(ErrorCode code, std::ostream* out) {
    *out << errorCodeName(code);
}
inline void PrintTo(const Result& result, std::ostream* out) {
    *out << errorCodeName(result.code());
    if (!result.message().empty())
        *out << " \"" << result.message() << "\"";
}
template <typename T>
void PrintTo(const ResultOr<T>& result, std::ostream* out) {
    PrintTo(result.result(), out);
}

}  // namespace qly

namespace qly::test {

namespace detail {

// The result itself, or the result a ResultOr carries.
template <typename R>
const auto& resultOf(const R& r) {
    if constexpr (requires { r.result(); })
        return r.result();
    else
        return r;
}

template <typename R>
bool succeeded(const R& r) {
    if constexpr (requires { r.isOk(); })
        return r.isOk();
    else
        return r.ok();
}

inline std::string codeText(ErrorCode code) {
    return errorCodeName(code);
}
template <typename C>
std::string codeText(C code) {
    return "code " + std::to_string(static_cast<int>(code));
}

template <typename R>
std::string describe(const R& r) {
    std::string text;
    if constexpr (requires { r.code(); })
        text = codeText(r.code()) + ": ";
    return text + "\"" + r.message() + "\"";
}

}  // namespace detail

// The result is a success.
MATCHER(IsOk, negation ? "is a failure" : "is ok") {
    const auto& r = detail::resultOf(arg);
    if (detail::succeeded(r))
        return true;
    // a Result prints itself; an older result type is explained
    if constexpr (!std::is_same_v<std::decay_t<decltype(r)>, Result>)
        *result_listener << "failed with " << detail::describe(r);
    return false;
}

// The result is a failure with this code.
MATCHER_P(FailsWith, code,
          std::string(negation ? "is not a failure with " : "is a failure with ") +
              detail::codeText(code)) {
    const auto& r = detail::resultOf(arg);
    if (detail::succeeded(r)) {
        *result_listener << "succeeded";
        return false;
    }
    if constexpr (!std::is_same_v<std::decay_t<decltype(r)>, Result>)
        *result_listener << "failed with " << detail::describe(r);
    return r.code() == code;
}

}  // namespace qly::test
