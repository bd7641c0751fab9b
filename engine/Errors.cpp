#include "engine/Errors.h"

void throwError(const ErrorRow& row) {
  if (row.code == 0) throw Win::Exception(row.message);
  throw Win::Exception(row.code, row.message);
}
