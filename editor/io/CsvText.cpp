#include "CsvText.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace zentarc::editor {

bool readCsvFile(const std::string& path, std::string& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
  }
  bytes.clear();
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    if (bytes.size() + static_cast<std::size_t>(in.gcount()) > kMaxCsvBytes) {
      error = path + " is larger than " + std::to_string(kMaxCsvBytes >> 20) + " MiB";
      return false;
    }
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

namespace {

// Length of the valid UTF-8 sequence at s[i] (no overlong forms, no surrogates), or 0.
std::size_t utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
  else return 0;
  if (i + n > s.size()) return 0;
  if (b(1) < lo || b(1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if ((b(k) & 0xC0) != 0x80) return 0;
  return n;
}

bool isUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = utf8Length(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void appendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Windows-1252 in 0x80..0x9F; its five unassigned bytes keep their ISO-8859-1 meaning.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

bool decodeCsvText(std::string_view bytes, std::string& utf8, std::string& error) {
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'))) {
    error = "the file is UTF-16 text; save it as CSV (UTF-8 or Windows-1252)";
    return false;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (isUtf8(bytes)) {
    utf8.assign(bytes);
    return true;
  }
  utf8.clear();
  utf8.reserve(bytes.size() + bytes.size() / 8);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    appendCodePoint(utf8, c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : c);
  }
  return true;
}

char detectDelimiter(std::string_view utf8) {
  const std::string_view first = utf8.substr(0, utf8.find_first_of("\r\n"));
  if (first.find(',') != std::string_view::npos) return ',';
  if (first.find(';') != std::string_view::npos) return ';';
  if (first.find('\t') != std::string_view::npos) return '\t';
  return ',';
}

CsvTable parseCsv(std::string_view text, char delimiter) {
  CsvTable table;
  std::size_t line = 1;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto endOfLine = [&](std::size_t k) { return text[k] == '\r' || text[k] == '\n'; };
  // Steps over one line end at i (CR LF counts once) and counts it.
  auto skipLineEnd = [&] {
    if (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
    ++i;
    ++line;
  };
  while (i < n) {
    CsvRecord record;
    record.line = line;
    bool recordDone = false;
    while (!recordDone) {
      std::string field;
      if (i < n && text[i] == '"') {
        const std::size_t openLine = line;
        ++i;
        bool closed = false;
        while (i < n) {
          if (text[i] == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            closed = true;
            break;
          }
          if (endOfLine(i)) {
            const std::size_t start = i;
            skipLineEnd();
            field.append(text.substr(start, i - start));
            continue;
          }
          field += text[i++];
        }
        if (!closed) {
          table.error = "a quoted field that starts on line " + std::to_string(openLine) + " is never closed";
          table.errorLine = openLine;
          return table;
        }
        if (i < n && text[i] != delimiter && !endOfLine(i)) {
          table.error = "text follows a closing quote on line " + std::to_string(line);
          table.errorLine = line;
          return table;
        }
      } else {
        while (i < n && text[i] != delimiter && !endOfLine(i)) field += text[i++];
      }
      record.fields.push_back(std::move(field));
      if (i < n && text[i] == delimiter) {
        ++i;  // a delimiter at the very end still opens an (empty) last field
      } else {
        if (i < n) skipLineEnd();
        recordDone = true;
      }
    }
    bool blank = true;
    for (const std::string& f : record.fields) blank = blank && f.empty();
    if (!blank) table.records.push_back(std::move(record));
  }
  return table;
}

std::string csvField(std::string_view value) {
  const bool quote = value.find_first_of(",;\t\"\r\n") != std::string_view::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!quote) return std::string(value);
  std::string out = "\"";
  for (const char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace zentarc::editor
