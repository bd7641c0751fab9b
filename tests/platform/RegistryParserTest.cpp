#include <random>
#include <string>

#include <gtest/gtest.h>

#include "platform/RegistryParser.h"

using namespace velmora;

namespace {

RegistryDocument parseOrFail(const std::string& text) {
  RegistryDocument document;
  RegistryParseError error;
  EXPECT_TRUE(parseRegistryText(text, document, error)) << error.describe();
  return document;
}

}  // namespace

TEST(RegistryParserTest, ReadsKeysNamedDefaultAndRawValues) {
  const std::string text =
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment line\n"
      "[HKEY_CLASSES_ROOT\\clsid\\{A}]  \n"
      "@=\"C:\\\\dir \\\"quoted\\\"\"\n"
      "\"Name\"=\"value\"\t\n"
      "\"Flags\"=dword:00000001\n"
      "\"Blob\"=hex:01,02,\\\n"
      "  03,04\n"
      "\n\n"
      "[HKEY_CURRENT_USER\\Other]\n";
  const RegistryDocument document = parseOrFail(text);
  ASSERT_EQ(document.getKeys().size(), 2u);
  const RegistryKey& key = document.getKeys()[0];
  EXPECT_EQ(key.path, "HKEY_CLASSES_ROOT\\clsid\\{A}");
  ASSERT_EQ(key.values.size(), 4u);
  EXPECT_EQ(key.values[0], (RegistryValue{true, "", true, "C:\\dir \"quoted\""}));
  EXPECT_EQ(key.values[1], (RegistryValue{false, "Name", true, "value"}));
  EXPECT_EQ(key.values[2], (RegistryValue{false, "Flags", false, "dword:00000001"}));
  EXPECT_EQ(key.values[3], (RegistryValue{false, "Blob", false, "hex:01,02,\\\n  03,04"}));
  EXPECT_EQ(document.getKeys()[1].path, "HKEY_CURRENT_USER\\Other");
  EXPECT_EQ(formatRegistryText(document),
            "REGEDIT4\n\n"
            "[HKEY_CLASSES_ROOT\\clsid\\{A}]\n"
            "@=\"C:\\\\dir \\\"quoted\\\"\"\n"
            "\"Name\"=\"value\"\n"
            "\"Flags\"=dword:00000001\n"
            "\"Blob\"=hex:01,02,\\\n  03,04\n"
            "\n"
            "[HKEY_CURRENT_USER\\Other]\n"
            "\n");
}

TEST(RegistryParserTest, EmptyTextIsAnEmptyRegistry) {
  EXPECT_TRUE(parseOrFail("").getKeys().empty());
  EXPECT_TRUE(parseOrFail("\xEF\xBB\xBFREGEDIT4").getKeys().empty());
}

TEST(RegistryParserTest, RepeatedKeysMergeIntoTheFirst) {
  const RegistryDocument document = parseOrFail(
      "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"1\"\n\"x\"=\"old\"\n\n[HKEY_CLASSES_ROOT\\B]\n\n"
      "[hkey_classes_root\\a]\n\"X\"=\"new\"\n");
  ASSERT_EQ(document.getKeys().size(), 2u);
  const RegistryKey& key = document.getKeys()[0];
  EXPECT_EQ(key.path, "HKEY_CLASSES_ROOT\\A");
  ASSERT_EQ(key.values.size(), 2u);
  EXPECT_EQ(key.values[1].data, "new");
}

TEST(RegistryParserTest, MalformedTextGivesLineAndReason) {
  const struct {
    std::string text;
    int line;
    const char* reason;
  } cases[] = {
      {"REGEDIT5\n", 1, "REGEDIT4"},
      {"\nREGEDIT4\n", 1, "REGEDIT4"},
      {"REGEDIT4\n\n@=\"x\"\n", 3, "before the first key"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A\n", 3, "']'"},
      {"REGEDIT4\n\n[]\n", 3, "empty key name"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\\\A]\n", 3, "empty key name component"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A\\]\n", 3, "empty key name component"},
      {"REGEDIT4\n\n[-HKEY_CLASSES_ROOT\\A]\n", 3, "deletion"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"open\n", 4, "unterminated"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"ends in backslash\\\"\n", 4, "unterminated"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"bad \\n escape\"\n", 4, "escape"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"x\" trailing\n", 4, "after the closing quote"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\n", 4, "missing value data"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@\"x\"\n", 4, "'='"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n\"name\"\n", 4, "'='"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\nname=\"x\"\n", 4, "at the start of the line"},
      {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n\"b\"=hex:01,\\\n", 4, "past the end"},
      {std::string("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"a") + '\0' + "b\"\n", 4, "NUL"},
  };
  for (const auto& c : cases) {
    RegistryDocument document;
    document.createKey("untouched");
    RegistryParseError error;
    EXPECT_FALSE(parseRegistryText(c.text, document, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_NE(error.reason.find(c.reason), std::string::npos) << c.text << " -> " << error.reason;
    EXPECT_NE(document.findKey("UNTOUCHED"), nullptr) << c.text;
  }
}

// Any document the model can hold survives formatting and parsing unchanged: names and texts of
// arbitrary bytes (line breaks and NUL aside), quotes and backslashes in every position.
TEST(RegistryParserTest, FormatThenParseGivesTheSameDocument) {
  std::mt19937 random(20240607);
  const std::string alphabet = "\\\"[]@=;ab \t-\x7F\x80\xFF\x01";
  auto randomText = [&](size_t maxLength) {
    std::string text;
    const size_t length = random() % (maxLength + 1);
    for (size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    return text;
  };
  for (int round = 0; round < 300; ++round) {
    RegistryDocument document;
    const int keyCount = static_cast<int>(random() % 4);
    for (int k = 0; k < keyCount; ++k) {
      std::string path = "HKEY_CLASSES_ROOT\\" + std::to_string(k) + randomText(6);
      while (path.back() == '\\' || path.back() == ' ' || path.back() == '\t') path.pop_back();
      if (path.find("\\\\") != std::string::npos) continue;
      RegistryKey& key = document.createKey(path);
      if (random() % 2) key.setDefaultValue(randomText(8));
      for (int v = 0; v < static_cast<int>(random() % 3); ++v)
        key.setValue(
            RegistryValue{false, "n" + std::to_string(v) + randomText(4), true, randomText(8)});
    }
    const std::string text = formatRegistryText(document);
    RegistryDocument reparsed;
    RegistryParseError error;
    ASSERT_TRUE(parseRegistryText(text, reparsed, error)) << error.describe() << "\n" << text;
    EXPECT_EQ(reparsed, document) << text;
  }
}
