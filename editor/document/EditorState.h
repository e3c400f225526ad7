#pragma once
// The open configuration and the editor's flags and counters, shared by the main window
// and its dialogs.
#include <cstdint>
#include <memory>

#include "editor/document/KeyedCollection.h"
#include "editor/document/clsPLC.h"
#include "editor/document/clsPLCItem.h"

namespace zentarc::editor {

using PlcCollection = KeyedCollection<clsPLC>;
using ItemCollection = KeyedCollection<clsPLCItem>;

// Name of the tree node that holds the PLCs; it shares the tree's key space with them.
inline constexpr const char* kPlcsKey = "PLCs";

struct EditorState {
  std::unique_ptr<PlcCollection> colPLC;  // absent while no configuration is open
  std::unique_ptr<ItemCollection> colItems;
  bool bCfgOpen = false;
  bool bCfgSaved = false;
  std::int16_t nNextItem = 1;
  std::int16_t nNextPLC = 1;
  clsPLCItem objCopiedItem;
  clsPLC objCopiedPLC;
  std::int16_t nCopiedPLC = 1;
  std::int16_t nCopiedItem = 1;
  bool bFindOpen = false;
  // Dialog flags, read by the window after a dialog has closed.
  bool bPLCChanged = false;
  bool bPLCEditMode = false;
  bool bItemEditMode = false;
  bool bReplaceConfirmed = false;

  void newCollections() {
    colPLC = std::make_unique<PlcCollection>();
    colItems = std::make_unique<ItemCollection>();
  }
  void dropCollections() {
    colItems.reset();
    colPLC.reset();
  }
};

}  // namespace zentarc::editor
