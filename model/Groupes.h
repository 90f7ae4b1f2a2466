// The 99 groups (repetitions) that link triggers to activated elements.
#pragma once

#include <cstdint>
#include <string>

#include "model/ElemIHM.h"

class TGroupe : public TElemIHM {
 public:
  explicit TGroupe(int index);
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  std::string Caption() const override { return ShortName(); }
  std::string ShortName() const override;
  std::string LabelText() const override { return label_; }
  std::string CheckText() override { return CheckedText(); }
  int ImageIndex() override;
  bool IsUsed() override { return triggerType_ > 0; }
  bool Check(platform::StringList* list) override;

  int Number() const { return number_; }
  const std::string& Label() const { return label_; }
  void SetLabel(std::string_view text);
  const std::string& Delay() const { return delay_; }
  void SetDelay(std::string_view text);
  static std::string DefaultDelay();
  std::uint8_t TriggerType() const { return triggerType_; }
  void SetTriggerType(std::uint8_t code) { triggerType_ = code; }
  std::uint8_t ZoneEvent() const { return zoneEvent_; }
  void SetZoneEvent(std::uint8_t code) { zoneEvent_ = code; }
  std::uint8_t ZoneLogic() const { return zoneLogic_; }
  void SetZoneLogic(std::uint8_t code) { zoneLogic_ = code; }

  static bool IsValidTriggerType(int code) { return code >= 0 && code <= 2; }
  bool CheckTriggerType(int code, std::string& message) const;
  static bool IsValidZoneEvent(bool required, int code);
  bool CheckZoneEvent(bool required, int code, std::string& message) const;
  static bool IsValidZoneLogic(bool required, int code) { return IsValidZoneEvent(required, code); }
  bool CheckZoneLogic(bool required, int code, std::string& message) const;
  static bool IsValidDelay(std::string_view text);
  bool CheckDelay(std::string_view text, std::string& message) const;
  bool HasTrigger(std::string& message) const;
  bool HasActivatedElement(std::string& message) const;

  std::string TriggerTypeText() const;
  std::string ZoneEventText() const;
  std::string ZoneLogicText() const;

 private:
  int number_;
  int labelWidth_ = 20;
  std::string label_;
  std::string delay_;
  std::uint8_t triggerType_ = 0;
  std::uint8_t zoneEvent_ = 0;
  std::uint8_t zoneLogic_ = 0;
  std::uint8_t* position_;

  friend class TGstGroups;
  // The manager looks the default delay text up once for all its groups.
  TGroupe(int index, const std::string& defaultDelay);
  void ResetTo(const std::string& defaultDelay);
  void WriteFields();
};

class TGstGroups : public TZvoGest {
 public:
  static constexpr int kGroupCount = 99;
  TGstGroups();
  ~TGstGroups() override;
  // As every group's own, with the default delay text looked up once.
  void Reset() override;
  void WriteImage() override;
  bool IsUsed() override { return true; }

  TGroupe* GetGroup(int index) const { return static_cast<TGroupe*>(Item(index)); }
  static bool CheckGroupNumber(std::string_view text, std::string& message);
  void FillFreeGroups(platform::StringList& list) const;
};

extern TGstGroups* GstGroupsInstance;
