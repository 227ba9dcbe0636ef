// File: report/text_out.h - the renderers' output: text handed to a sink in pieces of about 64 KiB as
// it is made, so that a report never exists whole, and a long value made visible piece by piece.
#pragma once

#include <algorithm>
#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "words/words.h"

namespace recaster::report {

inline constexpr std::size_t kOutPiece = std::size_t{1} << 16;

// Text written in order; the sink gets it in pieces of kOutPiece or more (the last shorter), and
// nothing more once it refused one. With `one_final_line_feed`, the line feeds at the end wait until
// other text follows, and Finish writes one in their place.
class TextOut {
 public:
  explicit TextOut(text::TextSink& sink, bool one_final_line_feed = false)
      : sink_(sink), one_final_line_feed_(one_final_line_feed) {}

  TextOut& operator+=(std::string_view text) {
    if (one_final_line_feed_) {
      const std::size_t end = text.find_last_not_of('\n') + 1;  // 0 when all line feeds
      if (end == 0) {
        held_ += text.size();
        return *this;
      }
      buffer_.append(held_, '\n');
      held_ = text.size() - end;
      text = text.substr(0, end);
    }
    buffer_ += text;
    if (buffer_.size() >= kOutPiece) Flush();
    return *this;
  }
  TextOut& operator+=(char c) { return *this += std::string_view(&c, 1); }
  TextOut& Repeat(std::size_t n, char c) {
    for (; n > 0; n -= std::min<std::size_t>(n, 64)) *this += std::string(std::min<std::size_t>(n, 64), c);
    return *this;
  }

  // Hands over what is waiting (one line feed for the held ones, with `one_final_line_feed`); false
  // when the sink refused a piece.
  bool Finish() {
    if (held_ != 0) buffer_ += '\n';
    held_ = 0;
    Flush();
    return ok_;
  }

  bool ok() const { return ok_; }

 private:
  void Flush() {
    if (ok_ && !buffer_.empty()) ok_ = sink_.Write(buffer_);
    buffer_.clear();
  }

  text::TextSink& sink_;
  bool one_final_line_feed_;
  std::size_t held_ = 0;
  std::string buffer_;
  bool ok_ = true;
};

// A stream's buffer whose text goes to a sink in pieces of kOutPiece, so that a long document is
// written as it is made; a long write goes out where it lies, after what is pending, without a copy.
// Nothing more goes to the sink once it refused a piece.
class SinkStreamBuf final : public std::streambuf {
 public:
  explicit SinkStreamBuf(text::TextSink& sink) : sink_(sink) {}
  // Hands over what is pending; false when the sink refused a piece.
  bool Flush() {
    Give(pending_);
    pending_.clear();
    return ok_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
    if (pending_.size() >= kOutPiece) Flush();
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const auto size = static_cast<std::size_t>(n);
    if (pending_.size() + size < kOutPiece) {
      pending_.append(s, size);
    } else if (Flush()) {
      Give(std::string_view(s, size));
    }
    return n;
  }

 private:
  void Give(std::string_view piece) {
    if (ok_ && !piece.empty()) ok_ = sink_.Write(piece);
  }

  text::TextSink& sink_;
  std::string pending_;
  bool ok_ = true;
};

// Calls `use` with the UTF-8 text a piece of about kOutPiece bytes at a time: each piece ends before a
// byte that starts a character, and never between CR and LF, so that the pieces made visible one by
// one and joined are the text made visible whole.
template <typename Use>
void ForTextPieces(std::string_view text, Use use) {
  while (!text.empty()) {
    std::size_t end = std::min(text.size(), kOutPiece);
    if (end < text.size()) {
      std::size_t start = end;  // a byte that no character before it runs past
      while (start + 4 > end && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
      if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80) end = start;
      if (text[end] == '\n' && text[end - 1] == '\r') --end;
    }
    use(text.substr(0, end));
    text.remove_prefix(end);
  }
}

// Calls `use` with the UTF-8 text made visible (words::VisibleView; a block keeps its line feeds and
// tabs), a piece at a time as ForTextPieces cuts it.
template <typename Use>
void ForVisiblePieces(std::string_view text, bool block, Use use) {
  std::string buffer;
  ForTextPieces(text, [&](std::string_view piece) { use(words::VisibleView(piece, block, buffer)); });
}

}  // namespace recaster::report
