#include <gtest/gtest.h>

#include "editor/document/ClipboardText.h"
#include "editor/document/ConvertDataType.h"
#include "editor/document/EditorState.h"
#include "editor/document/ItemStepping.h"
#include "editor/document/ItemText.h"
#include "editor/document/KeySpace.h"
#include "editor/document/Numbers.h"

using namespace zentarc::editor;

TEST(KeyedCollection, keepsInsertionOrderAndFindsKeysWithoutRegardToCase) {
  KeyedCollection<clsPLC> col;
  for (const char* n : {"b", "A", "c"}) {
    clsPLC p;
    p.setName(n);
    col.Add(p, n);
  }
  EXPECT_EQ(col.Item("a").getName(), "A");
  EXPECT_THROW(col.Add(clsPLC{}, "C"), EditorError);
  // A new key is remove and add: the element moves to the end.
  clsPLC moved = col.Item("b");
  col.Remove("B");
  col.Add(moved, "b2");
  std::vector<std::string> keys;
  for (auto it = col.begin(); it != col.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"A", "c", "b2"}));
  EXPECT_THROW(col.Item("b"), EditorError);
  EXPECT_THROW(col.Remove("zz"), EditorError);
  EXPECT_EQ(col.Count(), 3u);
}

TEST(KeyedCollection, foldsLatin1CapitalsToo) {
  KeyedCollection<clsPLC> col;
  col.Add(clsPLC{}, "Pr\xC3\xBC" "fstand");  // "Prüfstand"
  EXPECT_TRUE(col.contains("PR\xC3\x9C" "FSTAND"));
  EXPECT_FALSE(col.contains("pr\xC3\xB7"));  // the division sign is no letter
}

TEST(ConvertDataType, mapsBothWaysExactly) {
  EXPECT_EQ(ConvertDataType("VT_BOOL ARRAY"), "boolean array");
  EXPECT_EQ(ConvertDataType("boolean array"), "VT_BOOL ARRAY");
  EXPECT_EQ(ConvertDataType("string"), "VT_BSTR");
  EXPECT_EQ(ConvertDataType("VT_UI1"), "");
  EXPECT_EQ(ConvertDataType("Boolean"), "");
  EXPECT_EQ(baseTypeName("unsigned 8 bit array"), "unsigned 8 bit");
  EXPECT_EQ(baseTypeName("string"), "string");
}

TEST(ItemText, addressAndSortKeyFollowTheType) {
  clsPLCItem i;
  i.sPLCName("P1");
  i.sDataType("boolean");
  i.nDataWord(120);
  i.nBitNumber(3);
  EXPECT_EQ(addressText(i), "P1/%R120/bit3");
  EXPECT_EQ(addressSortKey(i), "00012003");
  i.sDataType("signed 16 bit array");
  i.nDataWord(40);
  i.nBitNumber(0);
  i.nElements(10);
  EXPECT_EQ(addressText(i), "P1/%R40/len10");
  EXPECT_EQ(addressSortKey(i), "00004000");
  i.sDataType("boolean array");
  i.nBitNumber(2);
  EXPECT_EQ(addressText(i), "P1/%R40/bit2/len10");
  i.sDataType("string");
  EXPECT_EQ(addressText(i), "P1/%R40/len10");
  // Wider values keep only their last digits.
  i.nDataWord(1234567);
  i.nBitNumber(123);
  EXPECT_EQ(addressSortKey(i), "23456723");
}

TEST(Numbers, leadingNumberAndRoundingToEven) {
  EXPECT_EQ(toInt32(leadingNumber("12.5")), 12);
  EXPECT_EQ(toInt32(leadingNumber("13.5")), 14);
  EXPECT_EQ(toInt32(leadingNumber("7x")), 7);
  EXPECT_EQ(toInt32(leadingNumber("  -3e2z")), -300);
  EXPECT_EQ(leadingNumber("abc"), 0.0);
  EXPECT_EQ(leadingNumber(".5"), 0.5);
  EXPECT_EQ(leadingNumber("1e"), 1.0);
  EXPECT_THROW(toInt16(leadingNumber("32768")), EditorError);
  EXPECT_EQ(toInt16(-32768.4), -32768);
  EXPECT_THROW(toInt32(leadingNumber("3000000000")), EditorError);
  EXPECT_THROW(toInt32(leadingNumber("1e400")), EditorError);
}

TEST(Numbers, numericMeansTheWholeText) {
  for (const char* yes : {"1", " 999999 ", "-2.5", "1e3", "0,5", "+.5"}) EXPECT_TRUE(isNumeric(yes)) << yes;
  for (const char* no : {"", "  ", "12a", "1.2.3", "e5", ".", "1 2"}) EXPECT_FALSE(isNumeric(no)) << no;
}

