// Any bytes as a tag list: the CSV import must refuse, list or plan, never crash, and what
// it plans must apply to the configuration without a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "editor/io/CsvTags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace ed = zentarc::editor;
  ed::EditorState state;
  state.newCollections();
  ed::clsPLC plc;
  plc.setName("P1");
  plc.setUI("10.0.0.1");
  state.colPLC->Add(plc, "P1");
  ed::CsvPlan plan = ed::planCsvImport(std::string_view(reinterpret_cast<const char*>(data), size), state);
  for (ed::CsvNewPlc& p : plan.newPlcs)
    if (p.address.empty() && ed::checkNewPlcAddress(plan, state, "10.9.9." + std::to_string(p.line)).empty())
      p.address = "10.9.9." + std::to_string(p.line);
  ed::refuseRowsWithoutAddress(plan);
  ed::applyCsvImport(plan, state);  // throws on a duplicate key: the plan must never hold one
  ed::exportCsv(ed::collectionOrder(state), state);
  return 0;
}
