// Temporary files beside a destination, and their removal when a signal ends the process first.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <random>
#include <span>
#include <thread>

#include "platform/posix/posix_internal.h"

namespace recaster::platform::posix {
namespace {

// A remembered temporary: its state is kFree, kFilling while its path is put in, kLive once a signal
// handler may read the path, kChecking while ForgetTemporary compares it (still live for the handler).
// The path's buffer is the slot's own, changed only in kFilling and reused by the next temporary that
// fits it.
enum SlotState : int { kFree, kFilling, kLive, kChecking };
struct Slot {
  std::atomic<int> state{kFree};
  char* path = nullptr;
  std::size_t capacity = 0;
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the state");
static_assert(std::atomic<void*>::is_always_lock_free, "the signal handler follows the chunks");

// The slots come in chunks, linked once and never let go, so that a call converting many files keeps
// every one of its temporaries known however many are open at once; the handler only follows links.
struct Chunk {
  Slot slots[32];
  std::atomic<Chunk*> next{nullptr};
};
Chunk g_first_chunk;
std::once_flag g_handlers_installed;

// Taken around the creation of a temporary and its remembering, and by EndTemporaries, so that no
// temporary is created between the marking of the end and the removal of every one remembered.
std::mutex g_creation_lock;
bool g_ending = false;  // under g_creation_lock

// Every signal whose default action ends the process and that a program may be sent in the ordinary
// course of things (a terminal closed, a timer, a CPU limit, a broken pipe). SIGXFSZ is not here: a
// write past the size limit fails instead (the writer ignores it meanwhile).
constexpr int kCleanupSignals[] = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPIPE, SIGSYS,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

void RemoveRemembered() {
  for (Chunk* chunk = &g_first_chunk; chunk != nullptr; chunk = chunk->next.load(std::memory_order_acquire)) {
    for (Slot& slot : chunk->slots) {
      const int state = slot.state.load(std::memory_order_acquire);
      if (state == kLive || state == kChecking) ::unlink(slot.path);
    }
  }
}

// Only async-signal-safe calls: unlink and raise. SA_RESETHAND has put the default action back, so the
// signal raised again ends the process as it would have without us once this handler returns.
extern "C" void RemoveTemporariesAndEnd(int signal_number) {
  RemoveRemembered();
  ::raise(signal_number);
}

// Installed only over the default action: a signal the process ignores stays ignored, and a handler of
// someone else's stays theirs.
void InstallHandlers() {
  struct sigaction action{};
  action.sa_handler = RemoveTemporariesAndEnd;
  sigemptyset(&action.sa_mask);
  for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
  action.sa_flags = SA_RESETHAND;
  for (int signal_number : kCleanupSignals) {
    struct sigaction old{};
    if (::sigaction(signal_number, nullptr, &old) != 0) continue;
    if ((old.sa_flags & SA_SIGINFO) != 0 || old.sa_handler != SIG_DFL) continue;
    ::sigaction(signal_number, &action, nullptr);
  }
}

// Six letters or digits, different in every process and every call.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator([] {
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), static_cast<unsigned>(::getpid()), static_cast<unsigned>(now)};
    return std::mt19937_64(seed);
  }());
  std::string suffix(6, 'X');
  for (char& c : suffix) c = kAlphabet[generator() % (sizeof kAlphabet - 1)];
  return suffix;
}

// The destination's name shortened so that ".NAME.recaster-XXXXXX" fits the system's limit on one
// component, cut before a UTF-8 continuation byte.
std::string FittingName(std::string name) {
  constexpr std::size_t kAdded = 1 + 10 + 6;  // ".", ".recaster-", suffix
  constexpr std::size_t kMax = NAME_MAX - kAdded;
  if (name.size() <= kMax) return name;
  std::size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  name.resize(cut);
  return name;
}

// The process is ending: the calling thread waits for it to end, and never returns.
[[noreturn]] void WaitForTheEnd() {
  for (;;) ::pause();
}

// Opens a new temporary at `candidate` and remembers it; -1 with errno otherwise.
int OpenAndRemember(const std::string& candidate, mode_t mode) {
  std::unique_lock<std::mutex> lock(g_creation_lock);
  if (g_ending) {
    lock.unlock();
    WaitForTheEnd();
  }
  const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  const int err = errno;
  if (fd >= 0) RememberTemporary(candidate);
  lock.unlock();
  errno = err;
  return fd;
}

}  // namespace

