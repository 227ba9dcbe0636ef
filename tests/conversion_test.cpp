// One conversion's core: the default paths, building the tree from a version 5 file, and the notes
// on what is not carried over.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "convert/convert.h"
#include "platform/platform.h"

namespace recaster::convert {
namespace {

#ifndef _WIN32
// Sets (or, with nullopt, removes) an environment variable while it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(DefaultPaths, InputIsInTheOrnvaleFolderOfMachineWideData) {
  EXPECT_EQ(DefaultInputPath(), u"/var/lib/Ornvale/ov_server_settings.cfg");
}

TEST(DefaultPaths, OutputIsInTheDocumentsFolder) {
  ScopedEnv config("XDG_CONFIG_HOME", "/nonexistent-recaster-config");
  ScopedEnv documents("XDG_DOCUMENTS_DIR", "/home/a/Documents");
  EXPECT_EQ(DefaultOutputPath(), u"/home/a/Documents/converted_ov_config.json");
}

TEST(DefaultPaths, OutputIsTheBareFileNameWithoutADocumentsFolder) {
  ScopedEnv config("XDG_CONFIG_HOME", "/nonexistent-recaster-config");
  ScopedEnv documents("XDG_DOCUMENTS_DIR", std::nullopt);
  ScopedEnv home("HOME", std::nullopt);
  EXPECT_EQ(DefaultOutputPath(), u"converted_ov_config.json");
}
#endif

}  // namespace
}  // namespace recaster::convert
