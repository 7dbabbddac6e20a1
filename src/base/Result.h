#pragma once

#include <string>
#include <utility>

namespace qly {

// The outcome of an operation of the cores. Nothing below the Qt layer
// throws across its surface: a failure carries a code and a readable text
// that names the file and what went wrong, and a caller must look at it.
enum class ErrorCode {
    Ok,
    NotFound,     // no such file, key, tag or entry
    IoError,      // the file could not be read or written
    NoSpace,      // the device is full
    Corrupt,      // the file's structure is damaged
    Invalid,      // the caller passed something impossible
    Unsupported,  // a valid file feature this code does not handle
    Locked,       // another user or program holds the lock
    ReadOnly,     // the file may not be written
    Cancelled,    // the user stopped the operation
};

class [[nodiscard]] Result {
public:
    Result() = default;
    Result(ErrorCode code, std::string message) : m_code(code), m_message(std::move(message)) {}

    static Result ok() { return {}; }
    static Result notFound(std::string m) { return {ErrorCode::NotFound, std::move(m)}; }
    static Result ioError(std::string m) { return {ErrorCode::IoError, std::move(m)}; }
    static Result noSpace(std::string m) { return {ErrorCode::NoSpace, std::move(m)}; }
    static Result corrupt(std::string m) { return {ErrorCode::Corrupt, std::move(m)}; }
    static Result invalid(std::string m) { return {ErrorCode::Invalid, std::move(m)}; }
    static Result unsupported(std::string m) { return {ErrorCode::Unsupported, std::move(m)}; }
    static Result locked(std::string m) { return {ErrorCode::Locked, std::move(m)}; }
    static Result readOnly(std::string m) { return {ErrorCode::ReadOnly, std::move(m)}; }
    static Result cancelled(std::string m) { return {ErrorCode::Cancelled, std::move(m)}; }

    bool isOk() const { return m_code == ErrorCode::Ok; }
    explicit operator bool() const { return isOk(); }
    ErrorCode code() const { return m_code; }
    const std::string& message() const { return m_message; }

private:
    ErrorCode m_code = ErrorCode::Ok;
    std::string m_message;
};

// A value or the failure that kept it from being made.
template <typename T>
class [[nodiscard]] ResultOr {
public:
    ResultOr(T value) : m_value(std::move(value)) {}  // NOLINT: implicit on purpose
    ResultOr(Result failure) : m_result(std::move(failure)) {}

    bool isOk() const { return m_result.isOk(); }
    explicit operator bool() const { return isOk(); }
    const Result& result() const { return m_result; }
    T& value() & { return m_value; }
    const T& value() const& { return m_value; }
    T&& value() && { return std::move(m_value); }

private:
    Result m_result;
    T m_value{};
};

}  // namespace qly
