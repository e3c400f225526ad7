#include "CsvTags.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "common/configfile/AccessRights.h"
#include "common/configfile/DataTypes.h"
#include "editor/document/ConvertDataType.h"
#include "editor/document/ItemRules.h"
#include "editor/document/KeySpace.h"
#include "editor/document/Numbers.h"
#include "editor/io/CsvText.h"

namespace zentarc::editor {

namespace cf = configfile;

namespace {

enum Column { kPlc, kName, kComment, kDataType, kAddress, kBit, kElements, kAccess, kPlcAddress, kColumns };

bool sameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The number in a cell, a single decimal comma read as a point.
double cellNumber(std::string_view text) {
  std::string t(text);
  if (t.find('.') == std::string::npos) {
    const auto comma = t.find(',');
    if (comma != std::string::npos && t.find(',', comma + 1) == std::string::npos) t[comma] = '.';
  }
  return leadingNumber(t);
}

bool isZeroOrEmpty(std::string_view text) {
  return trimmed(text).empty() || (isNumeric(text) && cellNumber(text) == 0);
}

const cf::DataTypeEntry* typeOf(std::string_view text) {
  for (const auto& e : cf::kDataTypes)
    if (sameLetters(text, e.fileName) || sameLetters(text, e.displayName)) return &e;
  return nullptr;
}

struct MentionedPlc {
  std::string name;
  std::string address;
  std::size_t firstLine = 0;
  std::size_t addressLine = 0;
  bool hasGoodRow = false;
};

class Checker {
 public:
  Checker(const EditorState& state, CsvPlan& plan) : state_(state), plan_(plan) {}

  bool readHeader(const CsvRecord& header) {
    index_.fill(-1);
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
      const std::string_view name = trimmed(header.fields[i]);
      int column = -1;
      for (int c = 0; c < kColumns; ++c)
        if (sameLetters(name, kCsvColumns[c])) column = c;
      if (column < 0) return fail("the header names an unknown column \"" + std::string(name) + "\"");
      if (index_[static_cast<std::size_t>(column)] >= 0)
        return fail("the header names the column " + std::string(kCsvColumns[column]) + " twice");
      index_[static_cast<std::size_t>(column)] = static_cast<int>(i);
    }
    for (int c : {kPlc, kName, kDataType, kAddress})
      if (index_[static_cast<std::size_t>(c)] < 0)
        return fail("the header has no column " + std::string(kCsvColumns[c]) +
                    " (expected PLC,Name,Comment,DataType,Address,Bit,Elements,Access)");
    width_ = header.fields.size();
    return true;
  }

  void checkRow(const CsvRecord& record) {
    fields_ = &record.fields;
    line_ = record.line;
    problems_.clear();
    if (record.fields.size() != width_) {
      add("", "the row has " + std::to_string(record.fields.size()) + " fields, the header " + std::to_string(width_));
      return finish(CsvRow{});
    }
    CsvRow row;
    row.line = line_;
    MentionedPlc* plc = checkPlc(row);
    bool tagCells = false;
    for (int c : {kName, kComment, kDataType, kAddress, kBit, kElements, kAccess})
      tagCells = tagCells || !cell(c).empty();
    row.plcOnly = !tagCells;
    if (!row.plcOnly) checkTag(row);
    if (problems_.empty() && plc) {
      if (plc->address.empty() && !cell(kPlcAddress).empty()) {
        plc->address = cell(kPlcAddress);
        plc->addressLine = line_;
      }
      plc->hasGoodRow = true;
    }
    finish(std::move(row));
  }

  void end() {
    for (const MentionedPlc& m : mentioned_)
      if (m.hasGoodRow) plan_.newPlcs.push_back({m.name, m.address, m.firstLine});
  }

 private:
  bool fail(const std::string& text) {
    plan_.fileError = "line 1: " + text;
    return false;
  }

  std::string cell(int column) const {
    const int i = index_[static_cast<std::size_t>(column)];
    return i < 0 ? std::string() : (*fields_)[static_cast<std::size_t>(i)];
  }

  void add(const char* column, std::string reason) { problems_.push_back({line_, column, std::move(reason)}); }

