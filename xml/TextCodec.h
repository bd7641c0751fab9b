// TextCodec: the text rules the reader and the writer share: escaping, entity decoding and
// decimal numbers.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Appends text as element content: "&" and "<" escaped, and the ">" of "]]>" too, which markup
// may not hold.
void appendEscaped(std::string& out, std::string_view text);

// Appends text read between markup, decoded: "&amp", "&lt" and "&gt" (with or without their ";")
// become "&", "<" and ">"; any other "&" starts a run up to the next ";" that is kept without its
// ";". Every other byte, carriage returns included, is kept.
void decodeMarkup(std::string_view raw, std::string& out);

// The value of decimal text: leading whitespace skipped, an optional sign, then digits up to the
// first byte that is not one; 0 when no digit follows. A value beyond 32 bits gives the nearest
// 32-bit value.
int parseDecimal(std::string_view text);

}  // namespace velmora
