// The 128 addressable points of a site.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemIHM.h"
#include "model/GroupTable.h"

class TLignes;
class TZones;

// How a point builds its tree caption: 1 with its line (zone view), 2 with its zone
// (line view), anything else with its short name.
extern std::uint8_t PointCaptionView;

class TPoints : public TElemIHM {
 public:
  explicit TPoints(int index);
  ~TPoints() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  std::string Caption() const override;
  std::string ShortName() const override;
  std::string LabelText() const override { return label_; }
  int ImageIndex() override;
  bool IsUsed() override { return type_ != 0; }
  virtual std::string TypeCaption() const;

  int Address() const { return address_; }
  const std::string& Label() const { return label_; }
  void SetLabel(std::string_view text);
  std::uint8_t Type() const { return type_; }
  std::string TypeName() const;
  static bool IsValidType(int code);
  bool SetType(int code);
  int Category() const;

  int LineNumber() const { return line_; }
  int ZoneNumber() const { return zone_; }
  // A number that names no existing line or zone is taken as none.
  void SetLine(int n);
  void SetZone(int n);
  TLignes* Line() const;
  TZones* Zone() const;
  std::string LineName() const;
  std::string ZoneName() const;
  // Renumbers the line for a change of line system, without touching the lists.
  void RemapLine(bool loops);

  bool ActiveOutput() const { return activeOutput_; }
  void SetActiveOutput(bool on) { activeOutput_ = on; }
  bool Evacuation(int n) const { return evacuation_[n - 1] != 0; }  // n = 1..3
  void SetEvacuation(int n, bool on) { evacuation_[n - 1] = on ? 1 : 0; }
  TTabGrpDDS* Groups() const { return groups_; }

 private:
  std::string Prefix() const;

  std::uint8_t* position_;
  int labelWidth_ = 20;
  int address_;
  std::string label_;
  std::uint8_t type_ = 0;
  int line_ = 0;
  int zone_ = 0;
  bool activeOutput_ = false;
  std::uint8_t evacuation_[3] = {0, 0, 0};
  TTabGrpDDS groupTable_;  // in place, one allocation less per element; groups_ points at it
  TTabGrpDDS* groups_;
};

std::string PointTypeName(int code);
// The point types offered for the program's current panel type, each with its code as object.
void FillPointTypeList(platform::StringList& list);
int DefaultPointType();

class TGstPoints : public TZvoGest {
 public:
  static constexpr int kPointCount = 128;
  TGstPoints();
  ~TGstPoints() override;
  bool IsUsed() override { return true; }

  TPoints* GetPoint(int index) const;
  void FillZonePoints(int zone, TLstPoints& list) const;
  void FillLinePoints(int line, TLstPoints& list) const;
  void RemapLines(bool loops);
  static bool CheckAddress(std::string_view text, std::string& message);
  void FillFreeAddresses(platform::StringList& list) const;
  int NextFreeAddress(int address) const;
  int GroupUseCount(int group) const;
  void FillTypeSummary(platform::StringList& list) const;
};

extern TGstPoints* GstPointsInstance;
