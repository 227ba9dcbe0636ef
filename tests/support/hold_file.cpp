// Test helper: holds a file open, shared with nobody, for a while.
//   hold_file PATH MILLISECONDS
// Prints "held" once it holds the file, keeps it for MILLISECONDS, then closes it and ends with 0.
// Prints "error CODE" and ends with 1 when the file cannot be opened, 2 on bad arguments.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "platform/platform.h"

int main(int argc, char** argv) {
  using namespace recaster::platform;
  if (argc != 3) {
    std::fprintf(stderr, "usage: hold_file PATH MILLISECONDS\n");
    return 2;
  }
  const std::string_view ms_text = argv[2];
  std::uint32_t ms = 0;
  const auto parsed = std::from_chars(ms_text.data(), ms_text.data() + ms_text.size(), ms);
  if (parsed.ec != std::errc() || parsed.ptr != ms_text.data() + ms_text.size()) {
    std::fprintf(stderr, "hold_file: not a number of milliseconds: %s\n", argv[2]);
    return 2;
  }
  FileHandle file = kNoFile;
  const OsStatus status = Files().OpenForReading(PathFromNative(argv[1]), &file);
  if (!status.ok()) {
    std::printf("error %u\n", static_cast<unsigned>(status.code));
    std::fflush(stdout);
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  Files().Sleep(ms);
  Files().Close(file);
  return 0;
}
