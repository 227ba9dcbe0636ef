// Test helper: writes a file with WriteTextFile and stops half way through the write, so that a test
// can interrupt it there.
//   slow_write PATH BYTES MILLISECONDS [SIZE_LIMIT]
// Writes BYTES bytes of "x", under a file size limit of SIZE_LIMIT bytes when given. Prints "temporary
// TEMP" once the temporary file exists and "half" once half of the text is in it, then waits
// MILLISECONDS before writing the rest; prints "result CODE" and ends with WriteTextFile's code. A
// signal that dumps core dumps none. (POSIX only: the limits; Windows ignores SIZE_LIMIT.)
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "platform/platform.h"
#include "tests/support/forwarding_files.h"

namespace {

using namespace recaster::platform;

std::uint32_t Number(std::string_view text) {
  std::uint32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// The system's file calls, with a pause in the middle of the write.
class PausingFiles final : public recaster::test::ForwardingFiles {
 public:
  explicit PausingFiles(std::uint32_t pause_ms) : pause_ms_(pause_ms) {}

  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override {
    const std::uint32_t half = size / 2;
    std::uint32_t first = 0;
    if (OsStatus status = real_.Write(file, data, half, &first); !status.ok()) return status;
    std::printf("half\n");
    std::fflush(stdout);
    real_.Sleep(pause_ms_);
    std::uint32_t rest = 0;
    const OsStatus status = real_.Write(file, static_cast<const char*>(data) + half, size - half, &rest);
    *written = first + rest;
    return status;
  }
  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary, FileHandle* file) override {
    const OsStatus status = real_.CreateTemporary(destination, temporary, file);
    if (status.ok()) {
      std::printf("temporary %s\n", PathToNative(*temporary).c_str());
      std::fflush(stdout);
    }
    return status;
  }

 private:
  std::uint32_t pause_ms_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: slow_write PATH BYTES MILLISECONDS [SIZE_LIMIT]\n");
    return 2;
  }
#ifndef _WIN32
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  if (argc == 5) {
    const rlimit size_limit{Number(argv[4]), Number(argv[4])};
    ::setrlimit(RLIMIT_FSIZE, &size_limit);
  }
#endif
  PausingFiles files(Number(argv[3]));
  ScopedFileSystem scope(files);
  const std::string text(Number(argv[2]), 'x');
  const SystemError code = recaster::convert::WriteTextFile(PathFromNative(argv[1]), text);
  std::printf("result %u\n", static_cast<unsigned>(code));
  return static_cast<int>(code);
}
