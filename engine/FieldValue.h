// FieldType: the type codes of fields. The values themselves live packed inside each record
// (engine/Record.h).
#pragma once

// Field type codes as stored in a definition; other codes can be stored but never set or read.
struct FieldType {
  enum : int { Int = 0, String = 1, Long = 2, Relation = 3 };
};
