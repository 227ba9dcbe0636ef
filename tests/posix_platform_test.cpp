// The POSIX layer under faults: a folder's lock against a second process, a folder's entries, the
// signal guard of a call that writes many files, FIFOs that would block a reader, and the owner named
// when a link in a shared folder is refused at write time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform.h"

namespace recaster::platform {
namespace {

namespace fs = std::filesystem;

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = fs::temp_directory_path() / ("recaster-posix-" + std::to_string(std::random_device{}()) + "-" + test);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::u16string Path(const std::string& name) const { return PathFromNative((folder_ / name).string()); }

  // The names in `folder` that hold ".recaster-".
  static std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".recaster-") != std::string::npos) found.push_back(name);
    }
    return found;
  }

  fs::path folder_;
};

// One byte from the pipe; 0 at its end.
char ReadByte(int fd) {
  char c = 0;
  while (::read(fd, &c, 1) < 0 && errno == EINTR) {
  }
  return c;
}

// The child's way of ending; its exit code tells the parent what went wrong.
[[noreturn]] void EndChild(int code) { ::_exit(code); }

TEST_F(PosixFiles, ALockRefusesASecondProcessUntilTheFirstIsKilled) {
  std::ofstream(folder_ / "held.lock") << "kept";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileHandle lock = kNoFile;
    if (!SystemFiles().LockFile(Path("held.lock"), &lock).ok()) EndChild(1);
    if (::write(ready[1], "1", 1) != 1) EndChild(2);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  ASSERT_EQ(ReadByte(ready[0]), '1');
  ::close(ready[0]);
  FileHandle lock = kNoFile;
  const OsStatus refused = SystemFiles().LockFile(Path("held.lock"), &lock);
  EXPECT_EQ(refused.code, kLockViolation);
  EXPECT_EQ(refused.message, DescribeSystemError(kLockViolation));
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  ASSERT_TRUE(SystemFiles().LockFile(Path("held.lock"), &lock).ok());
  std::ifstream in(folder_ / "held.lock");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
  SystemFiles().Close(lock);
  // A missing lock file is made, empty.
  ASSERT_TRUE(SystemFiles().LockFile(Path("new.lock"), &lock).ok());
  EXPECT_EQ(fs::file_size(folder_ / "new.lock"), 0u);
  SystemFiles().Close(lock);
}

TEST_F(PosixFiles, ListFolderTellsWhatEachEntryLeadsTo) {
  std::ofstream(folder_ / "file.cfg") << "content";
  fs::create_directory(folder_ / "sub");
  fs::create_symlink(folder_ / "file.cfg", folder_ / "to-file");
  fs::create_symlink(folder_ / "sub", folder_ / "to-sub");
  fs::create_symlink(folder_ / "absent", folder_ / "dangling");
  ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(SystemFiles().ListFolder(PathFromNative(folder_.string()), &entries).ok());
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  const FolderEntry expected[] = {
      {u"dangling", PathKind::kMissing, true},    {u"fifo", PathKind::kOther, false},
      {u"file.cfg", PathKind::kRegularFile, false}, {u"sub", PathKind::kDirectory, false},
      {u"to-file", PathKind::kRegularFile, true},   {u"to-sub", PathKind::kDirectory, true},
  };
  ASSERT_EQ(entries.size(), std::size(expected));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, expected[i].name) << i;
    EXPECT_EQ(entries[i].kind, expected[i].kind) << PathToNative(expected[i].name);
    EXPECT_EQ(entries[i].is_link, expected[i].is_link) << PathToNative(expected[i].name);
  }
  fs::create_directory(folder_ / "shut");
  fs::permissions(folder_ / "shut", fs::perms::none);
  const bool root = ::geteuid() == 0;  // denied no folder
  const std::tuple<const char*, SystemError, int> failures[] = {
      {"missing", kFileNotFound, ENOENT}, {"file.cfg", kPathNotFound, ENOTDIR}, {"shut", kAccessDenied, EACCES}};
  for (const auto& [name, code, err] : failures) {
    if (root && code == kAccessDenied) continue;
    const OsStatus status = SystemFiles().ListFolder(Path(name), &entries);
    EXPECT_EQ(status.code, code) << name;
    EXPECT_EQ(status.message, std::strerror(err)) << name;
  }
  fs::permissions(folder_ / "shut", fs::perms::owner_all);
}

