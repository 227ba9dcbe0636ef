// The writing of the destination file and the default paths.
#include "convert/convert.h"
#include "convert/verify.h"

#include <functional>
#include <limits>
#include <string>

#include <boost/property_tree/json_parser/error.hpp>

namespace recaster::convert {
namespace {

// `file` in `sub_folder` (when not empty) of the special folder; the bare file name without the folder.
std::u16string DefaultPath(platform::SpecialFolder special, std::u16string_view sub_folder, std::u16string_view file) {
  std::u16string path;
  if (!platform::GetSpecialFolder(special, &path)) {
    path.clear();
  } else if (!sub_folder.empty()) {
    path = platform::JoinPath(path, sub_folder);
  }
  return platform::JoinPath(path, file);
}

// The conversion's write step begins with its first piece.
class FileSink final : public text::TextSink {
 public:
  FileSink(platform::FileSystem& files, platform::FileHandle file) : sink_(files, file) {}

  bool Write(std::string_view bytes) override {
    if (!begun_) {
      begun_ = true;
      BeginStep(ConversionStep::kWrite);
    }
    return sink_.Write(bytes);
  }
  SystemError result() const { return sink_.result(); }

 private:
  HandleSink sink_;
  bool begun_ = false;
};

// Gives the sink the text; false when the sink refused a piece.
using Producer = std::function<bool(text::TextSink&)>;

// Looks at the closed, flushed temporary before it takes the destination's place: kSuccess to place it.
using ReadBack = std::function<SystemError(const std::u16string& temporary)>;

// What the sink's refusal left, or kWriteFault when the text stopped without one.
SystemError Produce(const Producer& produce, FileSink& sink) {
  const bool done = produce(sink);
  if (sink.result() != platform::kSuccess) return sink.result();
  return done ? platform::kSuccess : kWriteFault;
}

// A device or FIFO has no content to keep: it is opened as it is and written.
SystemError WriteInPlace(platform::FileSystem& files, const std::u16string& path, const Producer& produce) {
  platform::FileHandle handle = platform::kNoFile;
  const platform::OsStatus opened =
      platform::RetryWhileShared(files, [&] { return files.CreateForWriting(path, &handle); });
  if (!opened.ok()) return opened.code;
  platform::ScopedFile file(files, handle);
  FileSink sink(files, file.get());
  return Produce(produce, sink);
}

// A temporary file that goes again unless it was put in place, however the writing ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(platform::FileSystem& files) : files_(files) {}
  ~TemporaryFile() {
    // Nothing more can be done for a temporary that will not go; the write has already failed.
    if (!path_.empty()) static_cast<void>(files_.Discard(path_));
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  std::u16string* path() { return &path_; }
  void Placed() { path_.clear(); }

 private:
  platform::FileSystem& files_;
  std::u16string path_;
};

// The temporary file, written, flushed and read back when asked, takes the destination's place.
SystemError ReplaceFile(platform::FileSystem& files, const std::u16string& destination, const Producer& produce,
                        const ReadBack& read_back) {
  TemporaryFile temporary(files);
  platform::FileHandle handle = platform::kNoFile;
  const platform::OsStatus created = files.CreateTemporary(destination, temporary.path(), &handle);
  if (!created.ok()) {
    temporary.Placed();  // nothing was created
    return created.code;
  }
  platform::ScopedFile file(files, handle);
  FileSink sink(files, file.get());
  SystemError result = Produce(produce, sink);
  if (result == platform::kSuccess) result = files.Flush(file.get()).code;
  file.reset();
  if (result != platform::kSuccess) return result;
  const std::u16string& path = *temporary.path();
  if (read_back && (result = read_back(path)) != platform::kSuccess) return result;
  result = platform::RetryWhileShared(files, [&] { return files.Replace(path, destination); }).code;
  if (result == platform::kSuccess) temporary.Placed();
  return result;
}

// The destination, as its kind asks, written with the text the producer gives; a device or FIFO, which
// cannot be read back, is refused when a read-back is asked for.
SystemError WriteFileWith(const std::u16string& path, const Producer& produce, const ReadBack& read_back = {}) {
  platform::FileSystem& files = platform::Files();
  platform::PathInfo destination;
  if (const platform::OsStatus found = files.Inspect(path, &destination); !found.ok()) return found.code;
  switch (destination.kind) {
    case platform::PathKind::kDirectory: return platform::kAccessDenied;  // as Windows refuses a folder
    case platform::PathKind::kOther:
      return read_back ? platform::kNotSupported : WriteInPlace(files, destination.target, produce);
    case platform::PathKind::kMissing:
    case platform::PathKind::kRegularFile: return ReplaceFile(files, destination.target, produce, read_back);
  }
  return platform::kInvalidParameter;
}

}  // namespace

bool HandleSink::Write(std::string_view bytes) {
  if (result_ != platform::kSuccess) return false;
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    result_ = kFileTooLarge;
    return false;
  }
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t written = 0;
  const platform::OsStatus status = files_.Write(file_, bytes.data(), size, &written);
  result_ = !status.ok() ? status.code : written == size ? platform::kSuccess : kWriteFault;
  return result_ == platform::kSuccess;
}

SystemError WriteTextFile(const std::u16string& path, std::string_view bytes) {
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return kFileTooLarge;
  return WriteFileWith(path, [bytes](text::TextSink& sink) { return sink.Write(bytes); });
}

SystemError WriteConfigFile(const tree::ConfigTree& tree, const std::u16string& path) {
  if (std::string problem = JsonProblem(tree); !problem.empty()) {
    throw boost::property_tree::json_parser::json_parser_error(problem, "", 0);
  }
  return WriteFileWith(path, [&tree](text::TextSink& sink) { return WriteJson(tree, sink); });
}

Verification WriteVerifiedConfigFile(const ConversionResult& conversion, const std::u16string& path) {
  const tree::ConfigTree& tree = conversion.tree;
  if (std::string problem = JsonProblem(tree); !problem.empty()) {
    throw boost::property_tree::json_parser::json_parser_error(problem, "", 0);
  }
  Verification verification;
  const SystemError code = WriteFileWith(
      path, [&tree](text::TextSink& sink) { return WriteJson(tree, sink); },
      [&](const std::u16string& temporary) {
        verification = VerifyFile(platform::Files(), temporary, conversion.plan);
        return verification.code;
      });
  if (code != verification.code) verification = {code, DescribeWriteError(code), 0, 0};
  return verification;
}

std::string DescribeWriteError(SystemError code) {
  switch (code) {
    case kWriteFault: return "the write ended before all of the text was written";
    case kFileTooLarge: return "the text is 4 GiB or more, too large to write in one request";
    case kNotAsPlanned: return "the file read back is not what was written";
    default: return platform::DescribeSystemError(code);
  }
}

std::u16string DefaultInputPath() {
  return DefaultPath(platform::SpecialFolder::kCommonAppData, u"Ornvale", u"ov_server_settings.cfg");
}

std::u16string DefaultOutputPath() {
  return DefaultPath(platform::SpecialFolder::kDocuments, u"", u"converted_ov_config.json");
}

}  // namespace recaster::convert
