// The header fields of a site file: panel type, map and software versions, file name,
// manual-modification flag and save time stamp.
#pragma once

#include <cstdint>

#include "model/ElemDDS.h"

// Image byte 0. Reading it is the file's identification check.
class TPanelType : public TElemDDS {
 public:
  explicit TPanelType(std::uint8_t code);
  void ReadImage() override;
  void WriteImage() override;
  static bool IsValid(std::uint8_t code);
  std::uint8_t Code() const { return code_; }

 private:
  std::uint8_t code_;
};

// Image bytes 1-4: the format of the image, "0004".
class TVerMapDDS : public TLabelDDS {
 public:
  TVerMapDDS();
  void Reset() override;
  // Raises text 265 when the field's number is above the program's map version.
  void CheckVersion(int programMapVersion) const;
  int Number() const;
};

// Image bytes 5-8: the version of the program that wrote the file.
class TVerSftDDS : public TLabelDDS {
 public:
  TVerSftDDS();
  void Reset() override;
};

// Image bytes 9-28: the database name the file was saved under.
class TFilNamDDS : public TLabelDDS {
 public:
  TFilNamDDS();
};

// Image byte 33: set by the panel when the database was changed there.
class TManuModif : public TElemDDS {
 public:
  TManuModif();
  void Reset() override { flag_ = false; }
  void ReadImage() override;
  void WriteImage() override;
  bool Flag() const { return flag_; }

 private:
  bool flag_ = false;
};

// Image bytes 262-271: the save time as YYMMDDhhmm.
class TDatTimDDS : public TElemDDS {
 public:
  void WriteImage() override;
};
