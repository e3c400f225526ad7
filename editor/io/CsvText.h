#pragma once
// CSV text as spreadsheets write it: RFC 4180 quoting (quoted fields may hold the
// delimiter, quotes doubled, and line breaks), records ended by CR LF, LF or CR, UTF-8 with
// or without a byte order mark, or Windows-1252 / ISO-8859-1 when the bytes are not UTF-8.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zentarc::editor {

// Files larger than this are refused before they are read.
inline constexpr std::size_t kMaxCsvBytes = 64u << 20;

// Reads at most kMaxCsvBytes; false with a readable reason when the file cannot be read
// or is larger.
bool readCsvFile(const std::string& path, std::string& bytes, std::string& error);

// The text as UTF-8: a UTF-8 byte order mark is dropped; text that is not valid UTF-8 is
// read as Windows-1252. False (with the reason) for UTF-16 text, which a tag list is not.
bool decodeCsvText(std::string_view bytes, std::string& utf8, std::string& error);

struct CsvRecord {
  std::size_t line = 0;  // where the record starts, from 1
  std::vector<std::string> fields;
};

struct CsvTable {
  std::vector<CsvRecord> records;  // records whose fields are all empty are left out
  std::string error;               // set when the text is not CSV; records then stop there
  std::size_t errorLine = 0;
};

// ',' unless the first line holds no comma but a semicolon (or a tab), as spreadsheets in
// many locales write them.
char detectDelimiter(std::string_view utf8);
CsvTable parseCsv(std::string_view utf8, char delimiter);

// A field quoted when it holds the delimiter, a quote, a line break or blanks at either end.
std::string csvField(std::string_view value);

}  // namespace zentarc::editor
