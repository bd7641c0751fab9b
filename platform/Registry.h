// The class registry: keys under HKEY_CLASSES_ROOT kept in one text file (see RegistryDocument.h
// for its form). Keys are given as paths below the root, e.g. "clsid\\{...}\\InprocServer32"; key
// names compare without regard to ASCII case. Safe to call from several threads and processes.
#pragma once

#include <string>

#include "xml/FileEnv.h"

namespace velmora {

// $VELMORA_REGISTRY when set and not empty, else ${XDG_CONFIG_HOME:-$HOME/.config}/velmora/
// registry.reg (a relative XDG_CONFIG_HOME is ignored). "" when no location can be found.
std::string registryFilePath();

// Creates the key (and the file and its directories as needed) and sets its default value. Other
// keys and values stay as they were. The update is atomic (atomicReplace through env) and
// serialised by an exclusive lock on "<file>.lock", so concurrent
// updates from several processes lose nothing. Fails, changing nothing, when the key or value is
// unusable (empty key, empty name component, control characters in the key, a line break or NUL
// in the value), when the existing file is malformed, and on any file error. why, when not null,
// receives the reason of a failure.
bool registrySetDefaultValue(const std::string& key, const std::string& value,
                             std::string* why = nullptr, FileEnv& env = defaultFileEnv());

// Deletes exactly that key with its values; its subkeys, being keys of their own, stay. False
// when the key is absent and on the failures of registrySetDefaultValue.
bool registryDeleteKey(const std::string& key, std::string* why = nullptr,
                       FileEnv& env = defaultFileEnv());

// Reads a key's default value. False when the key or its default value is absent, when the value
// is not a string, and when the file is unreadable or malformed. A missing file is an empty
// registry.
bool registryGetDefaultValue(const std::string& key, std::string& value,
                             std::string* why = nullptr);

enum class RegistryLookup { Found, Absent, Failed };

// registryGetDefaultValue telling an absent key or value (Absent) from an unreadable or malformed
// file (Failed).
RegistryLookup registryLookupDefaultValue(const std::string& key, std::string& value,
                                          std::string* why = nullptr);

// Checks that the registry file can be read and parsed (a missing file is fine).
bool registryCheckFile(std::string* why = nullptr);

}  // namespace velmora
