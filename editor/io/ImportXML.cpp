#include "ImportXML.h"

#include <fstream>
#include <iterator>

#include <pugixml.hpp>

#include "common/configfile/ConfigNames.h"
#include "common/configfile/TagRules.h"
#include "editor/document/ConvertDataType.h"
#include "editor/document/Counted.h"
#include "editor/document/EditorError.h"
#include "editor/document/ItemRules.h"
#include "editor/document/KeySpace.h"
#include "editor/document/Numbers.h"

namespace zentarc::editor {

namespace cf = configfile;

namespace {

class Reader {
 public:
  Reader(EditorState& state, const std::string& text, const std::function<void(int)>& progress)
      : state_(state), text_(text), progress_(progress) {}

  void run(const pugi::xml_document& doc, ImportOutcome& out) {
    out_ = &out;
    const pugi::xml_node root = doc.document_element();
    total_ = countTags(root);
    out.itemsInFile = total_;
    out.plcsInFile = countPlcs(root);
    for (pugi::xml_node da : root.children()) {
      if (da.type() != pugi::node_element || da.name() != cf::kDevicesElement || !da.first_child())
        continue;
      for (pugi::xml_node plc : da.children(cf::kPlcElement.data())) readPlc(plc);
    }
  }

 private:
  static std::size_t countPlcs(const pugi::xml_node& root) {
    std::size_t n = 0;
    for (pugi::xml_node da : root.children(cf::kDevicesElement.data()))
      for ([[maybe_unused]] pugi::xml_node plc : da.children(cf::kPlcElement.data())) ++n;
    return n;
  }

  static std::size_t countTags(const pugi::xml_node& root) {
    std::size_t n = 0;
    for (pugi::xml_node da : root.children(cf::kDevicesElement.data()))
      for (pugi::xml_node plc : da.children(cf::kPlcElement.data()))
        for (pugi::xml_node t : plc.child(cf::kTagsElement.data()).children())
          if (t.type() == pugi::node_element) ++n;
    return n;
  }

  [[noreturn]] void fault(ErrorNumber n, const pugi::xml_node& at, const std::string& what) {
    out_->stopLine = lineOf(at);
    throw EditorError(n, what + " (line " + std::to_string(out_->stopLine) + ")");
  }

  std::size_t lineOf(const pugi::xml_node& node) const {
    const auto offset = static_cast<std::size_t>(node.offset_debug());
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < text_.size(); ++i)
      if (text_[i] == '\n') ++line;
    return line;
  }

  // Names and values follow the rule the server loads by, so that nothing read here is
  // written back as a tag the server would skip.
  void checkNewKey(const std::string& name, const pugi::xml_node& at, const char* what) {
    const std::string article = what[0] == 'i' ? "An " : "A ";
    if (const cf::NameFault f = cf::checkName(name); f != cf::NameFault::None)
      fault(ErrorNumber::BadFile, at,
            f == cf::NameFault::Empty
                ? article + what + " has an empty name"
                : article + what + " named \"" + name + "\" cannot be loaded by the server: " +
                      std::string(cf::nameFaultText(f)));
    if (isTreeKeyTaken(state_, name))
      fault(ErrorNumber::DuplicateKey, at,
            std::string("The ") + what + " name \"" + name +
                "\" is already used by a PLC or an item (names compare without regard to case)");
  }

  void readPlc(const pugi::xml_node& plcNode) {
    const pugi::xml_attribute nameAttr = plcNode.attribute(cf::kPlcNameAttribute.data());
    const pugi::xml_attribute addrAttr = plcNode.attribute(cf::kPlcAddressAttribute.data());
    if (!nameAttr) fault(ErrorNumber::BadFile, plcNode, "A PLC element has no attribute \"name\"");
    if (!addrAttr)
      fault(ErrorNumber::BadFile, plcNode, "A PLC element has no attribute \"IPaddress\"");
    const std::string plcName = nameAttr.value();
    checkNewKey(plcName, plcNode, "PLC");
    clsPLC plc;
    plc.setName(plcName);
    plc.setUI(addrAttr.value());
    state_.colPLC->Add(std::move(plc), plcName);
    ++out_->plcsRead;

    const pugi::xml_node tags = plcNode.child(cf::kTagsElement.data());
    if (!tags) fault(ErrorNumber::BadFile, plcNode, "The PLC \"" + plcName + "\" has no \"tags\" element");
    for (pugi::xml_node tag : tags.children()) {
      if (tag.type() != pugi::node_element) continue;
      advance();
      readTag(tag, plcName);
    }
  }

  std::string childText(const pugi::xml_node& tag, std::string_view name) {
    const pugi::xml_node c = tag.child(name.data());
    if (!c) fault(ErrorNumber::BadFile, tag, "A tag has no \"" + std::string(name) + "\" element");
    return c.child_value();
  }

