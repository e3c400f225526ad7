#pragma once
// One tag item of a PLC. The data type is kept in its display form ("unsigned 16 bit");
// the file's type name is produced only when the file is written. The memory area is kept
// by its name ("R", "AI", "I", ...); empty counts as R.
#include <cstdint>
#include <string>

namespace zentarc::editor {

class clsPLCItem {
 public:
  std::int16_t nElements() const { return nElements_; }
  void nElements(std::int16_t v) { nElements_ = v; }
  std::int16_t nBitNumber() const { return nBitNumber_; }
  void nBitNumber(std::int16_t v) { nBitNumber_ = v; }
  const std::string& sDataType() const { return sDataType_; }
  void sDataType(std::string v) { sDataType_ = std::move(v); }
  const std::string& sAccessRight() const { return sAccessRight_; }
  void sAccessRight(std::string v) { sAccessRight_ = std::move(v); }
  const std::string& sComment() const { return sComment_; }
  void sComment(std::string v) { sComment_ = std::move(v); }
  std::int32_t nDataWord() const { return nDataWord_; }
  void nDataWord(std::int32_t v) { nDataWord_ = v; }
  const std::string& sPLCName() const { return sPLCName_; }
  void sPLCName(std::string v) { sPLCName_ = std::move(v); }
  const std::string& sName() const { return sName_; }
  void sName(std::string v) { sName_ = std::move(v); }
  const std::string& sMemory() const { return sMemory_; }
  void sMemory(std::string v) { sMemory_ = std::move(v); }

 private:
  std::string sName_;
  std::string sPLCName_;
  std::int32_t nDataWord_ = 0;
  std::string sComment_;
  std::string sAccessRight_;
  std::string sDataType_;
  std::int16_t nBitNumber_ = 0;
  std::int16_t nElements_ = 0;
  std::string sMemory_;
};

}  // namespace zentarc::editor
