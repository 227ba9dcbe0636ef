// The POSIX layer's guard of a call that writes many files from many threads: the signals that end the
// process are blocked in every thread and taken by one thread of the guard's own (sigwait), which
// removes the temporaries only once no thread can create one and no commit is under way.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

#include "platform/posix/posix_internal.h"

namespace recaster::platform {
namespace {

// Wakes the guard's thread when the guard ends. Its default action is to ignore it, and nobody sends
// it to a process that has no socket with out-of-band data.
constexpr int kStopSignal = SIGURG;

// What the guard's thread and the calls of the guard share; one guard lives at a time.
struct GuardState {
  std::mutex lock;
  std::condition_variable commit_ended;
  bool signalled = false;  // a signal was taken: the process is ending
  bool committing = false;
  bool stopping = false;
  std::size_t files = 0;  // of the commit under way
};
GuardState g_guard;
sigset_t g_waited;          // the signals the guard's thread takes, kStopSignal among them
sigset_t g_previous_mask;   // the constructing thread's mask before the guard
pthread_t g_thread;
bool g_started = false;

void WriteFinishing(std::size_t files) {
  const std::string line =
      "recaster: finishing: placing " + std::to_string(files) + (files == 1 ? " file\n" : " files\n");
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

// The default action put back, the signal raised at this thread, which blocks it, then let through
// alone: the process ends as the signal ends it.
[[noreturn]] void EndBySignal(int signal_number) {
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal_number, &action, nullptr);
  ::raise(signal_number);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  for (;;) ::pause();  // not reached: the signal has ended the process
}

// Takes the signals until the guard ends; the first one that ends the process waits for a commit
// under way, then removes the temporaries and ends the process.
extern "C" void* TakeSignals(void*) {
  for (;;) {
    int signal_number = 0;
    if (::sigwait(&g_waited, &signal_number) != 0) continue;
    std::unique_lock<std::mutex> lock(g_guard.lock);
    if (signal_number == kStopSignal) {
      if (g_guard.stopping) return nullptr;
      continue;
    }
    g_guard.signalled = true;
    if (g_guard.committing) {
      WriteFinishing(g_guard.files);
      g_guard.commit_ended.wait(lock, [] { return !g_guard.committing; });
    }
    lock.unlock();
    posix::EndTemporaries();
    EndBySignal(signal_number);
  }
}

// A signal that a thread brings on itself (SIGPIPE from a write to a closed pipe, SIGSYS) is meant for
// that thread and would stay pending on it, blocked: it is left to the handler of the single writes.
bool TakenByTheGuard(int signal_number) {
  if (signal_number == SIGPIPE || signal_number == SIGSYS) return false;
  return posix::EndsWithCleanup(signal_number);
}

}  // namespace

// Only the signals that would end the process are taken: one that is ignored, or that someone else
// handles, is left to what the process made of it.
SignalGuard::SignalGuard() {
  {
    const std::lock_guard<std::mutex> lock(g_guard.lock);
    g_guard.signalled = g_guard.committing = g_guard.stopping = false;
    g_guard.files = 0;
  }
  sigemptyset(&g_waited);
  for (int signal_number : posix::CleanupSignals()) {
    if (TakenByTheGuard(signal_number)) sigaddset(&g_waited, signal_number);
  }
  sigaddset(&g_waited, kStopSignal);
  ::pthread_sigmask(SIG_BLOCK, &g_waited, &g_previous_mask);
  g_started = ::pthread_create(&g_thread, nullptr, TakeSignals, nullptr) == 0;
  if (!g_started) ::pthread_sigmask(SIG_SETMASK, &g_previous_mask, nullptr);
}

// A signal that comes after the guard's thread has stopped stays pending until the mask is put back,
// and then meets the handler of the single writes.
SignalGuard::~SignalGuard() {
  if (!g_started) return;
  {
    const std::lock_guard<std::mutex> lock(g_guard.lock);
    g_guard.stopping = true;
  }
  ::pthread_kill(g_thread, kStopSignal);
  ::pthread_join(g_thread, nullptr);
  g_started = false;
  ::pthread_sigmask(SIG_SETMASK, &g_previous_mask, nullptr);
}

namespace {

// A signal sent before the commit is pending until the guard's thread wakes to take it: it counts as
// come first, as one already taken does.
bool SignalPending() {
  sigset_t pending;
  if (::sigpending(&pending) != 0) return false;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (signal_number != kStopSignal && ::sigismember(&g_waited, signal_number) == 1 &&
        ::sigismember(&pending, signal_number) == 1) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool SignalGuard::BeginCommit(std::size_t files) {
  const std::lock_guard<std::mutex> lock(g_guard.lock);
  if (g_guard.signalled || SignalPending()) return false;
  g_guard.committing = true;
  g_guard.files = files;
  return true;
}

void SignalGuard::EndCommit() {
  {
    const std::lock_guard<std::mutex> lock(g_guard.lock);
    g_guard.committing = false;
  }
  g_guard.commit_ended.notify_all();
}

}  // namespace recaster::platform
