// The fleet under signals, each in a child process that the signal really ends: no temporary is left
// however many threads write, a signal before the commit leaves every old file, one during it lets it
// finish with the index, and a second call meets the lock while the first is placing its files.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/fleet_fixture.h"
#include "tests/support/forwarding_files.h"

namespace recaster {
namespace {

namespace fs = std::filesystem;
using test::kSample;
using test::Outcome;
using test::ReadFile;

class FleetSignals : public test::FleetFixture {
 protected:
  std::size_t TemporariesIn(const fs::path& folder) const {
    std::size_t found = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
      found += entry.path().filename().string().find(".recaster-") != std::string::npos;
    }
    return found;
  }
  // Runs `body` in a child whose standard error goes to err.txt; the signal that ended it, or 0.
  template <class Body>
  pid_t Fork(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
      std::FILE* err = std::freopen(Path("err.txt").c_str(), "w", stderr);
      static_cast<void>(err);
      ::alarm(60);
      body();
      ::_exit(0);
    }
    return child;
  }
  static int EndingSignal(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
  }
};

// Waits in the call that a case names until the parent has sent its signal: a step of the commit
// (placing) or of what comes before it (flushing).
class WaitingFiles final : public test::ForwardingFiles {
 public:
  WaitingFiles(bool in_commit, int to_parent, int from_parent)
      : in_commit_(in_commit), to_parent_(to_parent), from_parent_(from_parent) {}
  OsStatus FlushFiles(std::span<const std::u16string> paths) override {
    if (!in_commit_) Wait();
    return real_.FlushFiles(paths);
  }
  OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination) override {
    if (in_commit_ && !waited_) Wait();
    return real_.ReplaceInBatch(temporary, destination);
  }

 private:
  void Wait() {
    waited_ = true;
    char c = 'w';
    static_cast<void>(::write(to_parent_, &c, 1));
    while (::read(from_parent_, &c, 1) < 0 && errno == EINTR) {
    }
  }
  bool in_commit_;
  int to_parent_;
  int from_parent_;
  bool waited_ = false;
};

constexpr int kSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
                            SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL, SIGPWR};

TEST_F(FleetSignals, PlacementIsAllOrNothing) {
  const std::vector<std::string> names = {"srv01.json", "srv01.report.html", "srv01.report.json", "srv02.json",
                                          "srv02.report.html", "srv02.report.json", "index.json", "index.html", "index.csv"};
  for (const int signal_number : kSignals) {
    for (const bool in_commit : {false, true}) {
      for (int run = 0; run < 5; ++run) {
        const std::string what = std::string(::strsignal(signal_number)) + (in_commit ? ", in the commit" : ", before");
        fs::remove_all(folder_ / "out");
        fs::create_directories(folder_ / "out");
        for (const std::string& name : names) std::ofstream(folder_ / "out" / name) << "old";
        int up[2];
        int down[2];
        ASSERT_EQ(::pipe(up), 0);
        ASSERT_EQ(::pipe(down), 0);
        const pid_t child = Fork([&] {
          WaitingFiles files(in_commit, up[1], down[0]);
          const platform::ScopedFileSystem scoped(files);
          static_cast<void>(Recaster({"convert", "-q", "-f", "-o", Path("out"), Path("in/srv01.cfg"), Path("in/srv02.cfg")}));
        });
        char c = 0;
        ASSERT_EQ(::read(up[0], &c, 1), 1) << what;
        if (in_commit && run == 0) {  // the slow rename of a first call: a second one meets the lock
          const Outcome second = Recaster({"convert", "-q", "-f", "-o", Path("out"), Path("in/srv01.cfg")});
          EXPECT_EQ(second.code, kExitWriteFailed) << second.err;
        }
        ASSERT_EQ(::kill(child, signal_number), 0);
        // Before the commit the guard ends the child while it waits; in the commit, the guard's thread has
        // taken the signal once it says so, and the commit then goes on.
        for (int waited = 0; in_commit && waited < 1000 && ReadFile(folder_ / "err.txt").find("finishing") == std::string::npos;
             ++waited) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (in_commit) static_cast<void>(::write(down[1], "g", 1));
        EXPECT_EQ(EndingSignal(child), signal_number) << what;
        for (int fd : {up[0], up[1], down[0], down[1]}) ::close(fd);
        for (const std::string& name : names) {
          EXPECT_EQ(ReadFile(folder_ / "out" / name) == "old", !in_commit) << what << ": " << name;
        }
        EXPECT_EQ(TemporariesIn(folder_ / "out"), 0u) << what;
        if (in_commit) {
          EXPECT_NE(ReadFile(folder_ / "err.txt").find("recaster: finishing: placing 9 files\n"), std::string::npos)
              << what << ": " << ReadFile(folder_ / "err.txt");
        }
      }
    }
  }
}

// Many threads writing many temporaries: a signal at any moment leaves none of them.
TEST_F(FleetSignals, NoTemporaryIsLeftHoweverManyThreadsWrite) {
  std::vector<std::string> args = {"convert", "-q", "--jobs", "4", "-o", Path("out")};
  for (int i = 0; i < 300; ++i) {
    const std::string name = "in/s" + std::to_string(i) + ".cfg";
    fs::copy_file(kSample, folder_ / name);
    args.push_back(Path(name));
  }
  for (int run = 0; run < 50; ++run) {
    fs::remove_all(folder_ / "out");
    const pid_t child = Fork([&] { static_cast<void>(Recaster(args)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + 7 * run));
    ::kill(child, SIGTERM);
    const int ended = EndingSignal(child);
    EXPECT_TRUE(ended == SIGTERM || ended == 0) << "run " << run << " ended with " << ended;
    if (fs::exists(folder_ / "out")) {
      EXPECT_EQ(TemporariesIn(folder_ / "out"), 0u) << "run " << run;
    }
  }
}

}  // namespace
}  // namespace recaster
