#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// A failure as the platform reports it: a signed number and the platform's own text.
// Numbers follow the conventions of the interfaces the program was designed against
// (socket errors like Winsock's, database errors like ADO's), so the messages read the same.
struct ErrorInfo
{
    qint32 number = 0;
    QString description;
};

// A value or the reason there is none; the caller decides how to show the reason.
template <typename T> class Result
{
public:
    Result(T value)
        : m_state(std::move(value))
    {
    }
    Result(ErrorInfo error)
        : m_state(std::move(error))
    {
    }

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    T &value() { return std::get<T>(m_state); }
    const T &value() const { return std::get<T>(m_state); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const ErrorInfo &error() const { return std::get<ErrorInfo>(m_state); }

private:
    std::variant<T, ErrorInfo> m_state;
};

// Success carries nothing; failure carries the reason.
class Status
{
public:
    Status() = default;
    Status(ErrorInfo error)
        : m_error(std::move(error))
    {
    }

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const ErrorInfo &error() const { return *m_error; }

private:
    std::optional<ErrorInfo> m_error;
};
