// File: fleet/earlier_index.h - inside the fleet: what the output folder's earlier index.json says each
// converted server was called and which files it made, read as a stream so that a large index is never
// held whole.
#pragma once

#include <string>
#include <vector>

namespace recaster::fleet {

// One converted source of the earlier index: its absolute path, its NAME and its files' names (UTF-8).
struct EarlierSource {
  std::string absolute_path;
  std::string name;
  std::vector<std::string> files;  // json, report_html and report_json, as the index names them
};

// Reads the sources of the index at `path`: true with them, or false with why the file is no index
// that can be read.
bool ReadEarlierIndex(const std::u16string& path, std::vector<EarlierSource>* sources, std::string* problem);

}  // namespace recaster::fleet