  template <typename Int>
  Int number(const pugi::xml_node& tag, std::string_view name) {
    const std::string text = childText(tag, name);
    try {
      if constexpr (sizeof(Int) == 2) return toInt16(leadingNumber(text));
      else return toInt32(leadingNumber(text));
    } catch (const EditorError&) {
      fault(ErrorNumber::Overflow, tag,
            "The " + std::string(name) + " \"" + text + "\" is out of the range the editor holds");
    }
  }

  // The optional memory element; a tag without one is a %R tag.
  std::string memoryArea(const pugi::xml_node& tag, const std::string& itemName) {
    const pugi::xml_node memory = tag.child(cf::kMemoryElement.data());
    if (!memory) return std::string(cf::memoryAreaName(cf::MemoryArea::R));
    const std::string name = memory.child_value();
    if (!cf::memoryAreaForFileName(name))
      fault(ErrorNumber::BadFile, tag,
            "The item \"" + itemName + "\" names the memory area \"" + name +
                "\", which is none of R, AI, AQ, I, Q, T, M, G, S, SA, SB and SC");
    return name;
  }

  void readTag(const pugi::xml_node& tag, const std::string& plcName) {
    clsPLCItem item;
    item.sName(childText(tag, cf::kNameElement));
    item.sComment(childText(tag, cf::kCommentElement));
    item.sPLCName(plcName);
    item.sDataType(ConvertDataType(childText(tag, cf::kDataTypeElement)));
    item.nDataWord(number<std::int32_t>(tag, cf::kAddressElement));
    item.sMemory(memoryArea(tag, item.sName()));
    if (isBooleanType(item.sDataType()))
      item.nBitNumber(number<std::int16_t>(tag, cf::kDataBitElement));
    if (hasElements(item.sDataType()))
      item.nElements(number<std::int16_t>(tag, cf::kElementsElement));
    item.sAccessRight(childText(tag, cf::kAccessRightsElement));
    checkNewKey(item.sName(), tag, "item");
    if (const auto problems = itemValueProblems(item); !problems.empty())
      fault(ErrorNumber::BadFile, tag,
            "The item \"" + item.sName() + "\" cannot be loaded by the server: " + problems.front().message);
    const std::string key = item.sName();
    state_.colItems->Add(std::move(item), key);
    ++out_->itemsRead;
  }

  void advance() {
    ++done_;
    const int percent = total_ == 0 ? 100 : static_cast<int>(std::min<std::size_t>(100, done_ * 100 / total_));
    if (percent != lastPercent_) {
      lastPercent_ = percent;
      if (progress_) progress_(percent);
    }
  }

  EditorState& state_;
  const std::string& text_;
  const std::function<void(int)>& progress_;
  ImportOutcome* out_ = nullptr;
  std::size_t total_ = 0;
  std::size_t done_ = 0;
  int lastPercent_ = -1;
};

}  // namespace

std::string unreadPartText(const ImportOutcome& out) {
  const std::size_t plcs = out.plcsInFile > out.plcsRead ? out.plcsInFile - out.plcsRead : 0;
  const std::size_t items = out.itemsInFile > out.itemsRead ? out.itemsInFile - out.itemsRead : 0;
  if (plcs == 0) return counted(items, "item", "items");
  return counted(plcs, "PLC", "PLCs") + " and " + counted(items, "item", "items");
}

ImportOutcome ImportXML(const std::string& path, EditorState& state,
                        const std::function<void(int)>& progress) {
  ImportOutcome out;
  if (!state.colPLC || !state.colItems) state.newCollections();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out.errorNumber = static_cast<int>(ErrorNumber::FileRead);
    out.description = "The file " + path + " cannot be opened. Check that it exists and that you may read it.";
    return out;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  pugi::xml_document doc;
  // The file declares ISO-8859-1; pugixml honours the declaration and gives UTF-8.
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  if (!parsed) {
    std::size_t line = 1;
    for (std::ptrdiff_t i = 0; i < parsed.offset && static_cast<std::size_t>(i) < text.size(); ++i)
      if (text[static_cast<std::size_t>(i)] == '\n') ++line;
    out.errorNumber = static_cast<int>(ErrorNumber::BadFile);
    out.description = "The file " + path + " is not valid XML: " + parsed.description() +
                      " (line " + std::to_string(line) + "). Nothing was loaded; correct the file there or open another.";
    return out;
  }
  out.parsed = true;
  Reader reader(state, text, progress);
  try {
    reader.run(doc, out);
    out.complete = true;
  } catch (const EditorError& e) {
    out.errorNumber = e.number();
    out.description = std::string(e.what()) + ". Only part of the file was loaded (" +
                      counted(out.plcsRead, "PLC", "PLCs") + " and " + counted(out.itemsRead, "item", "items") +
                      "); saving over the file would drop the rest. Correct the file there and open it again.";
  }
  return out;
}

}  // namespace zentarc::editor
