// File: tests/support/xml_writer.h - writes an element tree as a version 5 settings file, so that tests
// can produce files for the loader (the product itself never writes XML).
#pragma once

#include <string>
#include <string_view>

#include "xml/xml_document.h"

namespace recaster::testing {

// The declaration every version 5 file starts with.
inline constexpr std::u16string_view kXmlDeclaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>";

// `text` with &, <, > and " replaced by their entities (& first), so the loader decodes it back.
std::u16string EscapeXml(std::u16string_view text);

// The element and its descendants: one element per line, indented by two blanks per level, lines
// ended by CR LF. Attributes in name order; an element without text and children is written <X/>,
// except the root, which the loader needs as a start and an end tag.
std::u16string WriteXmlText(const xml::XmlNode& root);

// A whole file: the UTF-16LE byte-order mark, the declaration, CR LF, then WriteXmlText(root).
std::string WriteXmlFile(const xml::XmlNode& root);

// Code units as UTF-16LE bytes.
std::string ToUtf16LeBytes(std::u16string_view text);

// Writes the bytes to the file at `path` (a narrow path), replacing it; false when that fails.
bool WriteBytesToFile(const std::string& path, std::string_view bytes);

}  // namespace recaster::testing
