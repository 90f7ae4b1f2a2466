// The zone records of a site (numbers 1-99 can be declared, 128 records are stored).
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemIHM.h"
#include "model/GroupTable.h"

class TZones : public TLstPoints {
 public:
  explicit TZones(int index);
  ~TZones() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  std::string Caption() const override;
  std::string ShortName() const override;
  std::string LabelText() const override { return label_; }
  int ImageIndex() override;
  bool IsUsed() override { return !items_.empty(); }
  bool Check(platform::StringList* list) override;

  int Number() const { return number_; }
  const std::string& Label() const { return label_; }
  void SetLabel(std::string_view text);
  bool PreAlarm() const { return preAlarm_; }
  void SetPreAlarm(bool on) { preAlarm_ = on; }
  // Whether the zone's alarm triggers the line of sounders.
  std::uint8_t ZoneFlag() const { return zoneFlag_; }
  void SetZoneFlag(bool on) { zoneFlag_ = on ? 1 : 0; }
  std::string ModeText() const;
  TTabGrpDDS* Groups() const { return groups_; }

 private:
  friend class TGstZones;
  // The manager's zones leave the refill of their points to it.
  TZones(int index, bool refill);
  void ResetFields();
  void ReadFields();
  void RefillPoints();

  std::uint8_t* position_;
  int labelWidth_ = 20;
  int number_;
  std::string label_;
  std::uint8_t zoneFlag_ = 0;
  bool preAlarm_ = false;
  TTabGrpDDS groupTable_;  // in place, one allocation less per element; groups_ points at it
  TTabGrpDDS* groups_;
};

class TGstZones : public TZvoGest {
 public:
  static constexpr int kZoneCount = 128;
  TGstZones();
  ~TGstZones() override;
  // As every zone's own, with the points of all zones refilled in one pass.
  void Reset() override;
  void ReadImage() override;
  bool IsUsed() override { return true; }

  TZones* GetZone(int index) const;
  static bool CheckZoneNumber(std::string_view text, std::string& message);
  void FillUsedZones(platform::StringList& list) const;
  void FillFreeZones(platform::StringList& list) const;
  int GroupUseCount(int group) const;
  std::string Title() const;

 private:
  void RefillPoints();
};

extern TGstZones* GstZonesInstance;
