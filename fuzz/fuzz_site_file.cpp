// Loads arbitrary bytes as a site file, and as a site file received from the panel.
//
// A rejected input must carry a message; a site that loads must check, save and load
// again, and saving what was loaded a second time must give the same bytes. Anything
// but a std::exception escaping is a fault and is left to crash.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "model/Contexte.h"
#include "model/Crc16.h"
#include "model/Diagnosis.h"
#include "model/Projet.h"
#include "model/SiteImage.h"
#include "model/Zavo.h"
#include "platform/StringList.h"

namespace {

// The panel type every input is read under: the program's default.
constexpr std::uint8_t kPanelType = 7;
// The save time stamp changes from one save to the next; the CRC covers it.
constexpr std::size_t kStampOffset = 262;
constexpr std::size_t kStampSize = 10;

std::string gFolder;
std::string gInputPath;
std::string gSavedPath;
std::string gResavedPath;
std::string gReceivedPath;
std::unique_ptr<TCrc16DDS> gCrc;

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz_site_file: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  std::abort();
}

void RequireMessage(const std::exception& e, const char* where) {
  if (e.what() == nullptr || e.what()[0] == '\0') Fail(where, "rejected without a message");
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Fail("cannot create", path);
  if (size > 0 && std::fwrite(data, 1, size, f) != size) Fail("cannot write", path);
  if (std::fclose(f) != 0) Fail("cannot close", path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) Fail("cannot read", path);
  std::vector<std::uint8_t> bytes(size);
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) Fail("cannot read", path);
  return bytes;
}

void RemoveQuietly(const std::string& path) {
  ::unlink(path.c_str());
  ::unlink((path.substr(0, path.size() - 4) + ".bak").c_str());
}

void SaveCurrent(const std::string& path) {
  // No earlier file, so no backup copy: every run does the same work.
  RemoveQuietly(path);
  try {
    SaveDatabase(*CurrentDatabase(), path);
  } catch (const std::exception& e) {
    Fail("a loaded site does not save", e.what());
  }
}

bool SameButStamp(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != kSiteImageSize || b.size() != kSiteImageSize) return false;
  for (std::size_t i = 0; i < kSiteCrcOffset; ++i) {
    if (i >= kStampOffset && i < kStampOffset + kStampSize) continue;
    if (a[i] != b[i]) return false;
  }
  return true;
}

void LoadSite(const std::uint8_t* data, std::size_t size) {
  WriteFile(gInputPath, data, size);
  GetContexte().SetCurrentPanelType(kPanelType);
  try {
    OpenDatabase(gInputPath);
  } catch (const std::exception& e) {
    RequireMessage(e, "OpenDatabase");
    if (IsDatabaseLoaded()) Fail("a rejected file left a database open");
    return;
  }
  if (!IsDatabaseLoaded()) Fail("OpenDatabase succeeded without a database");

  platform::StringList findings;
  CollectSiteChecks(*CurrentDatabase()->Root(), findings);
  SaveCurrent(gSavedPath);
  try {
    OpenDatabase(gSavedPath);
  } catch (const std::exception& e) {
    Fail("a saved site does not load", e.what());
  }
  SaveCurrent(gResavedPath);
  CloseDatabase();
  if (!SameButStamp(ReadFile(gSavedPath), ReadFile(gResavedPath))) Fail("a saved site does not save back the same");
}

void RewriteReceived(const std::uint8_t* data, std::size_t size) {
  WriteFile(gReceivedPath, data, size);
  std::string fileName;
  bool manualFlag = false;
  try {
    RewriteReceivedSiteFile(gReceivedPath, fileName, manualFlag);
  } catch (const std::exception& e) {
    RequireMessage(e, "RewriteReceivedSiteFile");
    return;
  }
  std::vector<std::uint8_t> rewritten = ReadFile(gReceivedPath);
  if (rewritten.size() != kSiteImageSize) Fail("a rewritten file is not one site image", std::to_string(rewritten.size()));
  if (size < kSiteImageSize || std::memcmp(rewritten.data(), data, kSiteImageSize) != 0) {
    Fail("a rewritten file is not the start of the received one");
  }
}

void RemoveFolder() {
  std::error_code ec;
  std::filesystem::remove_all(gFolder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // tmpfs when there is one: each save syncs to disk.
  std::string base = "/dev/shm";
  struct stat st {};
  if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(base.c_str(), W_OK) != 0) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp && *tmp ? tmp : "/tmp";
  }
  std::string pattern = base + "/kvx-fuzz-XXXXXX";
  if (!::mkdtemp(pattern.data())) Fail("cannot create a temporary folder in", base);
  gFolder = pattern;
  std::atexit(RemoveFolder);
  gInputPath = gFolder + "/input.srd";
  gSavedPath = gFolder + "/saved.srd";
  gResavedPath = gFolder + "/resaved.srd";
  gReceivedPath = gFolder + "/received.srd";

  // The context reads and writes its settings under HOME on first use.
  ::setenv("HOME", gFolder.c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  GetContexte().SetCurrentPanelType(kPanelType);
  gCrc = std::make_unique<TCrc16DDS>();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LoadSite(data, size);
  RewriteReceived(data, size);

  // Most mutations break the CRC; the same bytes with a correct one reach the decoders.
  if (size == kSiteImageSize) {
    std::vector<std::uint8_t> fixed(data, data + size);
    std::uint16_t crc = gCrc->Compute(fixed.data(), kSiteCrcOffset);
    fixed[kSiteCrcOffset] = static_cast<std::uint8_t>(crc & 0xFF);
    fixed[kSiteCrcOffset + 1] = static_cast<std::uint8_t>(crc >> 8);
    if (std::memcmp(fixed.data() + kSiteCrcOffset, data + kSiteCrcOffset, 2) != 0) LoadSite(fixed.data(), size);
  }
  return 0;
}
