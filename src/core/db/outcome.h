#pragma once

#include <QString>

namespace verna {

// Success, or a failure with a Czech text for the user. Core code returns this and never
// shows a dialog; the window or the command-line tool decides how to tell the user.
struct Outcome {
    bool ok = true;
    QString error;

    static Outcome success() { return {}; }
    static Outcome failure(const QString &message) { return {false, message}; }
    explicit operator bool() const { return ok; }
};

} // namespace verna
