#include "engine/FieldValue.h"

std::string IntValue::toText() const { return std::to_string(value); }
std::string LongValue::toText() const { return std::to_string(value); }
std::string RelationValue::toText() const { return std::to_string(value); }
