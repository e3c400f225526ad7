#include "CsvCommand.h"

#include <optional>

#include "editor/document/Counted.h"
#include "editor/document/EditorState.h"
#include "editor/io/AtomicFile.h"
#include "editor/io/CreateXML.h"
#include "editor/io/CsvTags.h"
#include "editor/io/CsvText.h"
#include "editor/io/ImportXML.h"

namespace zentarc::editor {

namespace {

const char* const kUsage =
    "Usage:\n"
    "  ConfigOPCZentarc --import-csv TAGS.csv --output FILE.xml [--base FILE.xml] [--partial]\n"
    "  ConfigOPCZentarc --export-csv FILE.xml --output TAGS.csv [--partial]\n"
    "Import reads the tag list TAGS.csv (header PLC,Name,Comment,DataType,Address,Bit,Elements,\n"
    "Access and an optional PLC_Address), checks every row as the item dialog does, adds the rows\n"
    "to FILE.xml given with --base (or to an empty configuration) and writes the result to\n"
    "--output. A PLC the configuration does not hold needs its PLC_Address. Export writes every\n"
    "tag of FILE.xml as one row, with the PLC_Address column.\n"
    "Exit status: 0 all rows taken; 1 some refused (listed on standard error; nothing is written\n"
    "unless --partial is given); 2 an input cannot be read, the command line is wrong, or the\n"
    "output cannot be written. The path recorded for the server is not changed.\n";

struct Options {
  std::optional<std::string> importCsv, exportCsv, output, base;
  bool partial = false;
  bool help = false;
};

bool parse(const std::vector<std::string>& args, Options& o, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    std::optional<std::string>* target = nullptr;
    if (name == "--import-csv") target = &o.importCsv;
    else if (name == "--export-csv") target = &o.exportCsv;
    else if (name == "--output") target = &o.output;
    else if (name == "--base") target = &o.base;
    else if (name == "--partial" && !value) o.partial = true;
    else if ((name == "--help" || name == "-h") && !value) o.help = true;
    else {
      error = "unknown option " + args[i];
      return false;
    }
    if (!target) continue;
    if (!value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a file name";
        return false;
      }
      value = args[++i];
    }
    if (target->has_value()) {
      error = name + " is given twice";
      return false;
    }
    *target = *value;
  }
  if (o.help) return true;
  if (o.importCsv.has_value() == o.exportCsv.has_value()) error = "give either --import-csv or --export-csv";
  else if (!o.output) error = "--output is missing";
  else if (o.base && o.exportCsv) error = "--base goes with --import-csv only";
  return error.empty();
}

bool write(const std::string& path, const std::string& bytes, std::ostream& err) {
  std::string error;
  if (writeFileAtomically(path, bytes, &error)) return true;
  err << "ConfigOPCZentarc: " << error << "; nothing was written\n";
  return false;
}

int importCsv(const Options& o, std::ostream& out, std::ostream& err) {
  EditorState state;
  state.newCollections();
  if (o.base) {
    const ImportOutcome base = ImportXML(*o.base, state);
    if (!base.complete) {
      err << "ConfigOPCZentarc: " << *o.base << ": " << base.description << "\n";
      return kCsvFailed;
    }
  }
  std::string bytes, error;
  if (!readCsvFile(*o.importCsv, bytes, error)) {
    err << "ConfigOPCZentarc: " << error << "\n";
    return kCsvFailed;
  }
  CsvPlan plan = planCsvImport(bytes, state);
  if (!plan.fileError.empty()) {
    err << "ConfigOPCZentarc: " << *o.importCsv << ": " << plan.fileError << "\n";
    return kCsvFailed;
  }
  refuseRowsWithoutAddress(plan);  // there is nobody to ask
  for (const CsvProblem& p : plan.problems)
    err << *o.importCsv << ":" << p.line << ": " << (p.column.empty() ? "" : p.column + ": ") << p.reason << "\n";
  if (plan.refusedRows > 0 && !o.partial) {
    err << "ConfigOPCZentarc: " << counted(plan.refusedRows, "row", "rows")
        << " refused; nothing was written (--partial writes the " << counted(plan.rows.size(), "good row", "good rows")
        << ")\n";
    return kCsvSomeRefused;
  }
  const CsvApplied applied = applyCsvImport(plan, state);
  if (state.colPLC->empty()) {
    err << "ConfigOPCZentarc: Configuration not valid: it holds no PLC; nothing was written\n";
    return plan.refusedRows > 0 ? kCsvSomeRefused : kCsvFailed;
  }
  if (!write(*o.output, buildConfigBytes(collectionOrder(state), state), err)) return kCsvFailed;
  out << *o.output << ": " << counted(applied.items.size(), "item", "items") << " and "
      << counted(applied.plcs.size(), "new PLC", "new PLCs") << " added";
  if (plan.refusedRows > 0) out << ", " << counted(plan.refusedRows, "row", "rows") << " refused";
  out << "\n";
  return plan.refusedRows > 0 ? kCsvSomeRefused : kCsvAllTaken;
}

int exportCsvFile(const Options& o, std::ostream& out, std::ostream& err) {
  EditorState state;
  state.newCollections();
  const ImportOutcome read = ImportXML(*o.exportCsv, state);
  if (!read.parsed) {
    err << "ConfigOPCZentarc: " << read.description << "\n";
    return kCsvFailed;
  }
  if (!read.complete) {
    err << "ConfigOPCZentarc: " << *o.exportCsv << ": " << read.description << "\n";
    if (!o.partial) {
      err << "ConfigOPCZentarc: nothing was written (--partial writes what was read)\n";
      return kCsvSomeRefused;
    }
  }
  if (!write(*o.output, exportCsv(collectionOrder(state), state), err)) return kCsvFailed;
  out << *o.output << ": " << counted(state.colItems->Count(), "tag", "tags") << " of "
      << counted(state.colPLC->Count(), "PLC", "PLCs") << "\n";
  return read.complete ? kCsvAllTaken : kCsvSomeRefused;
}

}  // namespace

bool isCsvCommand(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    for (const char* option : {"--import-csv", "--export-csv"})
      if (a == option || a.rfind(std::string(option) + "=", 0) == 0) return true;
  return false;
}

int runCsvCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options o;
  std::string error;
  if (!parse(args, o, error)) {
    err << "ConfigOPCZentarc: " << error << "\n" << kUsage;
    return kCsvFailed;
  }
  if (o.help) {
    out << kUsage;
    return kCsvAllTaken;
  }
  try {
    return o.importCsv ? importCsv(o, out, err) : exportCsvFile(o, out, err);
  } catch (const std::exception& e) {
    err << "ConfigOPCZentarc: " << e.what() << "\n";
    return kCsvFailed;
  }
}

}  // namespace zentarc::editor
