// Test helper: holds a file open for a while, as a reader or as a writer.
//   hold_file read PATH MILLISECONDS    reads it, sharing it with other readers
//   hold_file write PATH MILLISECONDS   rewrites it with its own content, shared with nobody
// Prints "held" once it holds the file, keeps it for MILLISECONDS, then closes it and ends with 0.
// Prints "error CODE" and ends with 1 when the file cannot be opened, 2 on bad arguments.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace {

using namespace recaster::platform;

int Fail(const OsStatus& status) {
  std::printf("error %u\n", static_cast<unsigned>(status.code));
  std::fflush(stdout);
  return 1;
}

// The file's content, read through the platform layer.
OsStatus ReadWhole(const std::u16string& path, std::string* content) {
  FileHandle file = kNoFile;
  if (OsStatus status = Files().OpenForReading(path, &file); !status.ok()) return status;
  ScopedFile owner(Files(), file);
  std::uint64_t size = 0;
  if (OsStatus status = Files().FileSize(file, &size); !status.ok()) return status;
  content->resize(static_cast<std::size_t>(size));
  std::uint32_t read = 0;
  return Files().Read(file, content->data(), static_cast<std::uint32_t>(size), &read);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string_view(argv[1]) != "read" && std::string_view(argv[1]) != "write")) {
    std::fprintf(stderr, "usage: hold_file read|write PATH MILLISECONDS\n");
    return 2;
  }
  const bool write = std::string_view(argv[1]) == "write";
  const std::string_view ms_text = argv[3];
  std::uint32_t ms = 0;
  const auto parsed = std::from_chars(ms_text.data(), ms_text.data() + ms_text.size(), ms);
  if (parsed.ec != std::errc() || parsed.ptr != ms_text.data() + ms_text.size()) {
    std::fprintf(stderr, "hold_file: not a number of milliseconds: %s\n", argv[3]);
    return 2;
  }
  const std::u16string path = PathFromNative(argv[2]);
  std::string content;
  if (write) {
    if (OsStatus status = ReadWhole(path, &content); !status.ok()) return Fail(status);
  }
  FileHandle file = kNoFile;
  const OsStatus status = write ? Files().CreateForWriting(path, &file) : Files().OpenForReading(path, &file);
  if (!status.ok()) return Fail(status);
  if (write) {
    std::uint32_t written = 0;
    if (OsStatus wrote = Files().Write(file, content.data(), static_cast<std::uint32_t>(content.size()), &written);
        !wrote.ok()) {
      return Fail(wrote);
    }
  }
  std::printf("held\n");
  std::fflush(stdout);
  Files().Sleep(ms);
  Files().Close(file);
  return 0;
}
