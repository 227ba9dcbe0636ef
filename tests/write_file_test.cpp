// Writing the destination file on real files: a replacement that never loses nor shows half a file,
// and the retry while another process holds the destination. The failures a disk can have, on a fake
// one: write_file_fake_disk_test.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "convert/convert.h"
#include "platform/platform.h"
#include "tests/support/forwarding_files.h"
#include "tests/support/small_disk.h"
#include "tests/support/spawn.h"

namespace recaster::convert {
namespace {

namespace fs = std::filesystem;
using platform::FileHandle;
using platform::OsStatus;
using platform::SystemError;

// A fresh folder for one test, removed afterwards.
class RealFiles : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() /
              ("recaster_write_" + std::string(info->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path Path(const char* name) const { return folder_ / name; }
  static std::u16string Wide(const fs::path& path) { return platform::PathFromNative(path.string()); }
  static std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Store(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  // Temporary files left in `folder`.
  static std::vector<std::string> Leftovers(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.find(".recaster-") != std::string::npos) names.push_back(name);
    }
    return names;
  }

  fs::path folder_;
};

TEST_F(RealFiles, CreatesAndReplacesTheFileAndLeavesNoTemporary) {
  const auto path = Path("out.json");
  EXPECT_EQ(WriteTextFile(Wide(path), "first"), 0u);
  EXPECT_EQ(Contents(path), "first");
  Store(path, "an older and much longer content than the new one");
  EXPECT_EQ(WriteTextFile(Wide(path), "{\n}\n"), 0u);
  EXPECT_EQ(Contents(path), "{\n}\n");
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

TEST_F(RealFiles, FailuresOfTheFolderGiveTheirCodes) {
  EXPECT_EQ(WriteTextFile(Wide(Path("missing/out.json")), "x"), platform::kPathNotFound);
  EXPECT_EQ(WriteTextFile(Wide(folder_), "x"), platform::kAccessDenied);
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

TEST_F(RealFiles, DeviceIsWrittenAsItIs) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  EXPECT_EQ(WriteTextFile(u"/dev/full", "{\n}\n"), platform::kDiskFull);
  EXPECT_EQ(WriteTextFile(u"/dev/null", "{\n}\n"), 0u);
}

TEST_F(RealFiles, SymbolicLinkKeepsPointingAtTheReplacedTarget) {
  Store(Path("target.json"), "old");
  std::error_code error;
  fs::create_symlink("target.json", Path("link.json"), error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  EXPECT_EQ(WriteTextFile(Wide(Path("link.json")), "new"), 0u);
  EXPECT_TRUE(fs::is_symlink(Path("link.json")));
  EXPECT_EQ(Contents(Path("target.json")), "new");
  // A dangling link gets its target created.
  fs::create_symlink("absent.json", Path("dangling.json"));
  EXPECT_EQ(WriteTextFile(Wide(Path("dangling.json")), "created"), 0u);
  EXPECT_EQ(Contents(Path("absent.json")), "created");
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

TEST_F(RealFiles, HardLinkedDestinationsOtherNamesKeepTheOldFile) {
  Store(Path("out.json"), "old");
  std::error_code error;
  fs::create_hard_link(Path("out.json"), Path("other-name.json"), error);
  if (error) GTEST_SKIP() << "no hard links here: " << error.message();
  EXPECT_EQ(WriteTextFile(Wide(Path("out.json")), "new"), 0u);
  EXPECT_EQ(Contents(Path("out.json")), "new");
  EXPECT_EQ(Contents(Path("other-name.json")), "old");
}

#ifndef _WIN32
TEST_F(RealFiles, PermissionsCarryOverToTheReplacement) {
  for (const fs::perms mode : {fs::perms(0640), fs::perms(0755), fs::perms(0600)}) {
    Store(Path("out.json"), "old");
    fs::permissions(Path("out.json"), mode);
    ASSERT_EQ(WriteTextFile(Wide(Path("out.json")), "new"), 0u);
    EXPECT_EQ(fs::status(Path("out.json")).permissions(), mode);
  }
}

// Runs `write` in a child process with the rights of the user nobody, as root's rights would let it
// write a read-only file; the child's exit code is what `write` returned.
int AsNobody(const std::function<SystemError()>& write) {
  if (::geteuid() != 0) return static_cast<int>(write());
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
    ::_exit(static_cast<int>(write()));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RealFiles, ReadOnlyDestinationIsRefusedThoughTheFolderAllowsARename) {
  Store(Path("read-only.json"), "kept");
  fs::permissions(Path("read-only.json"), fs::perms(0444));
  fs::permissions(folder_, fs::perms::all);
  const std::u16string path = Wide(Path("read-only.json"));
  EXPECT_EQ(AsNobody([&] { return WriteTextFile(path, "new"); }), 5);
  EXPECT_EQ(Contents(Path("read-only.json")), "kept");
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

TEST_F(RealFiles, FullSmallDiskLeavesTheOldFileByteForByte) {
  test::SmallDisk disk(64 * 1024);
  if (!disk.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here; the fake disk's DiskFull case stands in";
  const fs::path path = disk.folder() / "out.json";
  const std::string old(5000, 'o');
  Store(path, old);
  disk.Fill();
  EXPECT_EQ(WriteTextFile(Wide(path), std::string(20000, 'n')), platform::kDiskFull);
  EXPECT_EQ(Contents(path), old);
  EXPECT_EQ(Leftovers(disk.folder()), std::vector<std::string>{});
}

// Every signal that ends a process in the ordinary course of things, and may come from a terminal, a
// timer, a limit or a broken pipe.
constexpr int kEndingSignals[] = {
    SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPIPE, SIGSYS,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

TEST_F(RealFiles, SignalMidWriteLeavesTheOldFileAndNoTemporary) {
  for (const int signal_number : kEndingSignals) {
    SCOPED_TRACE(::strsignal(signal_number));
    const auto path = Path("out.json");
    Store(path, "old and good");
    test::ChildProcess writer;
    std::string error;
    ASSERT_TRUE(writer.Start(RECASTER_SLOW_WRITE, {path.string(), "100000", "10000"}, &error)) << error;
    std::string line;
    ASSERT_TRUE(writer.ReadLine(&line));
    ASSERT_EQ(line.rfind("temporary ", 0), 0u) << line;
    const fs::path temporary = line.substr(10);
    EXPECT_EQ(temporary.parent_path(), folder_);
    EXPECT_EQ(temporary.filename().string().rfind(".out.json.recaster-", 0), 0u) << temporary;
    ASSERT_TRUE(writer.ReadLine(&line));
    ASSERT_EQ(line, "half");
    EXPECT_EQ(fs::file_size(temporary), 50000u);
    ASSERT_TRUE(writer.Signal(signal_number));
    EXPECT_EQ(writer.Wait(), -1);
    EXPECT_EQ(writer.EndingSignal(), signal_number);
    EXPECT_EQ(Contents(path), "old and good");
    EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
  }
}

// A call that converts many files holds hundreds of temporaries at once, from several threads.
TEST_F(RealFiles, SignalRemovesEveryTemporaryHoweverManyAreOpen) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([this, t] {
        for (int i = 0; i < 100; ++i) {
          std::u16string temporary;
          FileHandle file = platform::kNoFile;
          const auto name = "out-" + std::to_string(t) + "-" + std::to_string(i) + ".json";
          if (!platform::SystemFiles().CreateTemporary(Wide(Path(name.c_str())), &temporary, &file).ok()) ::_exit(101);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    ::raise(SIGTERM);
    ::_exit(102);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

TEST_F(RealFiles, FileSizeLimitFailsTheWriteAndLeavesTheOldFileAndNoTemporary) {
  const auto path = Path("old.json");
  Store(path, "old and good");
  test::ChildProcess writer;
  std::string error;
  ASSERT_TRUE(writer.Start(RECASTER_SLOW_WRITE, {path.string(), "100000", "0", "20480"}, &error)) << error;
  std::string line;
  ASSERT_TRUE(writer.ReadLine(&line));
  ASSERT_EQ(line.rfind("temporary ", 0), 0u) << line;
  EXPECT_TRUE(writer.ReadLine(&line));
  EXPECT_EQ(line, "result " + std::to_string(platform::kFileSystemLimit));
  writer.Wait();
  EXPECT_EQ(writer.EndingSignal(), 0);
  EXPECT_EQ(DescribeWriteError(platform::kFileSystemLimit), "File too large");
  EXPECT_EQ(Contents(path), "old and good");
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

// Root's test of a link in a sticky folder that everyone may write, owned by another user (nobody):
// neither the file it names is written nor, when dangling, a file made where it points.
TEST_F(RealFiles, AnotherUsersLinkInASharedFolderIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make a link that another user owns";
  fs::create_directory(Path("st"));
  fs::permissions(Path("st"), fs::perms(01777));
  Store(Path("v.txt"), "x\n");
  fs::permissions(Path("v.txt"), fs::perms(0600));
  fs::create_symlink(Path("v.txt"), Path("st/out.json"));
  fs::create_symlink(Path("absent.json"), Path("st/dangling.json"));
  for (const char* name : {"st/out.json", "st/dangling.json"}) {
    ASSERT_EQ(::lchown(Path(name).c_str(), 65534, 65534), 0);
    EXPECT_EQ(WriteTextFile(Wide(Path(name)), "{\n}\n"), platform::kLinkNotFollowed) << name;
  }
  EXPECT_EQ(Contents(Path("v.txt")), "x\n");
  EXPECT_FALSE(fs::exists(Path("absent.json")));
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
  EXPECT_EQ(Leftovers(Path("st")), std::vector<std::string>{});
}
#endif

TEST_F(RealFiles, ReaderPollingThroughAThousandReplacementsSeesOnlyWholeFiles) {
  const auto path = Path("polled.json");
  const std::string texts[] = {std::string(3000, 'a') + "\n", std::string(70000, 'b') + "\n"};
  Store(path, texts[0]);
  std::atomic<bool> done{false};
  int reads = 0;
  int broken = 0;
  std::thread reader([&] {
    platform::FileSystem& files = platform::SystemFiles();
    while (!done.load()) {
      FileHandle handle = platform::kNoFile;
      if (!files.OpenForReading(Wide(path), &handle).ok()) {
        ++broken;
        continue;
      }
      platform::ScopedFile file(files, handle);
      std::string seen(80000, '\0');
      std::uint32_t count = 0;
      if (!files.Read(handle, seen.data(), static_cast<std::uint32_t>(seen.size()), &count).ok()) {
        ++broken;
        continue;
      }
      seen.resize(count);
      ++reads;
      if (seen != texts[0] && seen != texts[1]) ++broken;
#ifdef _WIN32
      file.reset();
      files.Sleep(2);  // an open reader holds the replacement off on Windows; let some through
#endif
    }
  });
  int failed = 0;
  int held_off = 0;
  for (int i = 0; i < 1000; ++i) {
    const SystemError code = WriteTextFile(Wide(path), texts[i % 2]);
    held_off += code == platform::kSharingViolation ? 1 : 0;
    failed += code != 0 && code != platform::kSharingViolation ? 1 : 0;
  }
  done = true;
  reader.join();
  EXPECT_EQ(failed, 0);
#ifndef _WIN32
  EXPECT_EQ(held_off, 0);  // readers share the file with its replacement
#endif
  EXPECT_EQ(broken, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 0);
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

// The real file system, with the time of every replacement attempt and every wait recorded.
class TimedFiles final : public test::ForwardingFiles {
 public:
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> attempts;
  std::vector<std::uint32_t> sleeps;

  OsStatus Replace(const std::u16string& temporary, const std::u16string& destination) override {
    attempts.push_back(Clock::now());
    return real_.Replace(temporary, destination);
  }
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    real_.Sleep(ms);
  }
};

// Starts the helper that holds `path` (as a reader or a writer) for `ms` and waits until it holds it.
void HoldInOtherProcess(test::ChildProcess& child, const char* how, const fs::path& path, int ms) {
  std::string error;
  ASSERT_TRUE(child.Start(RECASTER_HOLD_FILE, {how, path.string(), std::to_string(ms)}, &error)) << error;
  std::string line;
  ASSERT_TRUE(child.ReadLine(&line));
  ASSERT_EQ(line, "held");
}

TEST_F(RealFiles, FileHeldByAWriterIsTriedFourTimesThenSharingViolation) {
  const auto path = Path("held.json");
  Store(path, "kept");
  test::ChildProcess child;
  HoldInOtherProcess(child, "write", path, 1000);
  if (HasFatalFailure() || IsSkipped()) return;

  TimedFiles timed;
  platform::ScopedFileSystem scoped(timed);
  EXPECT_EQ(WriteTextFile(Wide(path), "new"), platform::kSharingViolation);
  EXPECT_EQ(timed.sleeps, std::vector<std::uint32_t>(4, 25));
  ASSERT_EQ(timed.attempts.size(), 4u);
  for (std::size_t i = 1; i < timed.attempts.size(); ++i) {
    EXPECT_GE(timed.attempts[i] - timed.attempts[i - 1], std::chrono::milliseconds(25)) << "attempt " << i;
  }
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(Contents(path), "kept");
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

TEST_F(RealFiles, FileReleasedWithinTheRetriesIsReplaced) {
  const auto path = Path("briefly.json");
  Store(path, "old");
  test::ChildProcess child;
  HoldInOtherProcess(child, "write", path, 50);
  if (HasFatalFailure() || IsSkipped()) return;

  TimedFiles timed;
  platform::ScopedFileSystem scoped(timed);
  EXPECT_EQ(WriteTextFile(Wide(path), "{\n}\n"), 0u);
  EXPECT_GE(timed.attempts.size(), 1u);
  EXPECT_LE(timed.attempts.size(), 4u);
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(Contents(path), "{\n}\n");
}

#ifndef _WIN32
// On Windows a reader's open file holds the replacement off like a writer's (Win32Files tests).
TEST_F(RealFiles, AReaderDoesNotHoldTheReplacementOff) {
  const auto path = Path("read.json");
  Store(path, "old");
  test::ChildProcess child;
  HoldInOtherProcess(child, "read", path, 300);
  if (HasFatalFailure() || IsSkipped()) return;
  EXPECT_EQ(WriteTextFile(Wide(path), "new"), 0u);
  EXPECT_EQ(Contents(path), "new");
  EXPECT_EQ(child.Wait(), 0);
}
#endif

}  // namespace
}  // namespace recaster::convert
