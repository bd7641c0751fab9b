#include "platform/RegistryDocument.h"

#include <algorithm>

namespace velmora {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool operator==(const RegistryValue& a, const RegistryValue& b) {
  return a.isDefault == b.isDefault && a.name == b.name && a.isString == b.isString &&
         a.data == b.data;
}

bool operator==(const RegistryKey& a, const RegistryKey& b) {
  return a.path == b.path && a.values == b.values;
}

bool operator==(const RegistryDocument& a, const RegistryDocument& b) {
  return a.getKeys() == b.getKeys();
}

bool sameRegistryName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

const RegistryValue* RegistryKey::findDefaultValue() const {
  for (const RegistryValue& value : values) {
    if (value.isDefault) return &value;
  }
  return nullptr;
}

void RegistryKey::setDefaultValue(const std::string& text) {
  RegistryValue value;
  value.isDefault = true;
  value.data = text;
  for (RegistryValue& existing : values) {
    if (existing.isDefault) {
      existing = value;
      return;
    }
  }
  values.insert(values.begin(), value);
}

void RegistryKey::setValue(const RegistryValue& value) {
  for (RegistryValue& existing : values) {
    if (existing.isDefault == value.isDefault &&
        (value.isDefault || sameRegistryName(existing.name, value.name))) {
      existing = value;
      return;
    }
  }
  values.push_back(value);
}

RegistryKey* RegistryDocument::findKey(const std::string& path) {
  for (RegistryKey& key : keys) {
    if (sameRegistryName(key.path, path)) return &key;
  }
  return nullptr;
}

const RegistryKey* RegistryDocument::findKey(const std::string& path) const {
  for (const RegistryKey& key : keys) {
    if (sameRegistryName(key.path, path)) return &key;
  }
  return nullptr;
}

RegistryKey& RegistryDocument::createKey(const std::string& path) {
  if (RegistryKey* existing = findKey(path)) return *existing;
  keys.push_back(RegistryKey{path, {}});
  return keys.back();
}

bool RegistryDocument::deleteKey(const std::string& path) {
  const auto found = std::find_if(keys.begin(), keys.end(), [&](const RegistryKey& key) {
    return sameRegistryName(key.path, path);
  });
  if (found == keys.end()) return false;
  keys.erase(found);
  return true;
}

std::string quoteRegistryText(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string formatRegistryText(const RegistryDocument& document) {
  std::string text = "REGEDIT4\n\n";
  for (const RegistryKey& key : document.getKeys()) {
    text += '[';
    text += key.path;
    text += "]\n";
    for (const RegistryValue& value : key.values) {
      text += value.isDefault ? std::string("@") : quoteRegistryText(value.name);
      text += '=';
      text += value.isString ? quoteRegistryText(value.data) : value.data;
      text += '\n';
    }
    text += '\n';
  }
  return text;
}

}  // namespace velmora
