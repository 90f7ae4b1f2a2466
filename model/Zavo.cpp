#include "model/Zavo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "model/Crc16.h"
#include "model/Groupes.h"
#include "model/Header.h"
#include "model/Lignes.h"
#include "model/ParamsGen.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/SiteImage.h"
#include "model/SiteSettings.h"
#include "model/Zones.h"
#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/Texts.h"

using platform::LoadStr;

namespace {

// Closes the descriptor on every way out.
class FileReader {
 public:
  explicit FileReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // The size of a regular file; -1 when it is not one.
  long long Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
  }

  bool ReadExactly(std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::read(fd_, buffer + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

// Text 92 unless size bytes hold one site image (at least one when not exact).
void CheckImageSize(long long size, bool exact) {
  auto expected = static_cast<long long>(kSiteImageSize);
  if (exact ? size != expected : size < expected) throw platform::Exception(LoadStr(92));
}

// The first kSiteImageSize bytes of a file that must hold at least that many (exactly
// that many when exact); the size is checked before anything is read.
std::vector<std::uint8_t> ReadSiteFile(const std::string& path, bool exact) {
  FileReader file(path);
  long long size = file.Size();
  if (size < 0) throw platform::Exception(LoadStr(90));
  CheckImageSize(size, exact);
  std::vector<std::uint8_t> buffer(kSiteImageSize);
  if (!file.ReadExactly(buffer.data(), kSiteImageSize)) throw platform::Exception(LoadStr(93));
  return buffer;
}

void WriteSiteFile(const std::string& path, const std::uint8_t* buffer) {
  std::string cause;
  platform::AtomicStage stage = platform::AtomicStage::None;
  if (!platform::WriteFileAtomic(path, buffer, kSiteImageSize, &cause, &stage)) {
    int id = stage == platform::AtomicStage::Create ? 90 : 91;
    throw platform::Exception(LoadStr(id) + (cause.empty() ? std::string() : "\r\n" + cause));
  }
}

}  // namespace

TZavo::TZavo(const std::string& name, std::uint8_t panelType) {
  panelType_ = new TPanelType(panelType);
  manuModif_ = new TManuModif;
  datTim_ = new TDatTimDDS;
  verSft_ = new TVerSftDDS;
  verMap_ = new TVerMapDDS;
  filNam_ = new TFilNamDDS;
  crc_ = new TCrc16DDS;
  paramsGen_ = new TParamsGen;
  points_ = new TGstPoints;
  relais_ = new TGstRelais;
  zones_ = new TGstZones;
  lignes_ = new TGstLignes;
  sigEvt_ = new TGstSigEvt;
  groups_ = new TGstGroups;
  carIn1_ = new TCarIn1DDS;
  carIn2_ = new TCarIn2DDS;
  thresholds_ = new TAlarmThresholds;
  pulseExt_ = new TResPulExt;
  dayNight_ = new TDayNightF;
  lineSound_ = new TLineSound;
  security_ = new TSecurity;
  filNam_->SetText(name);
  TZavo::Reset();
}

TZavo::~TZavo() {
  // Zone and line lists only refer to points, so the points go last.
  delete panelType_;
  delete manuModif_;
  delete datTim_;
  delete verSft_;
  delete verMap_;
  delete filNam_;
  delete crc_;
  delete carIn1_;
  delete carIn2_;
  delete thresholds_;
  delete pulseExt_;
  delete dayNight_;
  delete lineSound_;
  delete security_;
  delete paramsGen_;
  delete zones_;
  delete lignes_;
  delete sigEvt_;
  delete groups_;
  delete relais_;
  delete points_;
}

void TZavo::Reset() {
  TElemDDS* order[] = {paramsGen_, relais_,   lignes_,     zones_,     points_,   sigEvt_,
                       groups_,    carIn1_,   carIn2_,     thresholds_, pulseExt_, dayNight_,
                       lineSound_, security_, manuModif_, verSft_,    verMap_};
  for (TElemDDS* e : order) e->Reset();
  programMapVersion_ = verMap_->Number();
  WriteImage();
}

void TZavo::ReadImage() {
  panelType_->ReadImage();
  verMap_->ReadImage();
  verMap_->CheckVersion(programMapVersion_);
  TElemDDS* order[] = {paramsGen_, relais_, lignes_, zones_, points_, sigEvt_, groups_, carIn1_, carIn2_};
  for (TElemDDS* e : order) e->ReadImage();
  if (verMap_->Text() > "0001") thresholds_->ReadImage();
  TElemDDS* rest[] = {pulseExt_, dayNight_, lineSound_, security_, filNam_};
  for (TElemDDS* e : rest) e->ReadImage();
  crc_->ReadImage();
  modified_ = false;
}

void TZavo::WriteImage() {
  TElemDDS* order[] = {panelType_, paramsGen_, relais_,     lignes_,   zones_,    points_,
                       sigEvt_,    groups_,    carIn1_,     carIn2_,   thresholds_, pulseExt_,
                       dayNight_,  lineSound_, security_,   manuModif_, filNam_,  verSft_};
  for (TElemDDS* e : order) e->WriteImage();
  verMap_->Reset();
  verMap_->WriteImage();
  datTim_->WriteImage();
  crc_->WriteImage();
  modified_ = false;
}

int TZavo::MapVersion() const { return verMap_->Number(); }

void TZavo::DecodeImage(const std::uint8_t* data, std::size_t size) {
  CheckImageSize(static_cast<long long>(size), true);
  // May be the image itself: a re-decode.
  std::memmove(SiteImage, data, kSiteImageSize);
  ReadImage();
}

std::vector<std::uint8_t> TZavo::EncodeImage() {
  WriteImage();
  return std::vector<std::uint8_t>(SiteImage, SiteImage + kSiteImageSize);
}

void TZavo::LoadFromFile(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadSiteFile(path, true);
  DecodeImage(bytes.data(), bytes.size());
}

void TZavo::SaveToFile(const std::string& path) {
  // The encoding clears the modified flag; a write that fails leaves the changes unsaved.
  const bool modified = modified_;
  const std::vector<std::uint8_t> bytes = EncodeImage();
  try {
    WriteSiteFile(path, bytes.data());
  } catch (...) {
    modified_ = modified;
    throw;
  }
}

void RewriteReceivedSiteFile(const std::string& path, std::string& fileName, bool& manualFlag) {
  const std::vector<std::uint8_t> buffer = ReadSiteFile(path, false);
  WriteSiteFile(path, buffer.data());
  fileName = TElemDDS::ReadText(buffer.data() + 9, 20);
  manualFlag = buffer[33] != 0;
}
