// File: tests/xml_test_files.h - the bytes of version 5 settings files, built from text for tests.
#pragma once

#include <string>
#include <string_view>

namespace recaster::xml::test_files {

// The fixed declaration every settings file starts with, after its byte-order mark.
inline constexpr std::u16string_view kDeclaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>";

// The UTF-16 little-endian bytes of `text`, without a byte-order mark.
inline std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// A whole settings file: byte-order mark FF FE, `declaration`, then `text`.
inline std::string SettingsFile(std::u16string_view text, std::u16string_view declaration = kDeclaration) {
  return std::string("\xFF\xFE") + Utf16Le(declaration) + Utf16Le(text);
}

}  // namespace recaster::xml::test_files
