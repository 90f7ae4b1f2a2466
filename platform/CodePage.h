// Site texts and program texts are 8-bit strings in the ANSI code page (Windows-1252),
// as the panel and the site files hold them; only the user interface converts.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 of an ANSI text.
std::string ToUnicode(std::string_view ansi);
// ANSI of a UTF-8 text; characters the code page lacks, and malformed UTF-8, become '?'.
std::string FromUnicode(std::string_view utf8);

// Upper-casing of the code page (letters with accents included).
char AnsiUpperChar(char c);
std::string AnsiUpperCase(std::string_view text);

// Blanks and control characters (bytes up to 32) removed at both ends.
std::string Trim(std::string_view text);

}  // namespace platform