TEST(KeySpace, plcAndItemNamesShareOneKeySpace) {
  EditorState s;
  s.newCollections();
  clsPLC p;
  p.setName("Line1");
  p.setUI("10.0.0.1");
  s.colPLC->Add(p, "Line1");
  clsPLCItem i;
  i.sName("Temp");
  s.colItems->Add(i, "Temp");
  EXPECT_TRUE(isTreeKeyTaken(s, "plcs"));
  EXPECT_TRUE(isTreeKeyTaken(s, ""));
  EXPECT_TRUE(isTreeKeyTaken(s, "LINE1"));
  EXPECT_TRUE(isTreeKeyTaken(s, "temp", "Line1"));
  EXPECT_FALSE(isTreeKeyTaken(s, "TEMP", "Temp"));  // its own name in other letters
  EXPECT_FALSE(isTreeKeyTaken(s, "Temp2"));
  EXPECT_TRUE(plcAddressExists(s, "10.0.0.1"));
  EXPECT_FALSE(plcAddressExists(s, "10.0.0.01"));
  EXPECT_FALSE(plcNameExists(s, "line1"));
  EXPECT_TRUE(itemNameExists(s, "Temp"));
}

TEST(EditorError, reportTextFollowsTheConvention) {
  EXPECT_EQ(errorReportText(457, "The name is in use. Choose another."), " Error n. 457  The name is in use. Choose another.");
}

TEST(ItemStepping, nextAddressAndBitForEveryTypeRow) {
  struct Row {
    const char* type;
    double A, E;
    int B;
    double address;
    int bit;  // -1: no bit
  };
  const Row rows[] = {
      {"boolean", 10, 0, 14, 10, 15},
      {"boolean", 10, 0, 15, 11, 0},
      {"unsigned 16 bit", 10, 0, 0, 11, -1},
      {"signed 16 bit", 10, 0, 0, 11, -1},
      {"unsigned 32 bit", 10, 0, 0, 12, -1},
      {"signed 32 bit", 100, 0, 0, 102, -1},
      {"32 bit float", 10, 0, 0, 12, -1},
      {"boolean array", 50, 10, 10, 51, 4},
      {"boolean array", 50, 32, 0, 52, 0},
      {"unsigned 16 bit array", 10, 7, 0, 17, -1},
      {"signed 16 bit array", 10, 7, 0, 17, -1},
      {"unsigned 32 bit array", 10, 7, 0, 24, -1},
      {"signed 32 bit array", 10, 7, 0, 24, -1},
      {"32 bit float array", 10, 7, 0, 24, -1},
      {"string", 10, 20, 0, 30, -1},
      {"signed 16 bit", 12.5, 0, 0, 13.5, -1},
  };
  for (const Row& r : rows) {
    const NextPosition n = nextItemPosition(r.type, r.A, r.E, r.B);
    EXPECT_EQ(n.address, r.address) << r.type;
    EXPECT_EQ(n.bit.has_value(), r.bit >= 0) << r.type;
    if (r.bit >= 0 && n.bit) {
      EXPECT_EQ(*n.bit, r.bit) << r.type;
    }
  }
  // The 8-bit rule: steps of 1, 2, 3, 3, 3, 4, 5, 5 for 1 to 8 elements.
  const double steps[] = {1, 2, 3, 3, 3, 4, 5, 5};
  for (int e = 1; e <= 8; ++e) {
    EXPECT_EQ(nextItemPosition("unsigned 8 bit array", 100, e, 0).address, 100 + steps[e - 1]) << e;
    EXPECT_EQ(nextItemPosition("signed 8 bit array", 100, e, 0).address, 100 + steps[e - 1]) << e;
  }
  EXPECT_THROW(nextItemPosition("boolean array", 1, 40000, 0), EditorError);
}

TEST(ClipboardText, splitsAtCrLfLfOrCrAndIgnoresTheRest) {
  EXPECT_EQ(splitClipboardLines("a\r\nb\r\nc\r\n"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(splitClipboardLines("a\r\nb"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(splitClipboardLines("single"), (std::vector<std::string>{"single"}));
  EXPECT_EQ(splitClipboardLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  // Linux programs end lines with LF alone, old Macintosh ones with CR.
  EXPECT_EQ(splitClipboardLines("Pump_A\nPump_B\n"), (std::vector<std::string>{"Pump_A", "Pump_B"}));
  EXPECT_EQ(splitClipboardLines("a\rb\r"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(splitClipboardLines("a\r\rb\n\nc\r\n"), (std::vector<std::string>{"a", "", "b", "", "c"}));
  EXPECT_EQ(splitClipboardLines("a\nb"), (std::vector<std::string>{"a"}));
  for (const std::string& v : splitClipboardLines("x\r\ny\rz\n"))
    EXPECT_EQ(v.find_first_of("\r\n"), std::string::npos) << v;
}