// A FIFO without a writer would block an ordinary open for ever (the alarm ends a test that hangs);
// a regular file is read with O_NONBLOCK cleared, so that its reads wait for the disk as before.
TEST_F(PosixFiles, AFifoOrDeviceIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
  std::ofstream(folder_ / "file.cfg") << "content";
  const std::pair<std::u16string, std::string> cases[] = {
      {Path("fifo"), "not a regular file"}, {u"/dev/zero", "not a regular file"}, {Path("file.cfg"), ""}};
  for (const auto& [path, refusal] : cases) {
    ::alarm(10);
    FileHandle file = kNoFile;
    const OsStatus status = SystemFiles().OpenForReading(path, &file);
    ::alarm(0);
    EXPECT_EQ(status.code, refusal.empty() ? kSuccess : kAccessDenied) << PathToNative(path);
    EXPECT_EQ(status.message, refusal) << PathToNative(path);
    if (!status.ok()) continue;
    EXPECT_EQ(::fcntl(static_cast<int>(file), F_GETFL) & O_NONBLOCK, 0);
    SystemFiles().Close(file);
  }
}

// A child that writes with 8 threads under a guard, each creating temporaries as fast as it can; the
// parent's signal must end it with no temporary left behind.
[[noreturn]] void WriteUntilSignalled(const std::u16string& folder, int ready) {
  SignalGuard guard;
  std::atomic<int> created{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&, t] {
      const std::u16string destination = JoinPath(folder, u"out" + std::u16string(1, u'0' + t) + u".json");
      std::u16string previous;
      for (;;) {
        std::u16string temporary;
        FileHandle file = kNoFile;
        if (!SystemFiles().CreateTemporary(destination, &temporary, &file).ok()) EndChild(3);
        SystemFiles().Close(file);
        if (!previous.empty()) static_cast<void>(SystemFiles().Discard(previous));
        previous = temporary;
        created.fetch_add(1);
      }
    });
  }
  while (created.load() < 64) std::this_thread::yield();
  if (::write(ready, "1", 1) != 1) EndChild(2);
  for (std::thread& writer : writers) writer.join();
  EndChild(4);
}

TEST_F(PosixFiles, ASignalDuringWritesEndsTheProcessWithNoTemporaryLeft) {
  std::mt19937 random(std::random_device{}());
  for (int signal_number : {SIGHUP, SIGINT, SIGTERM, SIGUSR1}) {
    for (int run = 0; run < 4; ++run) {
      int ready[2];
      ASSERT_EQ(::pipe(ready), 0);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) WriteUntilSignalled(PathFromNative(folder_.string()), ready[1]);
      ::close(ready[1]);
      ASSERT_EQ(ReadByte(ready[0]), '1');
      ::close(ready[0]);
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
      ASSERT_EQ(::kill(child, signal_number), 0);
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFSIGNALED(status)) << strsignal(signal_number) << ": exit " << WEXITSTATUS(status);
      EXPECT_EQ(WTERMSIG(status), signal_number);
      EXPECT_EQ(Temporaries(folder_), std::vector<std::string>{}) << strsignal(signal_number) << ", run " << run;
    }
  }
}

