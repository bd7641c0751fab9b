// Reading the registry file's text into a RegistryDocument. The text is untrusted: any bytes give
// either a document or a line number and a reason, never a crash.
#pragma once

#include <string>

#include "platform/RegistryDocument.h"

namespace velmora {

struct RegistryParseError {
  int line = 0;  // 1-based; the line where the fault was found
  std::string reason;

  std::string describe() const;  // "line 3: unterminated quoted text"
};

// Parses the text of a registry file. An empty text is an empty registry. Keys written twice are
// merged into the first (later values win), ';' comment lines are skipped, lines may end in CR LF.
// On failure returns false, fills error and leaves document untouched.
bool parseRegistryText(const std::string& text, RegistryDocument& document,
                       RegistryParseError& error);

}  // namespace velmora
