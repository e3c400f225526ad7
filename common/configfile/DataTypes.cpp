#include "DataTypes.h"

namespace zentarc::configfile {

const DataTypeEntry* findByFileName(std::string_view fileName) {
  for (const auto& e : kDataTypes)
    if (e.fileName == fileName) return &e;
  return nullptr;
}

const DataTypeEntry* findByDisplayName(std::string_view displayName) {
  for (const auto& e : kDataTypes)
    if (e.displayName == displayName) return &e;
  return nullptr;
}

const DataTypeEntry* findByCode(std::uint16_t code) {
  for (const auto& e : kDataTypes)
    if (e.code == code) return &e;
  return nullptr;
}

std::uint16_t typeCodeForFileName(std::string_view fileName) {
  const DataTypeEntry* e = findByFileName(fileName);
  return e ? e->code : 0;
}

}  // namespace zentarc::configfile
