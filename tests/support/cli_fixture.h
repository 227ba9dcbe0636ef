// File: tests/support/cli_fixture.h - a folder of a test's own, the command line driven in-process on
// it, and the designed messages the tests expect.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace recaster::cli {

namespace fs = std::filesystem;

inline const fs::path kSample = fs::path(RECASTER_SOURCE_DIR) / "samples" / "ov_server_settings.cfg";
inline const fs::path kGolden = fs::path(RECASTER_TEST_DATA) / "ov_server_settings.json";

inline constexpr char kReadFailed[] = "Failed to read an Ornvale 5 server configuration from the file you selected.";
inline constexpr char kWriteSucceeded[] =
    "The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.\n";
inline constexpr char kWriteFailed[] = "Failed to write converted configuration to the file path you specified.";

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("recaster_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  Outcome Recaster(std::vector<std::string> args, const std::string& input = "", bool terminal = false) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    Console console{in, out, err, terminal};
    const int code = RunRecaster(args, console);
    return {code, out.str(), err.str()};
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

}  // namespace recaster::cli
