// Conversion between GUIDs and their registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <string>

#include "velmora/Types.h"

namespace velmora {

// The 38-character registry form with upper-case hexadecimal digits.
std::string guidToString(const GUID& guid);
// Parses exactly the 38-character registry form (digits in either case). On failure returns false
// and leaves guid untouched.
bool guidFromString(const std::string& text, GUID& guid);

}  // namespace velmora
