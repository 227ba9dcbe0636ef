// The POSIX layer's folders and paths: the special folders, joining, absolute paths, and the
// standard streams.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/posix/posix_internal.h"

namespace recaster::platform {
namespace {

using posix::Utf8ToWide;
using posix::WideToUtf8;

// One line of a user-dirs file: NAME="value" with $HOME expanded, as the shell that reads it would.
std::optional<std::string> ReadUserDir(const std::string& file, const std::string& name, const std::string& home) {
  std::ifstream in(file);
  std::optional<std::string> found;
  std::string line;
  while (std::getline(in, line)) {
    auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (line.compare(start, name.size() + 1, name + "=") != 0) continue;
    std::string value = line.substr(start + name.size() + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    std::string expanded;
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value.compare(i, 7, "${HOME}") == 0) {
        expanded += home, i += 6;
      } else if (value.compare(i, 5, "$HOME") == 0) {
        expanded += home, i += 4;
      } else if (value[i] == '\\' && i + 1 < value.size()) {
        expanded += value[++i];
      } else {
        expanded += value[i];
      }
    }
    found = expanded;  // the last assignment wins, as in the shell
  }
  return found;
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> DocumentsFolder() {
  const char* home_env = std::getenv("HOME");
  const std::string home = home_env != nullptr ? home_env : "";
  const char* config_env = std::getenv("XDG_CONFIG_HOME");
  const std::string config = (config_env != nullptr && *config_env != '\0') ? config_env : home + "/.config";
  if (auto dir = ReadUserDir(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR", home); dir && !dir->empty()) return dir;
  if (const char* env = std::getenv("XDG_DOCUMENTS_DIR"); env != nullptr && *env != '\0') return std::string(env);
  if (!home.empty() && IsDirectory(home + "/Documents")) return home + "/Documents";
  return std::nullopt;
}

}  // namespace

bool GetSpecialFolder(SpecialFolder folder, std::u16string* path) {
  switch (folder) {
    case SpecialFolder::kCommonAppData:
      *path = u"/var/lib";
      return true;
    case SpecialFolder::kDocuments:
      if (auto dir = DocumentsFolder()) {
        *path = Utf8ToWide(*dir);
        return true;
      }
      return false;
  }
  return false;
}

std::u16string JoinPath(std::u16string_view left, std::u16string_view right) {
  std::u16string out(left);
  if (!left.empty() && left.back() != u'/') out.push_back(u'/');
  out.append(right);
  return out;
}

std::u16string AbsolutePath(const std::u16string& path) {
  const std::string native = WideToUtf8(path);
  const auto slash = native.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (char* real = ::realpath(folder.c_str(), nullptr); real != nullptr) {
    std::string out(real);
    std::free(real);
    if (out.back() != '/') out.push_back('/');
    return Utf8ToWide(out + name);
  }
  if (!native.empty() && native.front() == '/') return path;
  std::string cwd(PATH_MAX, '\0');
  if (::getcwd(cwd.data(), cwd.size()) == nullptr) return path;
  cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  return Utf8ToWide(cwd + (cwd.back() == '/' ? "" : "/") + native);
}

bool EndsWithSeparator(std::u16string_view path) { return !path.empty() && path.back() == u'/'; }

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

namespace {

// Standard input was closed when the program started (GuardStandardStreams put the null device there):
// reading it is the error it would have been.
bool g_stdin_was_closed = false;

}  // namespace

OsStatus ReadStandardInput(std::size_t limit, std::string* bytes) {
  bytes->clear();
  if (g_stdin_was_closed) return posix::ErrnoStatus(EBADF);
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  while (bytes->size() < limit) {
    const std::size_t at = bytes->size();
    const std::size_t want = std::min(kChunk, limit - at);
    bytes->resize(at + want);
    const ssize_t n = ::read(STDIN_FILENO, bytes->data() + at, want);
    if (n < 0 && errno == EINTR) {
      bytes->resize(at);
      continue;
    }
    if (n < 0) {
      const int err = errno;
      bytes->resize(at);
      return posix::ErrnoStatus(err);
    }
    bytes->resize(at + static_cast<std::size_t>(n));
    if (n == 0) break;
  }
  return Ok();
}

void ReleaseFreedMemory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

void GuardStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDIN_FILENO) g_stdin_was_closed = true;
    // The lowest free descriptor is `fd` itself, as the ones below it are open.
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

}  // namespace recaster::platform