  void finish(CsvRow row) {
    if (!problems_.empty()) {
      ++plan_.refusedRows;
      plan_.problems.insert(plan_.problems.end(), problems_.begin(), problems_.end());
      return;
    }
    if (!row.plcOnly) names_.insert(foldCase(row.item.sName()));
    plan_.rows.push_back(std::move(row));
  }

  MentionedPlc* findMentioned(const std::string& folded) {
    const auto it = mentionedIndex_.find(folded);
    return it == mentionedIndex_.end() ? nullptr : &mentioned_[it->second];
  }

  // The row's PLC: an existing one (its own spelling), or a new one the file names.
  MentionedPlc* checkPlc(CsvRow& row) {
    const std::string name = cell(kPlc);
    const std::string address = cell(kPlcAddress);
    if (const auto fault = nameFault(name); fault != cf::NameFault::None) {
      add("PLC", invalidNameMessage("PLC", fault));
      return nullptr;
    }
    const std::string folded = foldCase(name);
    if (const clsPLC* existing = state_.colPLC ? state_.colPLC->tryItem(name) : nullptr) {
      row.plc = existing->getName();
      if (!address.empty() && address != existing->getUI())
        add("PLC_Address", "PLC_Address \"" + address + "\" differs from the address of PLC \"" + existing->getName() +
                               "\" (\"" + existing->getUI() + "\")");
      return nullptr;
    }
    MentionedPlc* plc = findMentioned(folded);
    if (!plc) {
      if (isTreeKeyTaken(state_, name) || names_.count(folded)) {
        add("PLC", "Name already existing. Please use a different PLC name");
        return nullptr;
      }
      mentionedIndex_.emplace(folded, mentioned_.size());
      mentioned_.push_back({name, {}, line_, 0, false});
      plc = &mentioned_.back();
    }
    row.plc = plc->name;
    if (!address.empty()) {
      if (const std::string problem = plcAddressProblem(address); !problem.empty())
        add("PLC_Address", problem);
      else if (!plc->address.empty() && address != plc->address)
        add("PLC_Address", "PLC_Address \"" + address + "\" differs from \"" + plc->address + "\" given on line " +
                               std::to_string(plc->addressLine));
      else if (plc->address.empty() && addressTaken(address, plc))
        add("PLC_Address", "PLC ID already existing. Please use a different one");
    }
    return plc;
  }

  bool addressTaken(const std::string& address, const MentionedPlc* except) const {
    if (plcAddressExists(state_, address)) return true;
    for (const MentionedPlc& m : mentioned_)
      if (&m != except && m.address == address) return true;
    return false;
  }

  void checkTag(CsvRow& row) {
    clsPLCItem& item = row.item;
    const std::string name = cell(kName);
    if (const auto fault = nameFault(name); fault != cf::NameFault::None)
      add("Name", invalidNameMessage("Item", fault));
    else if (isTreeKeyTaken(state_, name) || names_.count(foldCase(name)) || mentionedIndex_.count(foldCase(name)))
      add("Name", "Name already existing. Please use a different item name");
    item.sName(name);

    const std::string typeText = cell(kDataType);
    const cf::DataTypeEntry* type = typeOf(trimmed(typeText));
    if (trimmed(typeText).empty()) add("DataType", "Empty fields. Check Data type");
    else if (!type) add("DataType", "Unknown Data type \"" + typeText + "\": use a type name such as VT_I2");
    if (type) item.sDataType(std::string(type->displayName));

    checkAddress(item);
    if (type) {
      const std::string display(type->displayName);
      if (isBooleanType(display) && cf::isBitArea(memoryAreaOf(item))) {
        // The address names the bit; a bit number has no place here.
        if (!isZeroOrEmpty(cell(kBit)))
          add("Bit", "Invalid Bit value: in a bit area the address names the bit, so the bit number must be 0");
      } else {
        checkCount(kBit, isBooleanType(display), 15, "Invalid Bit value", "has no bit number", display,
                   [&](std::int16_t v) { item.nBitNumber(v); });
      }
      checkCount(kElements, hasElements(display), kMaxEditorElements, "Invalid number of Elements",
                 "has no element count", display, [&](std::int16_t v) { item.nElements(v); });
    }

    const std::string access = cell(kAccess);
    if (trimmed(access).empty()) {
      item.sAccessRight("READWRITE");  // the item dialog's own default
    } else {
      const cf::AccessEntry* found = nullptr;
      for (const auto& a : cf::kAccessNames)
        if (sameLetters(trimmed(access), a.name)) found = &a;
      if (found) item.sAccessRight(std::string(found->name));
      else add("Access", "Invalid Access Right \"" + access + "\": use READ, WRITE or READWRITE");
    }
    if (const std::string problem = readOnlyAreaProblem(item); !problem.empty()) add("Access", problem);
    const std::string comment = cell(kComment);
    if (const std::string fault = commentFault(comment); !fault.empty()) add("Comment", fault);
    item.sComment(storedComment(comment));
    item.sPLCName(row.plc);
    if (problems_.empty())
      for (const ItemProblem& p : itemValueProblems(item)) problems_.push_back({line_, p.field, p.message});
  }

