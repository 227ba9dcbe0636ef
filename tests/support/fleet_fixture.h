// File: tests/support/fleet_fixture.h - a folder of a test's own with two copies of the sample in
// in/, and the command line driven in-process on it.
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

namespace recaster::test {

namespace fs = std::filesystem;

inline const fs::path kSample = fs::path(RECASTER_SOURCE_DIR) / "samples" / "ov_server_settings.cfg";

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class FleetFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("recaster_fleet_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_ / "in");
    fs::copy_file(kSample, folder_ / "in" / "srv01.cfg");
    fs::copy_file(kSample, folder_ / "in" / "srv02.cfg");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  Outcome Recaster(std::vector<std::string> args, const std::string& input = "", bool terminal = false) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    cli::Console console{in, out, err, terminal};
    const int code = cli::RunRecaster(args, console);
    return {code, out.str(), err.str()};
  }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::size_t FilesIn(const std::string& name) const {
    std::error_code ignored;
    const fs::path path = folder_ / name;
    return fs::is_directory(path) ? static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})) : 0;
  }

  fs::path folder_;
};

}  // namespace recaster::test
