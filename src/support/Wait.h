#pragma once

#include <chrono>
#include <functional>

namespace vantor {

// The one nested wait of the program. Runs the calling thread's event loop until `done`
// returns true or `limit` has passed, and returns whether `done` held. It blocks in the
// event dispatcher between events (no spinning) and tests `done` after every batch of
// events, so the awaited event is noticed at once, whatever `limit` is. A negative limit
// means no deadline. Nothing else in the program calls processEvents.
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::milliseconds(-1));

// Lets the event loop run for `duration` without freezing the window.
void pumpFor(std::chrono::milliseconds duration);

// Handles the events already queued, without blocking; for loops that must keep the
// window alive between their own steps.
void pumpPending();

} // namespace vantor
