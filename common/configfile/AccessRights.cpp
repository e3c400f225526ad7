#include "AccessRights.h"

namespace zentarc::configfile {

std::uint32_t accessRightsForName(std::string_view name) {
  for (const auto& e : kAccessNames)
    if (e.name == name) return e.rights;
  return 0;
}

}  // namespace zentarc::configfile
