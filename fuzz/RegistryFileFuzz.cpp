// Feeds arbitrary bytes to the registry file parser. Whatever parses must format to a text that
// parses back to the same document.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "platform/RegistryParser.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RegistryDocument document;
  RegistryParseError error;
  if (!parseRegistryText(text, document, error)) {
    if (error.line < 1 || error.reason.empty()) abort();  // every failure says where and why
    return 0;
  }
  const std::string formatted = formatRegistryText(document);
  RegistryDocument reparsed;
  if (!parseRegistryText(formatted, reparsed, error) || !(reparsed == document) ||
      formatRegistryText(reparsed) != formatted)
    abort();
  return 0;
}