  // A plain number is a %R address, as in every tag list so far; otherwise an area and a
  // number: "R17", "%AI17", "%i00017".
  void checkAddress(clsPLCItem& item) {
    const std::string address = cell(kAddress);
    item.sMemory(std::string(cf::memoryAreaName(cf::MemoryArea::R)));
    if (isNumeric(address)) {
      const double v = cellNumber(address);
      if (v < 1 || v > cf::kMaxAddress) add("Address", "Invalid Address value: must be between 1 and 65535");
      else item.nDataWord(toInt32(v));
    } else if (const auto a = cf::parseAreaAddress(trimmed(address))) {
      item.nDataWord(static_cast<std::int32_t>(a->number));
      item.sMemory(std::string(cf::memoryAreaName(a->area)));
    } else if (trimmed(address).empty()) {
      add("Address", "Invalid Address value");
    } else {
      add("Address", "Invalid Address value \"" + address +
                         "\": write a number from 1 to 65535, for a memory area other than %R with the area "
                         "before it (%AI17, %I17)");
    }
  }

  template <typename Store>
  void checkCount(int column, bool used, int max, const std::string& invalid, const char* unused,
                  const std::string& type, Store store) {
    const std::string text = cell(column);
    const char* name = kCsvColumns[column];
    if (!used) {
      if (!isZeroOrEmpty(text)) add(name, "the data type \"" + type + "\" " + unused);
      return;
    }
    if (!isNumeric(text)) return add(name, invalid);
    const double v = std::nearbyint(cellNumber(text));
    if (v < 0 || v > max) return add(name, invalid + ": must be between 0 and " + std::to_string(max));
    store(static_cast<std::int16_t>(v));
  }

  const EditorState& state_;
  CsvPlan& plan_;
  std::array<int, kColumns> index_{};
  std::size_t width_ = 0;
  const std::vector<std::string>* fields_ = nullptr;
  std::size_t line_ = 0;
  std::vector<CsvProblem> problems_;
  std::unordered_set<std::string> names_;  // folded names of the good rows' items
  std::vector<MentionedPlc> mentioned_;
  std::unordered_map<std::string, std::size_t> mentionedIndex_;
};

}  // namespace

CsvPlan planCsvImport(std::string_view bytes, const EditorState& state) {
  CsvPlan plan;
  std::string text, error;
  if (!decodeCsvText(bytes, text, error)) {
    plan.fileError = error;
    return plan;
  }
  const CsvTable table = parseCsv(text, detectDelimiter(text));
  if (table.records.empty()) {
    plan.fileError = table.error.empty() ? "the file holds no header line" : table.error;
    return plan;
  }
  Checker checker(state, plan);
  if (!checker.readHeader(table.records.front())) return plan;
  for (std::size_t i = 1; i < table.records.size(); ++i) checker.checkRow(table.records[i]);
  if (!table.error.empty()) {
    // Everything from the broken line on is refused as one problem.
    plan.problems.push_back({table.errorLine, "", table.error + "; the rest of the file is not read"});
    ++plan.refusedRows;
  }
  checker.end();
  return plan;
}

