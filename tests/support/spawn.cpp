// Starting helper programs for tests: posix_spawn on POSIX, CreateProcessW on Windows.
#include "tests/support/spawn.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace recaster::test {

#ifdef _WIN32

// The Windows build: CreateProcessW with the write end of an inheritable pipe as the child's
// standard output (STARTUPINFOW.hStdOutput, STARTF_USESTDHANDLES), ReadFile for ReadLine,
// WaitForSingleObject and GetExitCodeProcess for Wait. Not written yet.
bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, std::string* error) {
  (void)program;
  (void)args;
  *error = "starting a helper program is not written for Windows yet";
  return false;
}

bool ChildProcess::ReadLine(std::string* line) {
  (void)line;
  return false;
}

int ChildProcess::Wait() { return exit_code_; }

ChildProcess::~ChildProcess() = default;

#else

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, std::string* error) {
  int fds[2];
  if (::pipe(fds) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);  // dup2 onto standard output clears it there

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);

  std::vector<std::string> storage;
  storage.push_back(program);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    *error = "posix_spawn " + program + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  output_ = fds[0];
  started_ = true;
  return true;
}

bool ChildProcess::ReadLine(std::string* line) {
  if (!started_) return false;
  for (;;) {
    const auto end = pending_.find('\n');
    if (end != std::string::npos) {
      *line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return true;
    }
    char buffer[256];
    const ssize_t n = ::read(output_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

int ChildProcess::Wait() {
  if (!started_ || waited_) return exit_code_;
  int status = 0;
  pid_t rc;
  do {
    rc = ::waitpid(pid_, &status, 0);
  } while (rc < 0 && errno == EINTR);
  waited_ = true;
  exit_code_ = (rc == pid_ && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return exit_code_;
}

ChildProcess::~ChildProcess() {
  Wait();
  if (output_ >= 0) ::close(output_);
}

#endif

}  // namespace recaster::test
