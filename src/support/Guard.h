#pragma once

#include <functional>

namespace vantor {

// Runs a user action. An exception that escapes it is shown in the application's general
// error box with its text and goes no further, so none ever crosses Qt's event dispatch.
// Returns true when the action ended normally.
bool guarded(const std::function<void()>& action);

// For socket and timer notification handlers: an escaping exception is swallowed.
void swallowing(const std::function<void()>& handler);

} // namespace vantor
