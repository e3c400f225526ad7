#pragma once
// Tag lists as CSV, one tag per row, with the header line
//   PLC,Name,Comment,DataType,Address,Bit,Elements,Access[,PLC_Address]
// DataType holds the file's type names (VT_I2, VT_BOOL ARRAY, ...), Access READ, WRITE or
// READWRITE. Address is a plain number for %R and "%AI17", "%I17" for the other memory areas
// (import also takes "R17", "ai17", "%i00017"). A row with a PLC and nothing else names a PLC without tags. Import checks
// every row by the item dialog's rules and the shared rule of a loadable tag before it
// changes anything; refused rows are listed with their line, column and reason.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "editor/document/EditorState.h"
#include "editor/io/CreateXML.h"

namespace zentarc::editor {

inline constexpr const char* kCsvColumns[] = {"PLC",     "Name", "Comment", "DataType",   "Address",
                                              "Bit",     "Elements", "Access", "PLC_Address"};

struct CsvProblem {
  std::size_t line = 0;
  std::string column;
  std::string reason;
};

struct CsvRow {
  std::size_t line = 0;
  std::string plc;
  bool plcOnly = false;  // names a PLC, holds no tag
  clsPLCItem item;
};

struct CsvNewPlc {
  std::string name;
  std::string address;  // empty until given (PLC_Address column or asked for)
  std::size_t line = 0;  // where the file first names it
};

struct CsvPlan {
  std::string fileError;  // the file is not a tag list at all; nothing else is set
  std::vector<CsvRow> rows;  // rows that can be imported, in file order
  std::vector<CsvProblem> problems;
  std::vector<CsvNewPlc> newPlcs;  // PLCs the good rows need, in order of first mention
  std::size_t refusedRows = 0;
};

// Reads and checks every row against the open configuration; changes nothing.
CsvPlan planCsvImport(std::string_view bytes, const EditorState& state);

// An address for a new PLC that the file gave none: "" when it may be used, else the PLC
// dialog's message.
std::string checkNewPlcAddress(const CsvPlan& plan, const EditorState& state, const std::string& address);

// Refuses the rows of new PLCs that still have no address, and forgets those PLCs.
void refuseRowsWithoutAddress(CsvPlan& plan);

struct CsvApplied {
  std::vector<std::string> plcs;                               // new PLCs, in order
  std::vector<std::pair<std::string, std::string>> items;      // (PLC, item) in order
};

// Adds the plan's PLCs and good rows to the collections.
CsvApplied applyCsvImport(const CsvPlan& plan, EditorState& state);

// The configuration as CSV in the given order, with a PLC_Address column; CR LF line ends.
std::string exportCsv(const std::vector<TreePlc>& order, const EditorState& state);

// The order of the collections (as a file just read holds them).
std::vector<TreePlc> collectionOrder(const EditorState& state);

}  // namespace zentarc::editor
