// The configuration tree's JSON text, written piece by piece into a sink: the text of a large tree
// never exists whole unless the sink keeps it. The bytes are those of Boost's pretty JSON writer (its
// layout and escapes), made without a copy per value: runs that need no escape are copied at once.
#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include <boost/property_tree/json_parser.hpp>

#include "convert/convert.h"

namespace recaster::convert {
namespace {

namespace pt = boost::property_tree;

constexpr char kNotJson[] = "ptree contains data that cannot be represented in JSON format";
constexpr std::size_t kPiece = 64 * 1024;

// What each byte becomes inside a JSON string: 0 itself, 'u' a \u00XX escape, else a backslash and
// that letter. Bytes of 0x80 and above pass (UTF-8), as do 0x7F and every other printable ASCII byte.
constexpr std::array<char, 256> MakeEscapes() {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\f'] = 'f';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  table['/'] = '/';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}
constexpr std::array<char, 256> kEscapes = MakeEscapes();

// Gathers the text into pieces of kPiece bytes for the sink; once the sink refuses one, the rest goes
// nowhere.
class PieceWriter {
 public:
  explicit PieceWriter(TextSink& sink) : sink_(sink), buffer_(new char[kPiece]) {}

  void Put(std::string_view bytes) {
    while (!bytes.empty()) {
      if (used_ == kPiece) Flush();
      const std::size_t take = std::min(bytes.size(), kPiece - used_);
      std::memcpy(buffer_.get() + used_, bytes.data(), take);
      used_ += take;
      bytes.remove_prefix(take);
    }
  }
  void Put(char c) {
    if (used_ == kPiece) Flush();
    buffer_[used_++] = c;
  }
  void Blanks(std::size_t count) {
    for (; count != 0; --count) Put(' ');
  }
  // The text between quotes, escaped: runs without an escape are copied at once.
  void Quoted(std::string_view text) {
    Put('"');
    const char* const end = text.data() + text.size();
    const char* run = text.data();
    for (const char* p = run; p != end; ++p) {
      const char escape = kEscapes[static_cast<unsigned char>(*p)];
      if (escape == 0) continue;
      if (p != run) Put(std::string_view(run, static_cast<std::size_t>(p - run)));
      run = p + 1;
      if (kPiece - used_ < 6) Flush();
      char* out = buffer_.get() + used_;
      out[0] = '\\';
      if (escape != 'u') {
        out[1] = escape;
        used_ += 2;
      } else {
        const auto c = static_cast<unsigned char>(*p);
        out[1] = 'u';
        out[2] = '0';
        out[3] = '0';
        out[4] = kHex[c >> 4];
        out[5] = kHex[c & 0xF];
        used_ += 6;
      }
    }
    if (run != end) Put(std::string_view(run, static_cast<std::size_t>(end - run)));
    Put('"');
  }
  // Hands over what is left; true when the sink took every piece.
  bool Finish() {
    Flush();
    return ok_;
  }

 private:
  static constexpr char kHex[] = "0123456789ABCDEF";

  void Flush() {
    if (ok_ && used_ != 0) ok_ = sink_.Write(std::string_view(buffer_.get(), used_));
    used_ = 0;
  }

  TextSink& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

bool AllUnnamed(const tree::ConfigTree& node) {
  for (const auto& child : node) {
    if (!child.first.empty()) return false;
  }
  return true;
}

// A node at `level` (the root is 0): a value, an array (every child unnamed) or an object; the root is
// always an object. The tree's depth is the mapping's, a handful of levels.
void WriteNode(const tree::ConfigTree& node, std::size_t level, PieceWriter& out) {
  if (level > 0 && node.empty()) return out.Quoted(node.data());
  const bool array = level > 0 && AllUnnamed(node);
  out.Put(array ? "[\n" : "{\n");
  for (auto it = node.begin(); it != node.end(); ++it) {
    out.Blanks(4 * (level + 1));
    if (!array) {
      out.Quoted(it->first);
      out.Put(": ");
    }
    WriteNode(it->second, level + 1, out);
    if (std::next(it) != node.end()) out.Put(',');
    out.Put('\n');
  }
  out.Blanks(4 * level);
  out.Put(array ? ']' : '}');
}

class StringSink final : public TextSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

}  // namespace

void (*g_before_step)(ConversionStep) = nullptr;

void BeginStep(ConversionStep step) {
  if (g_before_step != nullptr) g_before_step(step);
}

std::string JsonProblem(const tree::ConfigTree& tree) {
  // The root holds no value and no node holds both a value and children. Walked without recursion.
  if (!tree.data().empty()) return kNotJson;
  std::vector<const tree::ConfigTree*> pending{&tree};
  while (!pending.empty()) {
    const tree::ConfigTree* node = pending.back();
    pending.pop_back();
    if (!node->data().empty() && !node->empty()) return kNotJson;
    for (const auto& child : *node) pending.push_back(&child.second);
  }
  return std::string();
}

bool WriteJson(const tree::ConfigTree& tree, TextSink& sink) {
  BeginStep(ConversionStep::kJsonText);
  PieceWriter out(sink);
  WriteNode(tree, 0, out);
  out.Put('\n');
  return out.Finish();
}

JsonResult TryConfigTreeToJson(const tree::ConfigTree& tree) {
  if (std::string problem = JsonProblem(tree); !problem.empty()) return {std::string(), std::move(problem)};
  StringSink sink;
  static_cast<void>(WriteJson(tree, sink));  // a string takes every piece
  return {std::move(sink.text), std::string()};
}

std::string ConfigTreeToJson(const tree::ConfigTree& tree) {
  JsonResult json = TryConfigTreeToJson(tree);
  if (!json.ok()) throw pt::json_parser_error(json.error, "", 0);
  return std::move(json.text);
}

}  // namespace recaster::convert
