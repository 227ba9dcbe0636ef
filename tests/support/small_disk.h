// File: tests/support/small_disk.h - a small tmpfs of a test's own, where the machine lets the test
// mount one (root on Linux): a disk that really fills up. Elsewhere ok() is false and the test skips;
// the fake file system's full-disk cases stand in for it.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace recaster::test {

class SmallDisk {
 public:
  // Mounts `bytes` of tmpfs on a fresh folder under the temporary folder.
  explicit SmallDisk(std::size_t bytes) {
#ifndef _WIN32
    folder_ = std::filesystem::temp_directory_path() /
              ("recaster-small-disk-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
    const std::string command =
        "mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs '" + folder_.string() + "' 2>/dev/null";
    mounted_ = std::system(command.c_str()) == 0;
#else
    (void)bytes;
#endif
  }
  ~SmallDisk() {
#ifndef _WIN32
    if (mounted_) std::system(("umount -l '" + folder_.string() + "'").c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
#endif
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool ok() const { return mounted_; }
  const std::filesystem::path& folder() const { return folder_; }

  // Writes a filler file until not one more page fits (tmpfs gives files whole pages).
  void Fill() const {
    std::ofstream filler(folder_ / "filler", std::ios::binary);
    const std::string page(4096, 'f');
    while (filler.write(page.data(), static_cast<std::streamsize>(page.size())).flush()) {
    }
  }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
};

}  // namespace recaster::test
