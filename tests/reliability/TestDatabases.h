// Databases built through the component interface for the reliability tests: the sample's
// employee table, filled with as many records as a test needs.
#pragma once

#include <stdint.h>

#include <string>

#include <gtest/gtest.h>

#include "velmora/IVelmoraDatabase.h"

namespace velmora {

// employee: String name, String surname, Int age.
inline void defineEmployee(IVelmoraDatabase& db) {
  int32_t out = 0;
  ASSERT_EQ(db.CreateTemporaryTable(), S_OK);
  ASSERT_EQ(db.AddField("name", 1, &out), S_OK);
  ASSERT_EQ(db.AddField("surname", 1, &out), S_OK);
  ASSERT_EQ(db.AddField("age", 0, &out), S_OK);
  ASSERT_EQ(db.CreateTable("employee", &out), S_OK);
}

// Appends count employees named "name<i>" of age i (after `first`).
inline void addEmployees(IVelmoraDatabase& db, int count, int first = 0) {
  int32_t out = 0;
  for (int i = first; i < first + count; ++i) {
    const std::string name = "name" + std::to_string(i);
    ASSERT_EQ(db.ChooseTableAt(0), S_OK);
    ASSERT_EQ(db.SetStringAt(0, name.c_str()), S_OK);
    ASSERT_EQ(db.SetStringAt(1, "surname & <more>"), S_OK);
    ASSERT_EQ(db.SetIntAt(2, i), S_OK);
    ASSERT_EQ(db.AddRecord(&out, -1), S_OK);
  }
}

}  // namespace velmora