// The child stages three files, begins their commit, and places them only once the parent has seen
// the guard take its SIGTERM.
[[noreturn]] void CommitWhileSignalled(const fs::path& folder, int to_parent, int from_parent) {
  SignalGuard guard;
  std::vector<std::pair<std::u16string, std::u16string>> staged;
  for (const char* name : {"a.json", "b.json", "c.json"}) {
    const std::u16string destination = PathFromNative((folder / name).string());
    std::u16string temporary;
    FileHandle file = kNoFile;
    if (!SystemFiles().CreateTemporary(destination, &temporary, &file).ok()) EndChild(3);
    SystemFiles().Close(file);
    staged.emplace_back(temporary, destination);
  }
  if (!guard.BeginCommit(staged.size())) EndChild(5);
  if (::write(to_parent, "c", 1) != 1) EndChild(2);
  if (ReadByte(from_parent) != 'g') EndChild(6);
  for (const auto& [temporary, destination] : staged) {
    if (!SystemFiles().ReplaceInBatch(temporary, destination).ok()) EndChild(7);
  }
  guard.EndCommit();
  for (;;) ::pause();
}

TEST_F(PosixFiles, ASignalDuringACommitWaitsForItsEnd) {
  int up[2], down[2], err[2];
  ASSERT_EQ(::pipe(up), 0);
  ASSERT_EQ(::pipe(down), 0);
  ASSERT_EQ(::pipe(err), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(err[1], STDERR_FILENO);
    CommitWhileSignalled(folder_, up[1], down[0]);
  }
  for (int fd : {up[1], down[0], err[1]}) ::close(fd);
  ASSERT_EQ(ReadByte(up[0]), 'c');
  ASSERT_EQ(::kill(child, SIGTERM), 0);
  std::string line;
  for (char c; (c = ReadByte(err[0])) != 0 && c != '\n';) line += c;
  EXPECT_EQ(line, "recaster: finishing: placing 3 files");
  ASSERT_EQ(::write(down[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  for (int fd : {up[0], down[1], err[0]}) ::close(fd);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  for (const char* name : {"a.json", "b.json", "c.json"}) EXPECT_TRUE(fs::exists(folder_ / name)) << name;
  EXPECT_EQ(Temporaries(folder_), std::vector<std::string>{});
}

// Root's test: a caller that keeps only the code of a refused write describes it by the code, and the
// text must still name the link's owner.
TEST_F(PosixFiles, AWriteRefusedByALinkNamesItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make a link that another user owns";
  std::ofstream(folder_ / "file.cfg") << "content";
  fs::create_directory(folder_ / "st");
  fs::permissions(folder_ / "st", fs::perms(01777));
  fs::create_symlink(folder_ / "file.cfg", folder_ / "st/nobody.json");
  ASSERT_EQ(::lchown((folder_ / "st/nobody.json").c_str(), 65534, 65534), 0);
  std::u16string temporary;
  FileHandle file = kNoFile;
  ASSERT_TRUE(SystemFiles().CreateTemporary(Path("out.json"), &temporary, &file).ok());
  SystemFiles().Close(file);
  const std::string expected = "a link owned by nobody in a shared folder; not followed";
  std::u16string ignored;
  const OsStatus refusals[] = {
      SystemFiles().CreateTemporary(Path("st/nobody.json"), &ignored, &file),
      SystemFiles().Replace(temporary, Path("st/nobody.json")),
      SystemFiles().ReplaceInBatch(temporary, Path("st/nobody.json")),
  };
  for (const OsStatus& refused : refusals) {
    EXPECT_EQ(refused.code, kLinkNotFollowed);
    EXPECT_EQ(refused.message, expected);
  }
  EXPECT_TRUE(SystemFiles().Discard(temporary).ok());
}

}  // namespace
}  // namespace recaster::platform

namespace recaster::platform {
namespace {

// A file name is bytes: one that is no UTF-8 survives the way into UTF-16 and back unchanged.
TEST(PosixPaths, EveryFileNameSurvivesTheRoundTrip) {
  const std::string names[] = {"plain", "caf\xC3\xA9", "\xF0\x9F\x98\x80", "bad\xFF", "\xC0\xAF", "cut\xE2\x80",
                               "\xED\xA0\x80", "\x80\x80"};
  for (const std::string& name : names) EXPECT_EQ(PathToNative(PathFromNative(name)), name);
}

}  // namespace
}  // namespace recaster::platform
