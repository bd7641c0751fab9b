// EXPECT_WIN_CODE: the statement throws Win::Exception with the given code.
#pragma once

#include <gtest/gtest.h>

#include "engine/Errors.h"

#define EXPECT_WIN_CODE(statement, expectedCode)                              \
  do {                                                                        \
    int velmoraCaughtCode = -12345;                                           \
    try {                                                                     \
      statement;                                                              \
    } catch (const Win::Exception& velmoraError) {                            \
      velmoraCaughtCode = velmoraError.getCode();                             \
    }                                                                         \
    EXPECT_EQ(velmoraCaughtCode, (expectedCode)) << "statement: " #statement; \
  } while (false)
