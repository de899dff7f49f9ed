#pragma once
// Child processes the module started and no longer needs (a web view helper
// after its view closed). Closing a view must not hold the host's UI thread
// while a busy machine tears a browser process down, so a child that has not
// ended within a short wait is killed and reaped in the background, on a clock
// of the borrowed run loop; the module exit reaps whatever is left.
//
// UI thread only, like the clocks it runs on.
#include <chrono>

namespace orbel {

// Waits at most `wait` for `pid` to end on its own, then kills it and waits
// at most `afterKill` for the system to tear it down (a killed browser process
// on a busy machine can take a few hundred milliseconds); if it is still not
// reaped, it is reaped later.
void endChildProcess(int pid, std::chrono::milliseconds wait, std::chrono::milliseconds afterKill);
// Reaps `pid` if it has ended, without waiting: true once it is reaped (or is
// not ours to reap: the host reaps children itself, or ignores SIGCHLD).
bool childProcessReaped(int pid);
// Children handed over and not reaped yet.
int childProcessesPending();
// Kills and reaps every pending child (the module is about to be unloaded).
void reapChildProcessesNow();

}  // namespace orbel
