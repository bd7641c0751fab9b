#include <gtest/gtest.h>

#include "velmora/Identifiers.h"

#include "platform/Guid.h"

using namespace velmora;

TEST(GuidTest, FormatsRegistryFormAndParsesItBack) {
  const struct {
    GUID guid;
    const char* text;
  } cases[] = {
      {CLSID_VelmoraDatabase, "{6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A10}"},
      {IID_IVelmoraDatabase, "{D47A2C91-5E3B-4F68-9B0C-7E1A4D2F6C35}"},
      {IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
      {{0xFFFFFFFF, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
       "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(guidToString(c.guid), c.text);
    GUID parsed{};
    ASSERT_TRUE(guidFromString(c.text, parsed)) << c.text;
    EXPECT_EQ(parsed, c.guid) << c.text;
  }
}

TEST(GuidTest, ParsesLowerCaseDigits) {
  GUID parsed{};
  ASSERT_TRUE(guidFromString("{6b1e3f2a-9c4d-4e7b-a5d1-3f8c2b7e9a10}", parsed));
  EXPECT_EQ(parsed, CLSID_VelmoraDatabase);
}

TEST(GuidTest, RejectsMalformedTextAndLeavesGuidAlone) {
  const char* malformed[] = {
      "",
      "6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A10",     // no braces
      "{6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A10",    // no closing brace
      "{6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A1}",    // a digit short
      "{6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A100}",  // a digit long
      "{6B1E3F2A-9C4D-4E7B-A5D13F8C2B7E9A10-}",   // hyphen misplaced
      "{6B1E3F2A_9C4D-4E7B-A5D1-3F8C2B7E9A10}",   // not a hyphen
      "{6B1E3F2G-9C4D-4E7B-A5D1-3F8C2B7E9A10}",   // not hexadecimal
      "{6B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A1 }",   // blank digit
      "{+B1E3F2A-9C4D-4E7B-A5D1-3F8C2B7E9A10}",   // sign
  };
  for (const char* text : malformed) {
    GUID guid = IID_IUnknown;
    EXPECT_FALSE(guidFromString(text, guid)) << text;
    EXPECT_EQ(guid, IID_IUnknown) << text;
  }
}
