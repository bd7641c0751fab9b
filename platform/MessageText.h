// The platform's standard English texts for the result codes this system meets.
#pragma once

#include <string>

#include "velmora/Types.h"

namespace velmora {

// The text for code without a trailing line break; "" for a code without a text.
std::string messageText(HRESULT code);

}  // namespace velmora
