#include "server/toolkit/SODaSProperty.h"

void SODaSProperty::setConstantValue(const SOCmnVariant& value) {
  std::lock_guard g(mutex_);
  value_ = value;
}

SOCmnVariant SODaSProperty::getConstantValue() const {
  std::lock_guard g(mutex_);
  return value_;
}
