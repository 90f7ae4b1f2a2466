// The site's identification texts and its two access codes.
#pragma once

#include "model/ElemDDS.h"

// Image bytes 34-53, written centred between spaces and read trimmed.
class TSite_Name : public TLabelDDS {
 public:
  TSite_Name();
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;
  // Stores the text trimmed; the write cuts what does not fit.
  void SetText(std::string_view text) override;
};

// Image byte 54: one letter A to Z.
class TDataIndex : public TLabelDDS {
 public:
  TDataIndex();
  void Reset() override;
  void SetText(std::string_view text) override;
  bool IsValid(std::string_view text) const override;
  bool IsValidMsg(std::string_view text, std::string& message) const override;
};

class TEditorNam : public TLabelDDS {
 public:
  TEditorNam();
};

class TLocalizat : public TLabelDDS {
 public:
  TLocalizat();
};

class TEdRemarks : public TLabelDDS {
 public:
  TEdRemarks();
};

// A three-digit access code, stored as "%3.3d".
class TAxessCode : public TLabelDDS {
 public:
  void Reset() override;
  void SetText(std::string_view text) override;
  // One to three decimal digits.
  bool IsValid(std::string_view text) const override;
  bool IsValidMsg(std::string_view text, std::string& message) const override;

 protected:
  TAxessCode(std::size_t offset, int defaultTextId);

 private:
  int defaultTextId_;
};

class TAxessCod2 : public TAxessCode {
 public:
  TAxessCod2();
};

class TAxessCod3 : public TAxessCode {
 public:
  TAxessCod3();
};

class TParamsGen : public TElemDDS {
 public:
  TParamsGen();
  ~TParamsGen() override;
  void Reset() override;
  void ReadImage() override;
  void WriteImage() override;

  TSite_Name* SiteName() const { return siteName_; }
  TDataIndex* DataIndex() const { return dataIndex_; }
  TEditorNam* EditorName() const { return editorName_; }
  TLocalizat* Localisation() const { return localisation_; }
  TEdRemarks* Remarks() const { return remarks_; }
  TAxessCod2* AccessCode2() const { return accessCode2_; }
  TAxessCod3* AccessCode3() const { return accessCode3_; }

 private:
  TLabelDDS* Field(int i) const;

  TSite_Name* siteName_;
  TDataIndex* dataIndex_;
  TEditorNam* editorName_;
  TLocalizat* localisation_;
  TEdRemarks* remarks_;
  TAxessCod2* accessCode2_;
  TAxessCod3* accessCode3_;
};
