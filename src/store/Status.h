#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace qs {

// The failures that a caller tells apart from the rest.
enum class FailureKind {
    General,
    RecordLocked // another user holds the record
};

// Outcome of an operation of the core: success, or failure with a text for the user.
// Dropping one unread is a compile error: a deliberate drop says why, with (void).
class [[nodiscard]] Status
{
public:
    Status() = default;
    static Status success() { return {}; }
    static Status failure(QString message, FailureKind kind = FailureKind::General)
    {
        return Status(std::move(message), kind);
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString &message() const { return m_message; }
    FailureKind kind() const { return m_kind; }

private:
    Status(QString message, FailureKind kind)
        : m_failed(true), m_kind(kind), m_message(std::move(message))
    {
    }
    bool m_failed = false;
    FailureKind m_kind = FailureKind::General;
    QString m_message;
};

// A value, or the text of the failure that prevented it.
template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Status failure) : m_error(failure.message()) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    T &value() { return *m_value; }
    const T &value() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T &operator*() const { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

} // namespace qs
