// The class registry held in memory: keys in file order, each with its values, and the text form
// the registry file is written in.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// One value of a key. The default (unnamed) value has isDefault set and an empty name. A string
// value holds its decoded text; any other value (dword:, hex:, ...) is kept as the raw text after
// the '=' sign, continuation lines included, and written back unchanged.
struct RegistryValue {
  bool isDefault = false;
  std::string name;
  bool isString = true;
  std::string data;
};

bool operator==(const RegistryValue& a, const RegistryValue& b);

// A key: its full path as first written ("HKEY_CLASSES_ROOT\\clsid\\{...}") and its values in
// file order, at most one per name.
struct RegistryKey {
  std::string path;
  std::vector<RegistryValue> values;

  // The default value, or nullptr when the key has none; valid until the key's values change.
  const RegistryValue* findDefaultValue() const;
  // Replaces the default value, or adds it in front of the others.
  void setDefaultValue(const std::string& text);
  // Replaces the value of that name (compared without regard to ASCII case), or adds it last.
  void setValue(const RegistryValue& value);
};

bool operator==(const RegistryKey& a, const RegistryKey& b);

// Key paths compare without regard to ASCII case; bytes outside ASCII compare exactly.
bool sameRegistryName(const std::string& a, const std::string& b);

// The keys of a registry file, in file order, no two with the same path. Not thread-safe.
class RegistryDocument {
 public:
  const std::vector<RegistryKey>& getKeys() const { return keys; }
  // nullptr when absent; valid until the next key is added or deleted.
  RegistryKey* findKey(const std::string& path);
  const RegistryKey* findKey(const std::string& path) const;
  // The existing key of that path, or a new empty key appended at the end.
  RegistryKey& createKey(const std::string& path);
  // Removes exactly that key with its values (subkeys are separate keys and stay); false when
  // absent.
  bool deleteKey(const std::string& path);

 private:
  std::vector<RegistryKey> keys;
};

bool operator==(const RegistryDocument& a, const RegistryDocument& b);

// The file text: "REGEDIT4", a blank line, then every key as "[path]" and its values, each key
// followed by a blank line. Inside quotes a backslash is written \\ and a double quote \".
std::string formatRegistryText(const RegistryDocument& document);
// Quotes a text for the registry file.
std::string quoteRegistryText(const std::string& text);

}  // namespace velmora