std::string checkNewPlcAddress(const CsvPlan& plan, const EditorState& state, const std::string& address) {
  if (trimmed(address).empty()) return "Empty fields. Check PLC IP Address";
  if (const std::string problem = plcAddressProblem(address); !problem.empty()) return problem;
  if (plcAddressExists(state, address)) return "PLC ID already existing. Please use a different one";
  for (const CsvNewPlc& p : plan.newPlcs)
    if (p.address == address) return "PLC ID already existing. Please use a different one";
  return {};
}

void refuseRowsWithoutAddress(CsvPlan& plan) {
  std::unordered_set<std::string> without;
  for (const CsvNewPlc& p : plan.newPlcs)
    if (p.address.empty()) without.insert(p.name);
  if (without.empty()) return;
  std::vector<CsvRow> kept;
  for (CsvRow& row : plan.rows) {
    if (!without.count(row.plc)) {
      kept.push_back(std::move(row));
      continue;
    }
    plan.problems.push_back({row.line, "PLC_Address", "no address was given for the new PLC \"" + row.plc + "\""});
    ++plan.refusedRows;
  }
  plan.rows = std::move(kept);
  std::erase_if(plan.newPlcs, [](const CsvNewPlc& p) { return p.address.empty(); });
  std::stable_sort(plan.problems.begin(), plan.problems.end(),
                   [](const CsvProblem& a, const CsvProblem& b) { return a.line < b.line; });
}

CsvApplied applyCsvImport(const CsvPlan& plan, EditorState& state) {
  if (!state.colPLC || !state.colItems) state.newCollections();
  CsvApplied applied;
  for (const CsvNewPlc& p : plan.newPlcs) {
    clsPLC plc;
    plc.setName(p.name);
    plc.setUI(p.address);
    state.colPLC->Add(std::move(plc), p.name);
    applied.plcs.push_back(p.name);
  }
  for (const CsvRow& row : plan.rows) {
    if (row.plcOnly) continue;
    state.colItems->Add(row.item, row.item.sName());
    applied.items.emplace_back(row.plc, row.item.sName());
  }
  return applied;
}

std::string exportCsv(const std::vector<TreePlc>& order, const EditorState& state) {
  std::string out;
  for (const char* c : kCsvColumns) out += std::string(out.empty() ? "" : ",") + c;
  out += "\r\n";
  auto row = [&](std::initializer_list<std::string> fields) {
    bool first = true;
    for (const std::string& f : fields) {
      if (!first) out += ',';
      out += csvField(f);
      first = false;
    }
    out += "\r\n";
  };
  for (const TreePlc& node : order) {
    const clsPLC& plc = state.colPLC->Item(node.name);
    if (node.items.empty()) row({node.name, "", "", "", "", "", "", "", plc.getUI()});
    for (const std::string& name : node.items) {
      const clsPLCItem& item = state.colItems->Item(name);
      const std::string& type = item.sDataType();
      const cf::MemoryArea area = memoryAreaOf(item);
      const std::string address =
          area == cf::MemoryArea::R ? std::to_string(item.nDataWord())
                                    : cf::formatAreaAddress(area, static_cast<std::uint32_t>(item.nDataWord()));
      row({node.name, name, item.sComment(), ConvertDataType(type), address,
           usesBitNumber(item) ? std::to_string(item.nBitNumber()) : std::string(),
           hasElements(type) ? std::to_string(item.nElements()) : std::string(), item.sAccessRight(), plc.getUI()});
    }
  }
  return out;
}

std::vector<TreePlc> collectionOrder(const EditorState& state) {
  std::vector<TreePlc> order;
  if (!state.colPLC || !state.colItems) return order;
  std::unordered_map<std::string, std::size_t> at;
  for (const clsPLC& p : *state.colPLC) {
    at.emplace(foldCase(p.getName()), order.size());
    order.push_back({p.getName(), {}});
  }
  for (const clsPLCItem& i : *state.colItems) {
    const auto it = at.find(foldCase(i.sPLCName()));
    if (it != at.end()) order[it->second].items.push_back(i.sName());
  }
  return order;
}

}  // namespace zentarc::editor
