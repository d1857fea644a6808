#pragma once

#include <functional>

// Work that runs beside the window thread (the automatic mail check) and holds the mail
// transport and the received history while it runs. A command that needs either waits for it
// on the window thread: the windows keep repainting and the work's own updates of them go on,
// clicks and keys wait, as during a check the user started.
namespace BackgroundWork {

// Window thread only.
void begin();
void end();
bool running();
// Returns once no background work runs; at once when none does.
void waitUntilDone();

// Runs `update` on the window thread: at once when called there, else queued behind the
// updates posted before it. Updates still queued when the program ends are dropped.
void onWindowThread(std::function<void()> update);
// From now on queued updates are dropped (the program is ending).
void dropQueuedUpdates();

} // namespace BackgroundWork
