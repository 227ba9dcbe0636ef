// File: text/sink.h - where a text goes, piece by piece: the files, the reports and standard output
// take their text through it, so that the text of a large document never exists whole.
#pragma once

#include <string>
#include <string_view>

namespace recaster::text {

// Where a text goes, piece by piece: Write takes the next bytes and returns false to refuse them (and
// everything after them).
class TextSink {
 public:
  virtual bool Write(std::string_view bytes) = 0;

 protected:
  ~TextSink() = default;
};

// A sink that keeps the whole text.
class StringSink final : public TextSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

}  // namespace recaster::text
