#include "ConfigWriter.h"

#include "common/configfile/ConfigNames.h"
#include "common/configfile/Latin1.h"

namespace zentarc::configfile {

namespace {

constexpr std::string_view kEol = "\r\n";

class LineWriter {
 public:
  void line(int level, std::string_view text) {
    out_.append(static_cast<std::size_t>(level) * 4, ' ');
    out_ += text;
    out_ += kEol;
  }
  // <name>text</name> with the text escaped and in the file's encoding.
  void element(int level, std::string_view name, std::string_view utf8Text) {
    std::string s = "<";
    s += name;
    s += '>';
    s += utf8ToLatin1WithReferences(escapeXml(utf8Text, false));
    s += "</";
    s += name;
    s += '>';
    line(level, s);
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string attribute(std::string_view utf8Text) {
  return utf8ToLatin1WithReferences(escapeXml(utf8Text, true));
}

}  // namespace

std::string writeConfig(const std::vector<WriterPlc>& plcs) {
  LineWriter w;
  w.line(0, R"(<?xml version="1.0" encoding="ISO-8859-1"?>)");
  w.line(0, "<" + std::string(kRootElement) + ">");
  w.line(1, "<" + std::string(kDevicesElement) + ">");
  for (const WriterPlc& plc : plcs) {
    w.line(2, "<PLC name=\"" + attribute(plc.name) + "\" IPaddress=\"" + attribute(plc.address) +
                  "\">");
    w.line(3, "<tags>");
    for (const WriterTag& tag : plc.tags) {
      w.line(4, "<tag>");
      w.element(5, kNameElement, tag.name);
      w.element(5, kCommentElement, tag.comment);
      w.element(5, kDataTypeElement, tag.typeName);
      if (tag.typeName.find("VT_BOOL") != std::string::npos)
        w.element(5, kDataBitElement, std::to_string(tag.bit));
      if (!tag.memory.empty() && tag.memory != "R") w.element(5, kMemoryElement, tag.memory);
      w.element(5, kAddressElement, std::to_string(tag.address));
      if (tag.typeName == "VT_BSTR" || tag.typeName.find("ARRAY") != std::string::npos)
        w.element(5, kElementsElement, std::to_string(tag.elements));
      w.element(5, kAccessRightsElement, tag.access);
      w.line(4, "</tag>");
    }
    w.line(3, "</tags>");
    w.line(2, "</PLC>");
  }
  // The closing tag stands at the margin although its opening tag is indented; readers
  // and existing files expect exactly this layout.
  w.line(0, "</" + std::string(kDevicesElement) + ">");
  w.line(0, "</" + std::string(kRootElement) + ">");
  return w.take();
}

}  // namespace zentarc::configfile
