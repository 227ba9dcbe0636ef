// Starting helper programs for tests: posix_spawn on POSIX, CreateProcessW on Windows.
#include "tests/support/spawn.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace recaster::test {

#ifdef _WIN32

namespace {

// Command-line quoting as the C runtime's parser undoes it: backslashes are literal except before
// a quotation mark, where they and the mark are escaped.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), units);
  return out;
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, std::string* error) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) {
    *error = "CreatePipe: error " + std::to_string(::GetLastError());
    return false;
  }
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);  // only the write end goes to the child

  const std::wstring path = Widen(program);
  std::wstring command = QuoteArgument(path);
  for (const auto& arg : args) command += L" " + QuoteArgument(Widen(arg));

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const BOOL created = ::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &info);
  const DWORD code = ::GetLastError();
  ::CloseHandle(write_end);
  if (!created) {
    ::CloseHandle(read_end);
    *error = "CreateProcessW " + program + ": error " + std::to_string(code);
    return false;
  }
  ::CloseHandle(info.hThread);
  process_ = info.hProcess;
  output_ = read_end;
  started_ = true;
  return true;
}

bool ChildProcess::ReadLine(std::string* line) {
  if (!started_) return false;
  for (;;) {
    const auto end = pending_.find('\n');
    if (end != std::string::npos) {
      *line = pending_.substr(0, end);
      if (!line->empty() && line->back() == '\r') line->pop_back();  // text-mode output
      pending_.erase(0, end + 1);
      return true;
    }
    char buffer[256];
    DWORD n = 0;
    if (!::ReadFile(static_cast<HANDLE>(output_), buffer, sizeof buffer, &n, nullptr) || n == 0) return false;
    pending_.append(buffer, n);
  }
}

int ChildProcess::Wait() {
  if (!started_ || waited_) return exit_code_;
  waited_ = true;
  DWORD code = 0;
  if (::WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE) == WAIT_OBJECT_0 &&
      ::GetExitCodeProcess(static_cast<HANDLE>(process_), &code)) {
    exit_code_ = static_cast<int>(code);
  }
  return exit_code_;
}

ChildProcess::~ChildProcess() {
  Wait();
  if (output_ != nullptr) ::CloseHandle(static_cast<HANDLE>(output_));
  if (process_ != nullptr) ::CloseHandle(static_cast<HANDLE>(process_));
}

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

  // The child starts with every signal at its default action and none blocked, whatever the test
  // runner ignores or blocks.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
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
  if (rc == pid_ && WIFSIGNALED(status)) ending_signal_ = WTERMSIG(status);
  return exit_code_;
}

bool ChildProcess::Signal(int signal_number) { return started_ && !waited_ && ::kill(pid_, signal_number) == 0; }

ChildProcess::~ChildProcess() {
  Wait();
  if (output_ >= 0) ::close(output_);
}

#endif

}  // namespace recaster::test
