// The root object of one site: it owns every element, resets, decodes and encodes them
// in fixed orders, and loads and saves the site database file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ElemDDS.h"

class TParamsGen;
class TGstRelais;
class TGstPoints;
class TGstZones;
class TGstLignes;
class TGstSigEvt;
class TGstGroups;
class TCarIn1DDS;
class TCarIn2DDS;
class TAlarmThresholds;
class TResPulExt;
class TDayNightF;
class TLineSound;
class TSecurity;
class TPanelType;
class TManuModif;
class TDatTimDDS;
class TVerSftDDS;
class TVerMapDDS;
class TFilNamDDS;
class TCrc16DDS;

class TZavo : public TElemDDS {
 public:
  // SiteImage must hold the site's buffer.
  TZavo(const std::string& name, std::uint8_t panelType);
  ~TZavo() override;
  void Reset() override;
  // Identification first, map version second, CRC last; raises on the first failure.
  void ReadImage() override;
  void WriteImage() override;

  // The site image as bytes, which the file functions only read and write. Decoding
  // takes exactly one image (text 92 otherwise) into SiteImage and reads it; encoding
  // writes the whole site and answers a copy of the image.
  void DecodeImage(const std::uint8_t* data, std::size_t size);
  std::vector<std::uint8_t> EncodeImage();
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path);
  int MapVersion() const;

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  TParamsGen* ParamsGen() const { return paramsGen_; }
  TGstRelais* Relais() const { return relais_; }
  TGstPoints* Points() const { return points_; }
  TGstZones* Zones() const { return zones_; }
  TGstLignes* Lignes() const { return lignes_; }
  TGstSigEvt* SigEvt() const { return sigEvt_; }
  TGstGroups* Groups() const { return groups_; }
  TCarIn1DDS* CarryInput1() const { return carIn1_; }
  TCarIn2DDS* CarryInput2() const { return carIn2_; }
  TAlarmThresholds* Thresholds() const { return thresholds_; }
  TResPulExt* PulseExtension() const { return pulseExt_; }
  TDayNightF* DayNight() const { return dayNight_; }
  TLineSound* LineSound() const { return lineSound_; }
  TSecurity* Security() const { return security_; }
  TPanelType* PanelType() const { return panelType_; }
  TManuModif* ManuModif() const { return manuModif_; }
  TVerSftDDS* SoftwareVersion() const { return verSft_; }
  TVerMapDDS* MapVersionField() const { return verMap_; }
  TFilNamDDS* FileName() const { return filNam_; }
  TCrc16DDS* Crc() const { return crc_; }

 private:
  bool modified_ = false;
  TParamsGen* paramsGen_ = nullptr;
  TGstRelais* relais_ = nullptr;
  TGstPoints* points_ = nullptr;
  TGstZones* zones_ = nullptr;
  TGstLignes* lignes_ = nullptr;
  TGstSigEvt* sigEvt_ = nullptr;
  TGstGroups* groups_ = nullptr;
  TCarIn1DDS* carIn1_ = nullptr;
  TCarIn2DDS* carIn2_ = nullptr;
  TAlarmThresholds* thresholds_ = nullptr;
  TResPulExt* pulseExt_ = nullptr;
  TDayNightF* dayNight_ = nullptr;
  TLineSound* lineSound_ = nullptr;
  TSecurity* security_ = nullptr;
  TPanelType* panelType_ = nullptr;
  TManuModif* manuModif_ = nullptr;
  TDatTimDDS* datTim_ = nullptr;
  TVerSftDDS* verSft_ = nullptr;
  TVerMapDDS* verMap_ = nullptr;
  int programMapVersion_ = 0;
  TFilNamDDS* filNam_ = nullptr;
  TCrc16DDS* crc_ = nullptr;
};

// Cuts a site file received from the panel (its last XMODEM block padded) back to the
// site image, in place; gives back its stored file name and manual-modification flag.
void RewriteReceivedSiteFile(const std::string& path, std::string& fileName, bool& manualFlag);
