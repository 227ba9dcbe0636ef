// convert --verify: the file read back from the disk, not the text in memory, is checked and held
// against the plan; a difference is a failed write that keeps the old file.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "convert/verify.h"
#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "tests/support/fleet_fixture.h"
#include "tests/support/forwarding_files.h"

namespace recaster {
namespace {

namespace fs = std::filesystem;
using cli::kGolden;
using cli::kSample;
using cli::kWriteFailed;
using cli::Lines;
using cli::ReadFile;
using Verify = test::FleetFixture;

constexpr char kPortMismatch[] = "verification failed: /network/interfaces/0/port: expected \"1514\", found \"1515\"";

// Writes the first "1514" of a temporary whose destination's name holds `marked` as "1515": the disk
// then holds what the program never wrote.
class ChangedOnDisk final : public test::ForwardingFiles {
 public:
  explicit ChangedOnDisk(std::u16string marked) : marked_(std::move(marked)) {}
  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary, FileHandle* file) override {
    OsStatus status = real_.CreateTemporary(destination, temporary, file);
    std::lock_guard lock(mutex_);
    if (status.ok() && destination.find(marked_) != std::u16string::npos) changed_.insert(*file);
    return status;
  }
  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override {
    std::string bytes(static_cast<const char*>(data), size);
    {
      std::lock_guard lock(mutex_);
      if (const auto at = bytes.find("\"1514\""); changed_.count(file) != 0 && at != std::string::npos) {
        bytes[at + 4] = '5';
        changed_.erase(file);
      }
    }
    return real_.Write(file, bytes.data(), size, written);
  }

 private:
  std::u16string marked_;
  std::mutex mutex_;
  std::set<FileHandle> changed_;
};

TEST_F(Verify, AByteChangedOnTheDiskIsAFailedWriteThatKeepsTheOldFile) {
  const fs::path destination = folder_ / "out.json";
  cli::WriteFile(destination, "old");
  ChangedOnDisk disk(u"out.json");
  const platform::ScopedFileSystem scoped(disk);
  const cli::Outcome run = Recaster({"convert", "--verify", "-f", kSample.string(), destination.string()});
  EXPECT_EQ(run.code, kExitWriteFailed);
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 2u) << run.err;
  EXPECT_EQ(lines[0], kWriteFailed);
  EXPECT_EQ(lines[1], "recaster: " + destination.string() + ": " + kPortMismatch);
  EXPECT_EQ(ReadFile(destination), "old");
  EXPECT_EQ(FilesIn("."), 2u) << "the temporary is removed";  // in/ and out.json
}

TEST_F(Verify, TheSampleIsVerifiedAndSaysWhatItVerified) {
  const cli::Outcome run = Recaster({"convert", "--verify", kSample.string(), Path("out.json")});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(ReadFile(folder_ / "out.json"), ReadFile(kGolden));
  EXPECT_EQ(run.out, cli::kWriteSucceeded);
  EXPECT_NE(run.err.find("\nrecaster: verified: 4 listeners, keep_days 365\n"), std::string::npos) << run.err;
  const cli::Outcome quiet = Recaster({"convert", "--verify", "-q", "-f", kSample.string(), Path("out.json")});
  EXPECT_EQ(quiet.code, kExitOk);
  EXPECT_EQ(quiet.err, "");
}

TEST_F(Verify, NothingThatCannotBeReadBack) {
  EXPECT_EQ(Recaster({"convert", "--verify", kSample.string(), "-"}).code, kExitUsage);
#ifndef _WIN32
  const cli::Outcome device = Recaster({"convert", "--verify", kSample.string(), "/dev/null"});
  EXPECT_EQ(device.code, kExitUsage);
  EXPECT_NE(device.err.find("cannot be read back"), std::string::npos) << device.err;
#endif
}

TEST_F(Verify, InAFolderOneSourceFailsAndTheOthersArePlaced) {
  ChangedOnDisk disk(u"srv02.json");
  const platform::ScopedFileSystem scoped(disk);
  const cli::Outcome run = Recaster({"convert", "--verify", "-q", "-o", Path("out"), Path("in/srv01.cfg"), Path("in/srv02.cfg")});
  EXPECT_EQ(run.code, kExitWriteFailed);
  // The source as it was given; the output as the folder's path joined by the system's separator.
  const std::string output = (folder_ / "out" / "srv02.json").string();
  EXPECT_EQ(run.err, "recaster: " + Path("in/srv02.cfg") + ": " + output + ": " + kPortMismatch + "\n");
  EXPECT_EQ(ReadFile(folder_ / "out" / "srv01.json"), ReadFile(kGolden));
  EXPECT_FALSE(fs::exists(folder_ / "out" / "srv02.json"));
  EXPECT_NE(ReadFile(folder_ / "out" / "index.json").find("verification failed: /network/interfaces/0/port"), std::string::npos);
}

// Every golden conversion (the sample, and each source of the pipeline corpus) passes --verify and is
// the same file as without it.
TEST_F(Verify, EveryGoldenConversionPasses) {
  std::vector<fs::path> sources{kSample, fs::path(RECASTER_TEST_DATA) / "carried_only.cfg"};
  for (const auto& entry : fs::directory_iterator(fs::path(RECASTER_SOURCE_DIR) / "fuzz" / "corpus" / "pipeline")) {
    sources.push_back(entry.path());
  }
  for (const fs::path& source : sources) {
    const cli::Outcome plain = Recaster({"convert", "-q", "-f", source.string(), Path("plain.json")});
    const cli::Outcome verified = Recaster({"convert", "--verify", "-f", source.string(), Path("verified.json")});
    EXPECT_EQ(verified.code, plain.code) << source << verified.err;
    if (plain.code != kExitOk) continue;
    EXPECT_EQ(ReadFile(folder_ / "verified.json"), ReadFile(folder_ / "plain.json")) << source;
    EXPECT_NE(verified.err.find("recaster: verified: "), std::string::npos) << source << verified.err;
  }
}

