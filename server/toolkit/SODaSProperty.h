#pragma once
// A constant item property (101 = item description).
#include <cstdint>
#include <mutex>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SOCmnVariant.h"

inline constexpr std::uint32_t SODAS_PROPERTY_ITEM_DESCRIPTION = 101;

class SODaSProperty : public SOCmnObject {
 public:
  explicit SODaSProperty(std::uint32_t propertyId) : propertyId_(propertyId) {}
  std::uint32_t getPropertyId() const { return propertyId_; }
  void setConstantValue(const SOCmnVariant& value);
  SOCmnVariant getConstantValue() const;

 private:
  std::uint32_t propertyId_;
  mutable std::mutex mutex_;
  SOCmnVariant value_;
};
