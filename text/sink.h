// File: text/sink.h - where a text goes, piece by piece: the files, the reports and standard output
// take their text through it, so that the text of a large document never exists whole.
#pragma once

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

}  // namespace recaster::text
