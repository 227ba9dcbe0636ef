// The earlier index, streamed through Boost.JSON's parser: only the sources' paths and outputs are kept.
#include "fleet/earlier_index.h"

#include <boost/json/basic_parser_impl.hpp>

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace recaster::fleet {
namespace {

using boost::json::error_code;

// Keeps `sources[i].absolute_path` and `sources[i].outputs.{name,json,report_html,report_json}`.
class IndexHandler {
 public:
  static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

  std::vector<EarlierSource> sources;

  bool on_document_begin(error_code&) { return true; }
  bool on_document_end(error_code&) { return true; }
  bool on_array_begin(error_code&) { return Open('['); }
  bool on_array_end(std::size_t, error_code&) { return Close(); }
  bool on_object_begin(error_code&) {
    if (AtSource()) sources.emplace_back();
    return Open('{');
  }
  bool on_object_end(std::size_t, error_code&) { return Close(); }
  bool on_key_part(std::string_view part, std::size_t, error_code&) { return Append(key_, part); }
  bool on_key(std::string_view part, std::size_t, error_code&) {
    Append(key_, part);
    levels_.back().key = std::move(key_);
    key_.clear();
    return true;
  }
  bool on_string_part(std::string_view part, std::size_t, error_code&) { return Append(text_, part); }
  bool on_string(std::string_view part, std::size_t, error_code&) {
    Append(text_, part);
    Take();
    text_.clear();
    return true;
  }
  bool on_number_part(std::string_view, error_code&) { return true; }
  bool on_int64(std::int64_t, std::string_view, error_code&) { return true; }
  bool on_uint64(std::uint64_t, std::string_view, error_code&) { return true; }
  bool on_double(double, std::string_view, error_code&) { return true; }
  bool on_bool(bool, error_code&) { return true; }
  bool on_null(error_code&) { return true; }
  bool on_comment_part(std::string_view, error_code&) { return true; }
  bool on_comment(std::string_view, error_code&) { return true; }

 private:
  struct Level {
    char kind;
    std::string key;  // in an object, the key of the value being read
  };

  static bool Append(std::string& to, std::string_view part) {
    to += part;
    return true;
  }
  bool Open(char kind) {
    levels_.push_back({kind, {}});
    return true;
  }
  bool Close() {
    levels_.pop_back();
    return true;
  }
  // An element of the root's "sources" array is about to open.
  bool AtSource() const {
    return levels_.size() == 2 && levels_[0].key == "sources" && levels_[1].kind == '[';
  }
  void Take() {
    if (levels_.size() < 3 || levels_[0].key != "sources" || sources.empty()) return;
    EarlierSource& source = sources.back();
    if (levels_.size() == 3 && levels_[2].key == "absolute_path") source.absolute_path = text_;
    if (levels_.size() != 4 || levels_[2].key != "outputs") return;
    const std::string& key = levels_[3].key;
    if (key == "name") source.name = text_;
    if (key == "json" || key == "report_html" || key == "report_json") source.files.push_back(text_);
  }

  std::vector<Level> levels_;
  std::string key_;
  std::string text_;
};

}  // namespace

bool ReadEarlierIndex(const std::u16string& path, std::vector<EarlierSource>* sources, std::string* problem) {
  platform::FileSystem& files = platform::Files();
  platform::FileHandle handle = platform::kNoFile;
  if (const platform::OsStatus opened = files.OpenForReading(path, &handle); !opened.ok()) {
    *problem = opened.message;
    return false;
  }
  const platform::ScopedFile file(files, handle);
  auto parser = std::make_unique<boost::json::basic_parser<IndexHandler>>(boost::json::parse_options{});
  std::string chunk(std::size_t{1} << 16, '\0');
  for (;;) {
    std::uint32_t read = 0;
    if (const platform::OsStatus status =
            files.Read(handle, chunk.data(), static_cast<std::uint32_t>(chunk.size()), &read);
        !status.ok()) {
      *problem = status.message;
      return false;
    }
    error_code error;
    parser->write_some(read != 0, chunk.data(), read, error);
    if (error) {
      *problem = "not a JSON document: " + error.message();
      return false;
    }
    if (read == 0) break;
  }
  *sources = std::move(parser->handler().sources);
  return true;
}

}  // namespace recaster::fleet
