// Text-to-number conversion as the program's validators use it: leading blanks,
// an optional sign, decimal digits or a "$"/"0x" hexadecimal number, nothing after,
// within 32 bits.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool TryStrToInt(std::string_view text, int& value);
// Raises EConvertError "'<text>' is not a valid integer value".
int StrToInt(std::string_view text);
int StrToIntDef(std::string_view text, int def);

// Only the decimal digits '0'..'9', at least one.
bool IsDecimalDigits(std::string_view text);

}  // namespace platform
