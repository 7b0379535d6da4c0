// Windows-1252 <-> UTF-8 with our own table: every byte round-trips, the five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) included, which map to the
// C1 control characters of the same number as Windows does.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace livrana::platform {

std::string Cp1252ToUtf8(std::string_view text);
// Nothing when the text is not UTF-8 or holds a character that Windows-1252 lacks.
std::optional<std::string> Utf8ToCp1252(std::string_view text);
// Upper case of a Windows-1252 letter (ASCII, Latin-1 and the letters of 0x80-0x9F).
unsigned char FoldCase(unsigned char c);

}  // namespace livrana::platform
