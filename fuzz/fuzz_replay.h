// File: fuzz/fuzz_replay.h - the plain-program main of a fuzz target: replays the files and folders on
// its command line through LLVMFuzzerTestOneInput, for compilers without libFuzzer and for the corpus
// replays among the tests. Included at the end of a target built with RECASTER_FUZZ_LINKMAIN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace recaster::fuzz {

// Runs every regular file named or held (one level) by a folder of `argv`; 0 when at least one ran
// and every file could be read. A fault in the target stops the program as it would under the fuzzer.
inline int ReplayMain(const char* target, int argc, char** argv) {
  int failures = 0;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(path);
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        std::cerr << target << ": cannot open " << file << "\n";
        ++failures;
        continue;
      }
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::cout << target << ": replayed " << replayed << " inputs\n";
  return failures == 0 && replayed > 0 ? 0 : 1;
}

}  // namespace recaster::fuzz
