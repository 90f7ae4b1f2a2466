// Decodes arbitrary bytes as a site image, in memory.
//
// A rejected input must carry a message. A site that decodes must check and encode; that encoding must decode, and encode back to the very
// same bytes. The first encoding need not equal the input: the model drops what it does
// not keep (the manual flag, the old map version, out-of-range values) and writes its
// own software version and time stamp. Anything but a std::exception escaping is a
// fault and is left to crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Crc16.h"
#include "model/Diagnosis.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/Clock.h"
#include "platform/StringList.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The panel type every input is read under: the program's default.
constexpr std::uint8_t kPanelType = 7;

std::string gHome;
std::unique_ptr<TCrc16DDS> gCrc;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_site_file: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

// A new site every time, as a file open makes one: the managers cross-link their elements
// through globals, a failed decode leaves some elements read and the rest as they were,
// and a decode makes the file's panel type the program's.
TZavo& FreshSite() {
  CloseDatabase();
  GetContexte().SetCurrentPanelType(kPanelType);
  NewDatabase("fuzz", "/");
  return *CurrentDatabase()->Root();
}

void RequireMessage(const std::exception& e) {
  if (e.what() == nullptr || e.what()[0] == '\0') Fail("rejected without a message");
}

// Decodes into a fresh site; answers the message of the refusal, empty when it decoded.
std::string Decode(const std::uint8_t* data, std::size_t size) {
  try {
    FreshSite().DecodeImage(data, size);
    return {};
  } catch (const std::exception& e) {
    RequireMessage(e);
    CloseDatabase();
    return e.what();
  }
}

Bytes EncodeCurrent(const char* what) {
  try {
    return CurrentDatabase()->Root()->EncodeImage();
  } catch (const std::exception& e) {
    Fail(what, e.what());
  }
}

void RoundTrip(const std::uint8_t* data, std::size_t size) {
  if (!Decode(data, size).empty()) return;
  platform::StringList findings;
  CollectSiteChecks(*CurrentDatabase()->Root(), findings);
  const Bytes encoded = EncodeCurrent("a decoded site does not encode");
  if (std::string why = Decode(encoded.data(), encoded.size()); !why.empty()) Fail("an encoded site does not decode", why);
  if (EncodeCurrent("a decoded encoding does not encode") != encoded) Fail("an encoded site does not encode back the same");
  CloseDatabase();
}

void RemoveHome() {
  std::error_code ec;
  std::filesystem::remove_all(gHome, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The context reads and writes its settings under HOME when it is made; once, here.
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kvx-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) Fail("cannot create a folder for the settings in", pattern);
  gHome = pattern;
  std::atexit(RemoveHome);
  ::setenv("HOME", gHome.c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  GetContexte().SetCurrentPanelType(kPanelType);
  gCrc = std::make_unique<TCrc16DDS>();
  // A fixed time stamp, so that two encodings of one site are the same bytes.
  platform::SetFixedNow(platform::LocalDateTime{2031, 1, 1, 9, 5, 0});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Most mutations break the CRC, which is checked last, after every element was decoded.
  // So a whole image is decoded with a correct CRC only: that runs the decoders as the
  // input would, then goes on to the encoders instead of to the CRC's refusal.
  if (size == kSiteImageSize) {
    Bytes fixed(data, data + size);
    std::uint16_t crc = gCrc->Compute(fixed.data(), kSiteCrcOffset);
    fixed[kSiteCrcOffset] = static_cast<std::uint8_t>(crc & 0xFF);
    fixed[kSiteCrcOffset + 1] = static_cast<std::uint8_t>(crc >> 8);
    RoundTrip(fixed.data(), size);
    return 0;
  }
  RoundTrip(data, size);
  return 0;
}
