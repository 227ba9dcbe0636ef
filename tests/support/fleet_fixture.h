// File: tests/support/fleet_fixture.h - the command line's fixture with two copies of the sample in
// in/, for the fleet's tests.
#pragma once

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "tests/support/cli_fixture.h"

namespace recaster::test {

namespace fs = std::filesystem;

using cli::kSample;
using cli::Outcome;
using cli::ReadFile;

class FleetFixture : public cli::Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    fs::create_directories(folder_ / "in");
    fs::copy_file(kSample, folder_ / "in" / "srv01.cfg");
    fs::copy_file(kSample, folder_ / "in" / "srv02.cfg");
  }
  // The files in the folder, its lock file left out.
  std::size_t FilesIn(const std::string& name) const {
    const fs::path path = folder_ / name;
    if (!fs::is_directory(path)) return 0;
    const auto count = std::count_if(fs::directory_iterator(path), {}, [](const fs::directory_entry& entry) {
      return entry.path().filename() != ".recaster.lock";
    });
    return static_cast<std::size_t>(count);
  }
};

}  // namespace recaster::test
