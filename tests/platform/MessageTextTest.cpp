#include <gtest/gtest.h>

#include "platform/ComRuntime.h"
#include "platform/MessageText.h"

using namespace velmora;

TEST(MessageTextTest, KnownCodesHaveTheirTextWithoutLineBreak) {
  const struct {
    HRESULT code;
    const char* text;
  } cases[] = {
      {E_UNEXPECTED, "Catastrophic failure"},
      {E_NOINTERFACE, "No such interface supported"},
      {E_INVALIDARG, "The parameter is incorrect."},
      {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
      {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
      {REGDB_E_CLASSNOTREG, "Class not registered"},
      {REGDB_E_READREGDB, "Could not read key from registry"},
      {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
      {CO_E_ERRORINDLL, "Error in the DLL"},
  };
  for (const auto& c : cases) EXPECT_EQ(messageText(c.code), c.text) << std::hex << c.code;
}

TEST(MessageTextTest, OtherCodesHaveEmptyText) {
  // Engine failures (0x80040200 + code) have no platform text; the client describes them itself.
  const HRESULT codes[] = {S_OK,
                           S_FALSE,
                           static_cast<HRESULT>(0x80040200u),
                           static_cast<HRESULT>(0x8004020Eu),
                           static_cast<HRESULT>(0x80040265u),
                           static_cast<HRESULT>(0x12345678),
                           -1};
  for (HRESULT code : codes) EXPECT_EQ(messageText(code), "") << std::hex << code;
}