// What the read-back catches, each from the golden text with one thing changed.
TEST(VerifyText, TellsTheFirstDifferenceFromThePlan) {
  convert::ConversionResult conversion = convert::BuildConfigTree(kSample.u16string());
  ASSERT_TRUE(conversion.ok());
  const std::string golden = ReadFile(kGolden);
  struct Case {
    std::string from, to, problem;
  };
  const Case cases[] = {
      {"", "", ""},
      {"\"keep_days\": \"365\"", "\"keep_days\": \"366\"", "/storage/keep_days: expected \"365\", found \"366\""},
      {"\"192.0.2.10\"", "\"192.0.2.11\"", "/network/interfaces/0/addr: expected \"192.0.2.10\", found \"192.0.2.11\""},
      {"\"separate_by_cr_lf\": \"false\"", "\"separate_by_cr_lf\": \"true\"",
       "/network/interfaces/2/separate_by_cr_lf: expected \"false\", found \"true\""},
      {"\"type\": \"udp\"", "\"type\": \"udp\", \"extra\": \"x\"", "/network/interfaces/0: expected 6 members, found 7"},
      {"\"tcp\"", "\"xyz\"", "/network/interfaces/2/type: \"xyz\" is not a listener type (\"udp\" or \"tcp\")"},
      // The TCP listener's address is the UDP one's in the plan, and is held against its own text.
      {"\"addr\": \"192.0.2.10\",\n                \"port\": \"1601\"", "\"addr\": \"192.0.2.1\",\n                \"port\": \"1601\"",
       "/network/interfaces/2/addr: expected \"192.0.2.10\", found \"192.0.2.1\""},
      {"\"interfaces\": [", "\"interfaces\": \"\", \"x\": [", "/network/interfaces: expected 4 listeners, found \"\""},
      {R"({
                "addr": "2001:db8::10",
                "port": "1514",
                "max_msg_len": "8192",
                "socket_buffer_size": "1048576",
                "max_session_history": "1000",
                "type": "udp"
            },
            )", "",
       "/network/interfaces: expected 4 listeners, found 3"},
  };
  for (const Case& c : cases) {
    std::string text = golden;
    if (!c.from.empty()) {
      ASSERT_NE(text.find(c.from), std::string::npos) << c.from;
      text.replace(text.find(c.from), c.from.size(), c.to);
    }
    const convert::Verification verified = convert::VerifyText(text, conversion.plan);
    EXPECT_EQ(verified.problem, c.problem.empty() ? "" : "verification failed: " + c.problem) << c.to;
  }
}

// 2,000 generated version 5 networks and retentions, ports and sizes out of range and bind addresses of
// any units (a lone surrogate among them): each conversion passes the check and verifies against its plan.
TEST(VerifyText, EveryGeneratedConversionPasses) {
  std::mt19937 random(20261210);
  const auto pick = [&random](std::int32_t low, std::int32_t high) {
    return std::uniform_int_distribution<std::int32_t>(low, high)(random);
  };
  std::u16string units = u"0123456789.:abcdef \\\"\u0001\u202E\u00E9\uFFFF";
  units += {char16_t{0xD800}, char16_t{0xDC00}};
  const auto address = [&] {
    std::u16string text;
    for (std::int32_t n = pick(0, 12); n > 0; --n) text += units[static_cast<std::size_t>(pick(0, static_cast<std::int32_t>(units.size()) - 1))];
    return text;
  };
  for (int i = 0; i < 2000; ++i) {
    settings::COVSettings doc;
    doc.Network.Udp.SetValue(pick(0, 1) == 1);
    doc.Network.Tcp.SetValue(pick(0, 1) == 1);
    doc.Network.Ipv4.SetValue(pick(0, 1) == 1);
    doc.Network.Ipv6.SetValue(pick(0, 1) == 1);
    doc.Network.Ipv4BindAny.SetValue(pick(0, 1) == 1);
    doc.Network.Ipv6BindAny.SetValue(pick(0, 1) == 1);
    doc.Network.Ipv4BindAddr.SetValue(address());
    doc.Network.Ipv6BindAddr.SetValue(address());
    doc.Network.UdpPort.SetValue(pick(-2, 70000));
    doc.Network.TcpPort.SetValue(pick(-2, 70000));
    doc.Network.SocketBufferSize.SetValue(pick(-2, 1 << 30));
    doc.NetworkEx.MaxPacketSize.SetValue(pick(-2, 99999));
    doc.NetworkEx.MaxTcpClients.SetValue(pick(-2, 99999));
    doc.NetworkEx.SeparateTcpStreamWithCRLF.SetValue(pick(0, 1) == 1);
    doc.Storage.KeepPeriod.Resize(static_cast<std::uint32_t>(pick(0, 3)));
    for (std::uint32_t k = 0; k < doc.Storage.KeepPeriod.Count(); ++k) doc.Storage.KeepPeriod[k].SetValue(pick(-1, 20000));
    const mapping::Plan plan = mapping::MakePlan(doc);
    const convert::Verification verified = convert::VerifyText(convert::ConfigTreeToJson(mapping::PlanToTree(plan)), plan);
    ASSERT_TRUE(verified.ok()) << i << ": " << verified.problem;
  }
}

}  // namespace
}  // namespace recaster
