// File: xml/xml_text.h - how settings files hold integers and flags as element text: reading them
// back and writing them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace recaster::xml {

// Reads a base-10 integer as the settings files store it: leading white space, an optional sign,
// digits up to the first other character; no digits give 0, values beyond 32 bits the nearest limit.
std::int32_t ParseXmlInt(std::u16string_view text);

// True exactly when the text reads as the integer 1 (" 1" and "01" too; "true", "2" and "" do not).
bool ParseXmlBool(std::u16string_view text);

// The integer in signed decimal: digits only, "-" before a negative value, no padding ("514", "-1").
std::u16string FormatXmlInt(std::int32_t value);

// "1" for true, "0" for false.
std::u16string_view FormatXmlBool(bool value);

}  // namespace recaster::xml
