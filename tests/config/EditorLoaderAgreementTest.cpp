// The editor never keeps a tag the server's loader would skip, and never refuses one it
// would load: both ask the one rule, checked here across the boundaries of every type.
#include <gtest/gtest.h>

#include <memory>

#include "common/configfile/DataTypes.h"
#include "editor/document/ConvertDataType.h"
#include "editor/document/ItemRules.h"
#include "editor/io/CreateXML.h"
#include "server/config/ConfigurationLoader.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"

using namespace zentarc;
namespace ed = zentarc::editor;

namespace {

class Count : public ConfigWarnings {
 public:
  void warning(std::string_view, std::string_view text) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

}  // namespace

TEST(EditorLoaderAgreement, theEditorKeepsExactlyTheTagsTheLoaderLoads) {
  ed::EditorState state;
  state.newCollections();
  ed::clsPLC plc;
  plc.setName("P");
  plc.setUI("127.0.0.1");
  state.colPLC->Add(plc, "P");
  std::vector<std::string> kept, refused;
  int n = 0;
  for (const auto& type : configfile::kDataTypes) {
    for (int address : {0, 1, 65000, 65520, 65527, 65528, 65533, 65534, 65535, 65536, 999999}) {
      for (int bit : {0, 15, 16}) {
        for (int elements : {-1, 0, 1, 7, 8, 9, 16, 17, 32767}) {
          ed::clsPLCItem item;
          item.sName("T" + std::to_string(n++));
          item.sPLCName("P");
          item.sDataType(std::string(type.displayName));
          item.nDataWord(address);
          item.nBitNumber(static_cast<std::int16_t>(ed::isBooleanType(item.sDataType()) ? bit : 0));
          item.nElements(static_cast<std::int16_t>(ed::hasElements(item.sDataType()) ? elements : 0));
          item.sAccessRight("READ");
          (ed::itemValueProblems(item).empty() ? kept : refused).push_back(item.sName());
          state.colItems->Add(item, item.sName());
        }
      }
    }
  }
  ed::TreePlc tree{"P", {}};
  for (const ed::clsPLCItem& i : *state.colItems) tree.items.push_back(i.sName());
  const std::string bytes = ed::buildConfigBytes({tree}, state);

  SOCmnPointer<SODaSNameSpaceRoot> root(new SODaSNameSpaceRoot());
  DeviceList devices;
  Count warnings;
  ASSERT_EQ(LoadConfigurationBytes(bytes, "agreement.xml", *root, devices, std::make_shared<ServerQueues>(), warnings), 1);
  std::vector<std::string> loaded;
  for (const auto& t : root->getTags()) loaded.push_back(t->getName());
  EXPECT_EQ(loaded, kept);
  // One warning for each tag the loader skips; the others note tags that load all the same
  // (strings and arrays of no elements).
  std::size_t skipped = 0;
  for (const auto& text : warnings.texts) skipped += text.find("The tag is not loaded") != std::string::npos;
  EXPECT_EQ(skipped, refused.size());
  EXPECT_GT(kept.size(), 500u);
  EXPECT_GT(refused.size(), 500u);
}