std::span<const int> CleanupSignals() { return kCleanupSignals; }

bool EndsWithCleanup(int signal_number) {
  struct sigaction old{};
  if (::sigaction(signal_number, nullptr, &old) != 0) return false;
  if ((old.sa_flags & SA_SIGINFO) != 0) return false;
  return old.sa_handler == SIG_DFL || old.sa_handler == RemoveTemporariesAndEnd;
}

void EndTemporaries() {
  const std::lock_guard<std::mutex> lock(g_creation_lock);
  g_ending = true;
  RemoveRemembered();
}

bool RememberTemporary(const std::string& path) {
  std::call_once(g_handlers_installed, InstallHandlers);
  for (Chunk* chunk = &g_first_chunk;;) {
    for (Slot& slot : chunk->slots) {
      int expected = kFree;
      if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
      if (slot.capacity < path.size() + 1) {
        delete[] slot.path;
        slot.capacity = path.size() + 1;
        slot.path = new (std::nothrow) char[slot.capacity];
        if (slot.path == nullptr) {
          slot.capacity = 0;
          slot.state.store(kFree, std::memory_order_release);
          return false;
        }
      }
      std::memcpy(slot.path, path.c_str(), path.size() + 1);
      slot.state.store(kLive, std::memory_order_release);
      return true;
    }
    Chunk* next = chunk->next.load(std::memory_order_acquire);
    if (next == nullptr) {
      auto* added = new (std::nothrow) Chunk;
      if (added == nullptr) return false;
      if (chunk->next.compare_exchange_strong(next, added, std::memory_order_acq_rel)) {
        next = added;
      } else {
        delete added;  // another thread linked one first: `next` is theirs
      }
    }
    chunk = next;
  }
}

void ForgetTemporary(const std::string& path) {
  for (Chunk* chunk = &g_first_chunk; chunk != nullptr; chunk = chunk->next.load(std::memory_order_acquire)) {
    for (Slot& slot : chunk->slots) {
      int state = kLive;
      while (!slot.state.compare_exchange_weak(state, kChecking, std::memory_order_acquire)) {
        if (state != kLive && state != kChecking) break;  // free or being filled: not ours
        state = kLive;  // another thread is comparing it: wait for its verdict
        std::this_thread::yield();
      }
      if (state != kLive) continue;
      const bool ours = path == slot.path;
      slot.state.store(ours ? kFree : kLive, std::memory_order_release);
      if (ours) return;
    }
  }
}

// The permissions of an existing destination carry over: owner and group where the process may set
// them (ownership first, as changing it clears set-user-ID bits), then the mode. A new destination gets
// what the process's umask gives a new file.
OsStatus CreateTemporaryFile(const std::u16string& destination, std::u16string* temporary, FileHandle* file) {
  const std::string dest = WideToUtf8(destination);
  const auto slash = dest.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : dest.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? dest : dest.substr(slash + 1);
  if (name.empty()) return ErrnoStatus(EISDIR);
  std::string link;
  if (OsStatus checked = CheckLinksOnTheWay(dest, &link); !checked.ok()) return checked;
  // A link at the destination itself is not followed: its target's owner and mode do not carry over.
  struct stat existing{};
  const bool replaces = ::lstat(dest.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);

  for (int tries = 0; tries < 100; ++tries) {
    const std::string candidate = folder + "." + FittingName(name) + ".recaster-" + RandomSuffix();
    const int fd = OpenAndRemember(candidate, replaces ? 0600 : 0666);
    if (fd < 0 && (errno == EEXIST || errno == EINTR)) continue;
    if (fd < 0) return ErrnoStatus(errno, candidate);
    if (replaces) {
      if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
      }
      if (::fchmod(fd, existing.st_mode & 07777) != 0) {
        const OsStatus status = ErrnoStatus(errno, candidate);
        ::close(fd);
        ::unlink(candidate.c_str());
        ForgetTemporary(candidate);
        return status;
      }
    }
    *temporary = Utf8ToWide(candidate);
    *file = fd;
    return Ok();
  }
  return ErrnoStatus(EEXIST);
}

}  // namespace recaster::platform::posix
