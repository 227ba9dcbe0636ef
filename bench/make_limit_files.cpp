// Writes the files that scripts/bench-limits.sh runs the commands on: every crafted file and every
// hostile file of the benchmark, at the size limit (the crafted ones 1 KiB under it, which their shapes
// overshoot by a few bytes), one file each, and an index of their names.
//   make_limit_files FOLDER    writes FOLDER/NN.cfg and FOLDER/index.tsv ("NN.cfg<TAB>name" lines)
#include <cstdio>
#include <string>

#include "bench/bench_files.h"
#include "tests/support/xml_writer.h"
#include "xml/xml_document.h"

namespace {

bool Write(const std::string& folder, std::size_t number, const std::string& name, const std::string& bytes,
           std::FILE* index) {
  // Appended in steps: GCC 12 at -O3 warns falsely (-Wrestrict) of a chain of operator+ here.
  std::string file = number < 10 ? "0" : "";
  file += std::to_string(number);
  file += ".cfg";
  if (!recaster::testing::WriteBytesToFile(folder + "/" + file, bytes)) {
    std::fprintf(stderr, "make_limit_files: cannot write %s/%s\n", folder.c_str(), file.c_str());
    return false;
  }
  std::fprintf(index, "%s\t%s\n", file.c_str(), name.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_limit_files FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::FILE* index = std::fopen((folder + "/index.tsv").c_str(), "w");
  if (index == nullptr) {
    std::fprintf(stderr, "make_limit_files: cannot write %s/index.tsv\n", folder.c_str());
    return 1;
  }
  std::size_t number = 0;
  bool ok = true;
  for (const recaster::bench::HostileFile& file : recaster::bench::LimitFiles()) {
    ok = ok && Write(folder, ++number, file.name, file.make(), index);
  }
  for (const auto& file : recaster::bench::CraftedFiles(recaster::xml::kMaxFileSize - 1024)) {
    ok = ok && Write(folder, ++number, "crafted: " + file.name, file.bytes, index);
  }
  return std::fclose(index) == 0 && ok ? 0 : 1;
}
