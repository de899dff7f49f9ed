#include "platform/child_reaper.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "platform/clock_scheduler.h"

namespace orbel {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the background reaper looks.
constexpr double kReapIntervalSeconds = 0.1;

std::vector<int>& pending() {
  static std::vector<int>* children =
      new std::vector<int>;  // never destroyed: see processClockScheduler
  return *children;
}
ClockScheduler::Clock* gReaper = nullptr;

bool reapedWithin(int pid, std::chrono::milliseconds wait) {
  const auto deadline = SteadyClock::now() + wait;
  for (;;) {
    if (childProcessReaped(pid)) return true;
    if (SteadyClock::now() >= deadline) return false;
    timespec pause{0, 1000000L};
    ::nanosleep(&pause, nullptr);
  }
}

void reapPending(void*) {
  std::vector<int>& children = pending();
  children.erase(std::remove_if(children.begin(), children.end(), childProcessReaped),
                 children.end());
  if (children.empty() && gReaper != nullptr) {
    processClockScheduler().stop(gReaper);
    gReaper = nullptr;
  }
}

}  // namespace

bool childProcessReaped(int pid) {
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) return true;
    if (got == 0) return false;
    if (errno == EINTR) continue;
    return true;  // ECHILD: the host reaps children itself, or ignores SIGCHLD
  }
}

void endChildProcess(int pid, std::chrono::milliseconds wait, std::chrono::milliseconds afterKill) {
  if (pid <= 0) return;
  if (reapedWithin(pid, wait)) return;
  ::kill(pid, SIGKILL);
  if (reapedWithin(pid, afterKill)) return;
  pending().push_back(pid);
  if (gReaper == nullptr)
    gReaper = processClockScheduler().start(&reapPending, nullptr, kReapIntervalSeconds);
}

int childProcessesPending() { return static_cast<int>(pending().size()); }

void reapChildProcessesNow() {
  if (gReaper != nullptr) {
    processClockScheduler().stop(gReaper);
    gReaper = nullptr;
  }
  for (const int pid : pending()) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pending().clear();
}

}  // namespace orbel
