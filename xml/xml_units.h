// File: xml/xml_units.h - internal to xml/: a view of UTF-16 code units kept as bytes in the
// machine's order, so the loader reads a file's bytes where they lie, with a search for one code unit
// that looks at eight at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace recaster::xml {

inline constexpr std::size_t kNoPosition = std::u16string_view::npos;

// Compares a few words at a time; names and texts are short, and a call to memcmp costs more.
inline bool SameBytes(const char* a, const char* b, std::size_t bytes) {
  for (; bytes >= 8; a += 8, b += 8, bytes -= 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return false;
  }
  for (; bytes >= 2; a += 2, b += 2, bytes -= 2) {
    std::uint16_t x, y;
    std::memcpy(&x, a, 2);
    std::memcpy(&y, b, 2);
    if (x != y) return false;
  }
  return true;
}

// The code units [0, size) at `bytes`, two bytes each in the machine's order. Units are read with
// memcpy, so the bytes may belong to any object.
class Units {
 public:
  Units() = default;
  Units(const char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  static Units Of(std::u16string_view text) { return {reinterpret_cast<const char*>(text.data()), text.size()}; }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* bytes() const { return bytes_; }
  char16_t operator[](std::size_t i) const {
    char16_t unit;
    std::memcpy(&unit, bytes_ + 2 * i, 2);
    return unit;
  }
  // Units [pos, pos + count), cut at the end like std::u16string_view::substr; pos <= size().
  Units Sub(std::size_t pos, std::size_t count = kNoPosition) const {
    return {bytes_ + 2 * pos, count < size_ - pos ? count : size_ - pos};
  }
  // Where `part`, a view into this one, starts.
  std::size_t OffsetOf(Units part) const { return static_cast<std::size_t>(part.bytes_ - bytes_) / 2; }

  // The first `unit` at or after `from`, or kNoPosition.
  std::size_t Find(char16_t unit, std::size_t from = 0) const {
    std::size_t i = from;
    if (i < size_ && (*this)[i] == unit) return i;  // tags often follow each other directly
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    for (; i + 8 <= size_; i += 8) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes_ + 2 * i));
      const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, wanted)));
      if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits)) / 2;
    }
#endif
    for (; i < size_; ++i) {
      if ((*this)[i] == unit) return i;
    }
    return kNoPosition;
  }
  // The first `first` at or after `from` that `second` follows, or kNoPosition.
  std::size_t Find(char16_t first, char16_t second, std::size_t from) const {
    for (std::size_t i = Find(first, from); i != kNoPosition; i = Find(first, i + 1)) {
      if (i + 1 < size_ && (*this)[i + 1] == second) return i;
    }
    return kNoPosition;
  }

  bool Equals(const char16_t* units, std::size_t count) const {
    return count == size_ && SameBytes(reinterpret_cast<const char*>(units), bytes_, 2 * size_);
  }
  bool operator==(std::u16string_view text) const { return Equals(text.data(), text.size()); }
  bool operator==(Units other) const { return size_ == other.size_ && SameBytes(bytes_, other.bytes_, 2 * size_); }
  bool StartsWith(std::u16string_view text) const { return text.size() <= size_ && Sub(0, text.size()) == text; }

  void CopyTo(char16_t* out) const {
    if (size_ != 0) std::memcpy(out, bytes_, 2 * size_);
  }
  void AppendTo(std::u16string* out) const {
    const std::size_t old = out->size();
    out->resize(old + size_);
    CopyTo(out->data() + old);
  }
  std::u16string str() const {
    std::u16string text;
    AppendTo(&text);
    return text;
  }

 private:
  const char* bytes_ = nullptr;
  std::size_t size_ = 0;
};

inline bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Without blanks, tabs, CRs and LFs at either end.
inline Units Trim(Units text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  while (end > begin && IsXmlSpace(text[end - 1])) --end;
  return text.Sub(begin, end - begin);
}

// `text` with the entities for >, <, " and & decoded, into `out`. One pass gives what four passes in that
// order give: references never overlap, and each pass puts in a character that no reference holds.
inline void DecodeEntities(Units text, std::u16string* out) {
  struct Entity {
    std::u16string_view name;
    char16_t unit;
  };
  static constexpr Entity kEntities[] = {{u"gt;", u'>'}, {u"lt;", u'<'}, {u"quot;", u'"'}, {u"amp;", u'&'}};
  out->clear();
  std::size_t done = 0;
  for (std::size_t amp = text.Find(u'&'); amp != kNoPosition; amp = text.Find(u'&', amp + 1)) {
    for (const Entity& entity : kEntities) {
      if (!text.Sub(amp + 1).StartsWith(entity.name)) continue;
      text.Sub(done, amp - done).AppendTo(out);
      out->push_back(entity.unit);
      done = amp + 1 + entity.name.size();
      amp = done - 1;
      break;
    }
  }
  text.Sub(done).AppendTo(out);
}

}  // namespace recaster::xml
