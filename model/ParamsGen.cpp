#include "model/ParamsGen.h"

#include "platform/CodePage.h"
#include "platform/Convert.h"
#include "platform/Format.h"
#include "platform/Texts.h"

using platform::LoadStr;

TSite_Name::TSite_Name() { Bind(34, 20); }
void TSite_Name::Reset() { text_ = LoadStr(475); }
void TSite_Name::ReadImage() { text_ = ReadTrimmed(position_, width_); }
void TSite_Name::WriteImage() { WriteCentred(text_, position_, width_); }
void TSite_Name::SetText(std::string_view text) { text_ = platform::Trim(text); }

TDataIndex::TDataIndex() { Bind(54, 1); }
void TDataIndex::Reset() { text_ = LoadStr(80); }

bool TDataIndex::IsValid(std::string_view text) const {
  if (text.size() != 1) return false;
  auto c = static_cast<unsigned char>(platform::AnsiUpperChar(text[0]));
  return c >= 'A' && c <= 'Z';
}

bool TDataIndex::IsValidMsg(std::string_view text, std::string& message) const {
  if (IsValid(text)) return true;
  message = text.size() == 1 ? LoadStr(95) : platform::FmtLoadStr(94, {width_});
  return false;
}

void TDataIndex::SetText(std::string_view text) {
  if (IsValid(text)) text_ = platform::AnsiUpperCase(text);
}

TEditorNam::TEditorNam() { Bind(55, 20); }
TLocalizat::TLocalizat() { Bind(75, 20); }
TEdRemarks::TEdRemarks() { Bind(95, 160); }

TAxessCode::TAxessCode(std::size_t offset, int defaultTextId) : defaultTextId_(defaultTextId) { Bind(offset, 3); }

void TAxessCode::Reset() { text_ = LoadStr(defaultTextId_); }

bool TAxessCode::IsValid(std::string_view text) const {
  return !text.empty() && text.size() <= 3 && platform::IsDecimalDigits(text);
}

bool TAxessCode::IsValidMsg(std::string_view text, std::string& message) const {
  bool sizeOk = !text.empty() && text.size() <= 3;
  bool numberOk = platform::IsDecimalDigits(text);
  if (!numberOk) {
    message = LoadStr(97);
  } else if (!sizeOk) {
    message = LoadStr(96);
  }
  return sizeOk && numberOk;
}

void TAxessCode::SetText(std::string_view text) {
  if (IsValid(text)) text_ = platform::Format("%3.3d", {platform::StrToInt(text)});
}

TAxessCod2::TAxessCod2() : TAxessCode(255, 81) {}
TAxessCod3::TAxessCod3() : TAxessCode(258, 82) {}

TParamsGen::TParamsGen()
    : siteName_(new TSite_Name),
      dataIndex_(new TDataIndex),
      editorName_(new TEditorNam),
      localisation_(new TLocalizat),
      remarks_(new TEdRemarks),
      accessCode2_(new TAxessCod2),
      accessCode3_(new TAxessCod3) {
  TParamsGen::Reset();
}

TParamsGen::~TParamsGen() {
  delete siteName_;
  delete dataIndex_;
  delete editorName_;
  delete localisation_;
  delete remarks_;
  delete accessCode2_;
  delete accessCode3_;
}

TLabelDDS* TParamsGen::Field(int i) const {
  TLabelDDS* fields[] = {siteName_, dataIndex_, editorName_, localisation_, remarks_, accessCode2_, accessCode3_};
  return fields[i];
}

void TParamsGen::Reset() {
  for (int i = 0; i < 7; ++i) Field(i)->Reset();
}

void TParamsGen::ReadImage() {
  for (int i = 0; i < 7; ++i) Field(i)->ReadImage();
}

void TParamsGen::WriteImage() {
  for (int i = 0; i < 7; ++i) Field(i)->WriteImage();
}
