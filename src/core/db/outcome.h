#pragma once

#include <QString>

namespace verna {

// Success, or a failure with a Czech text for the user. Core code returns this and never
// shows a dialog; the window or the command-line tool decides how to tell the user. An
// ignored one is a dropped error: the build refuses it.
struct [[nodiscard]] Outcome {
    bool ok = true;
    QString error;

    static Outcome success() { return {}; }
    static Outcome failure(const QString &message) { return {false, message}; }
    explicit operator bool() const { return ok; }
};

// A value read from the database, or the reason the read failed. "No value" (no row, a
// NULL) is a value; only a failed read carries an error. Like Outcome, never ignored.
template <typename T>
struct [[nodiscard]] Result {
    T value{};
    QString error;

    bool ok() const { return error.isEmpty(); }
    static Result failure(const QString &message) { return {T{}, message}; }
    Outcome outcome() const { return ok() ? Outcome::success() : Outcome::failure(error); }
};

} // namespace verna
