// A caller with global names of its own (as another component library or its own code may bring)
// includes every public header: nothing of ours may claim or clash with them.
#include <stdint.h>

#include <type_traits>

struct GUID {
  int callerField;
};
class IUnknown {
 public:
  virtual ~IUnknown() = default;
};
class Exception {
 public:
  const char* reason() const { return "the caller's own"; }
};
using HRESULT = long;

#include <gtest/gtest.h>

#include "velmora/Client.h"
#include "velmora/Codes.h"
#include "velmora/IVelmoraDatabase.h"
#include "velmora/IVelmoraDatabase2.h"
#include "velmora/Identifiers.h"
#include "velmora/Types.h"
#include "velmora/Version.h"

TEST(PublicHeadersTest, LeaveTheCallersGlobalNamesAlone) {
  static_assert(std::is_same_v<HRESULT, long>);
  static_assert(!std::is_same_v<::GUID, velmora::GUID>);
  static_assert(!std::is_base_of_v<::IUnknown, velmora::IVelmoraDatabase>);
  static_assert(!std::is_same_v<::Exception, velmora::Exception>);
  const GUID own{7};
  const velmora::Exception ours(velmora::engineResult(velmora::ErrorNumber::IndexOutOfRange), "x");
  EXPECT_EQ(own.callerField, 7);
  EXPECT_STREQ(Exception().reason(), "the caller's own");
  EXPECT_EQ(ours.errorNumber(), 14);
  EXPECT_EQ(velmora::IID_IVelmoraDatabase.Data1, 0xD47A2C91u);
}
