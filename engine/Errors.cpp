#include "engine/Errors.h"

namespace velmora {

void throwError(const ErrorRow& row) {
  if (row.code == 0) throw Win::Exception(row.message);
  throw Win::Exception(row.code, row.message);
}

}  // namespace velmora
