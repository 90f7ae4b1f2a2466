// The layer the transfer engines share: block checks, texts, octal and time stamps, the
// buffered reader and writer, file lists and the file search, and the start and finish of
// a transfer as the protocol component's window sees them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "serial/PtyPair.h"
#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SwAbsPcl.h"
#include "serial/SwDispatcher.h"
#include "serial/SwMsgWindow.h"
#include "serial/SwTPcl.h"
#include "serial/SwXModem.h"
#include "support/LineSimFixture.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::size_t n, std::uint8_t seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(serialtest::Pattern(i, seed));
  return s;
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

// A record without a port or window, in a folder of its own.
class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kvx-pcl-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(apInitProtocolData(P, nullptr, 0), 0);
  }
  void TearDown() override {
    apDoneProtocol(P);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  PProtocolData P = nullptr;
  std::string dir_;
};

// ---- Block checks, texts, octal, time stamps -----------------------------------------

TEST(BlockCheck, PublishedCheckValues) {
  const std::string digits = "123456789";
  std::uint32_t crc = 0;
  for (char c : digits) crc = apUpdateCrc(static_cast<std::uint8_t>(c), crc);
  crc = apUpdateCrc(0, apUpdateCrc(0, crc));
  EXPECT_EQ(crc, 0x31C3u);
  EXPECT_EQ(apCrc16OfBlock(reinterpret_cast<const std::uint8_t*>(digits.data()), 9), 0x31C3);

  std::uint32_t kermit = 0;
  for (char c : digits) kermit = apUpdateCrcKermit(static_cast<std::uint8_t>(c), kermit);
  EXPECT_EQ(kermit, 0x2189u);

  std::uint32_t crc32 = 0xFFFFFFFFu;
  for (char c : digits) crc32 = apUpdateCrc32(static_cast<std::uint8_t>(c), crc32);
  EXPECT_EQ(~crc32, 0xCBF43926u);

  std::uint32_t sum = 0;
  for (char c : digits) sum = apUpdateChecksum(static_cast<std::uint8_t>(c), sum);
  EXPECT_EQ(sum & 0xFF, (49u + 50 + 51 + 52 + 53 + 54 + 55 + 56 + 57) & 0xFF);
}

TEST(BlockCheck, TheBlockCrcMatchesTheAugmentedStepOnAnyData) {
  const std::string data = Bytes(1024, 9);
  std::uint32_t crc = 0;
  for (char c : data) crc = apUpdateCrc(static_cast<std::uint8_t>(c), crc);
  crc = apUpdateCrc(0, apUpdateCrc(0, crc));
  EXPECT_EQ(apCrc16OfBlock(reinterpret_cast<const std::uint8_t*>(data.data()), 1024), crc);
}

TEST_F(RecordTest, Crc32OfAFileStopsAtTheLengthAndKeepsTheRegister) {
  WriteFile(Path("f"), "123456789tail");
  EXPECT_EQ(apCrc32OfFile(P, Path("f"), 9), ~0xCBF43926u);
  EXPECT_EQ(P->BlockCheck, ~0xCBF43926u);
  apCrc32OfFile(P, Path("missing"), 0);
  EXPECT_EQ(P->ProtocolError, ecFileNotFound);
}

TEST(StatusText, TextsAsTheTableHasThem) {
  EXPECT_EQ(apStatusMsg(psOK), "OK");
  EXPECT_EQ(apStatusMsg(psCantWriteFile), "File skipped ");
  EXPECT_EQ(apStatusMsg(psDuplicateBlock), "Duplicate block received and ignored ");
  EXPECT_EQ(apStatusMsg(psHostResume), "B+ host is resuming");
  for (std::int32_t empty : {4724, 4725, 4726, 4729, 4730, 4699, 4731, -6005}) EXPECT_EQ(apStatusMsg(empty), "") << empty;
  char small[4];
  EXPECT_STREQ(apStatusMsg(small, sizeof small, psTimeout), "Tim");
}

TEST(Octal, TwelveDigitsAndTheirTrimmedReading) {
  EXPECT_EQ(apOctalStr(8), "000000000010");
  EXPECT_EQ(apOctalStr(0xFFFFFFFFu), "037777777777");
  EXPECT_EQ(apOctalStr2Long("  0017 "), 15);
  EXPECT_EQ(apOctalStr2Long("000000000017"), 15);  // leading zeros are trimmed first
  EXPECT_EQ(apOctalStr2Long("123456701234"), 0);   // twelve significant digits
  EXPECT_EQ(apOctalStr2Long("18"), 0);
  EXPECT_EQ(apOctalStr2Long("0"), 0);
  EXPECT_EQ(apTrimZeros(" \t000 "), "0");
  EXPECT_EQ(apTrimZeros("0070\r\n"), "70");
}

TEST(TimeStamp, PackedDatesAreUtcSecondsSince1970) {
  const std::int64_t t = 1582983930;  // 2020-02-29 13:45:30 UTC
  const std::uint32_t packed = apPackDosDate(t);
  EXPECT_EQ(packed >> 16, ((2020u - 1980) << 9) | (2u << 5) | 29u);
  EXPECT_EQ(packed & 0xFFFF, (13u << 11) | (45u << 5) | 15u);
  EXPECT_EQ(apPackToYMTimeStamp(packed), t);
  EXPECT_EQ(apYMTimeStampToPack(static_cast<std::int32_t>(t)), packed);
  EXPECT_EQ(apPackToYMTimeStamp(0), 0);  // month 0 is no date
  EXPECT_EQ(apYMTimeStampToPack(100), 0u);  // before 1980
  EXPECT_GT(apCurrentTimeStamp(), 1700000000);
}

// ---- Reader ------------------------------------------------------------------------------

// Reads the file in blocks of size as an engine does; the counts and whether each was last.
std::vector<std::pair<std::uint32_t, bool>> ReadAll(PProtocolData P, std::uint32_t size, std::string& data) {
  std::vector<std::pair<std::uint32_t, bool>> reads;
  std::uint8_t block[1024];
  for (int guard = 0; guard < 10000; ++guard) {
    std::uint32_t count = size;
    const bool last = aapReadProtocolBlock(P, block, count);
    reads.emplace_back(count, last);
    data.append(reinterpret_cast<const char*>(block), size);
    P->FileOfs += static_cast<std::int32_t>(count);
    if (last) break;
  }
  return reads;
}

TEST_F(RecordTest, ReadingAFileInBlocksPadsTheLastWithFillBytes) {
  const std::string file = Bytes(10322, 1);
  WriteFile(Path("site.bin"), file);
  apCopyName(P->PathName, Path("site.bin"));
  aapPrepareReading(P);
  ASSERT_TRUE(P->FileOpen);
  EXPECT_EQ(P->FileLength, 10322);
  EXPECT_NE(P->FileDate, 0u);
  std::string data;
  const auto reads = ReadAll(P, 128, data);
  ASSERT_EQ(reads.size(), 81u);
  for (std::size_t i = 0; i + 1 < reads.size(); ++i) EXPECT_EQ(reads[i], std::make_pair(128u, false)) << i;
  EXPECT_EQ(reads.back(), std::make_pair(82u, true));
  EXPECT_EQ(data.substr(0, file.size()), file);
  EXPECT_EQ(data.substr(file.size()), std::string(46, '\x1A'));
  aapFinishReading(P);
  EXPECT_FALSE(P->FileOpen);
  EXPECT_EQ(P->FileBuffer, nullptr);
}

TEST_F(RecordTest, ReadingEdgeLengths) {
  struct Case {
    std::size_t size;
    std::uint32_t block;
    std::size_t reads;
    std::uint32_t lastCount;
  };
  for (const Case& c : {Case{0, 128, 1, 0}, Case{1, 128, 1, 1}, Case{8192, 1024, 9, 0}, Case{8193, 1024, 9, 1},
                        Case{16384, 128, 129, 0}, Case{1024, 128, 8, 128}}) {
    const std::string file = Bytes(c.size, 2);
    WriteFile(Path("f.bin"), file);
    apCopyName(P->PathName, Path("f.bin"));
    P->FileOfs = 0;
    aapPrepareReading(P);
    std::string data;
    const auto reads = ReadAll(P, c.block, data);
    EXPECT_EQ(reads.size(), c.reads) << c.size;
    EXPECT_EQ(reads.back(), std::make_pair(c.lastCount, true)) << c.size;
    EXPECT_EQ(data.substr(0, file.size()), file) << c.size;
    aapFinishReading(P);
  }
}

TEST_F(RecordTest, AReaderThatGoesBackReadsTheSameBytesAgain) {
  const std::string file = Bytes(20000, 3);
  WriteFile(Path("f.bin"), file);
  apCopyName(P->PathName, Path("f.bin"));
  aapPrepareReading(P);
  std::uint8_t block[1024];
  for (std::int32_t ofs : {0, 9216, 1024, 19456, 8192}) {
    P->FileOfs = ofs;
    std::uint32_t count = 1024;
    aapReadProtocolBlock(P, block, count);
    const std::size_t valid = std::min<std::size_t>(1024, file.size() - static_cast<std::size_t>(ofs));
    EXPECT_EQ(count, valid) << ofs;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), valid), file.substr(static_cast<std::size_t>(ofs), valid)) << ofs;
  }
  aapFinishReading(P);
}

TEST_F(RecordTest, ReadingWithoutAFileReportsIt) {
  aapPrepareReading(P);
  EXPECT_EQ(P->ProtocolError, ecFileNotFound);
  apCopyName(P->PathName, Path("nothing"));
  aapPrepareReading(P);
  EXPECT_EQ(P->ProtocolError, ecFileNotFound);
  EXPECT_FALSE(P->FileOpen);
  EXPECT_EQ(P->FileBuffer, nullptr);
}

// ---- Writer ------------------------------------------------------------------------------

TEST_F(RecordTest, WritingBlocksAcrossTheBufferAndBackAgain) {
  apCopyName(P->PathName, Path("out.bin"));
  aapPrepareWriting(P);
  ASSERT_TRUE(P->FileOpen);
  const std::string file = Bytes(20000, 4);
  for (std::size_t ofs = 0; ofs < file.size(); ofs += 1000) {
    P->FileOfs = static_cast<std::int32_t>(ofs);
    EXPECT_FALSE(aapWriteProtocolBlock(P, reinterpret_cast<const std::uint8_t*>(file.data()) + ofs, 1000));
  }
  // The engine goes back and writes a block again, as after a lost acknowledgement.
  P->FileOfs = 19000;
  EXPECT_FALSE(aapWriteProtocolBlock(P, reinterpret_cast<const std::uint8_t*>(file.data()) + 19000, 1000));
  P->FileOfs = 20000;
  aapFinishWriting(P);
  EXPECT_FALSE(P->FileOpen);
  EXPECT_EQ(P->FileLength, 20000);
  EXPECT_EQ(ReadWholeFile(Path("out.bin")), file);
}

TEST_F(RecordTest, ExistingTargetsByWriteFailAction) {
  struct Case {
    std::uint8_t action;
    const char* written;  // the file that receives the data
    bool oldKept;
  };
  for (const Case& c : {Case{wfWriteRename, "$ATA.BIN", true}, Case{wfWriteAnyway, "DATA.BIN", false},
                        Case{wfWriteNone, "DATA.BIN", false}, Case{wfWriteResume, "DATA.BIN", false}}) {
    WriteFile(Path("DATA.BIN"), "old");
    WriteFile(Path("$ATA.BIN"), "an earlier rename");
    apSetOverwriteOption(P, c.action);
    apCopyName(P->PathName, Path("DATA.BIN"));
    aapPrepareWriting(P);
    ASSERT_TRUE(P->FileOpen) << int(c.action);
    EXPECT_EQ(std::string(P->PathName), Path(c.written));
    P->FileOfs = 0;
    aapWriteProtocolBlock(P, reinterpret_cast<const std::uint8_t*>("new"), 3);
    P->FileOfs = 3;
    aapFinishWriting(P);
    EXPECT_EQ(ReadWholeFile(Path(c.written)), "new") << int(c.action);
    if (c.oldKept) {
      EXPECT_EQ(ReadWholeFile(Path("DATA.BIN")), "old");
    }
  }
}

TEST_F(RecordTest, WriteFailLeavesAnExistingFileAlone) {
  WriteFile(Path("DATA.BIN"), "old");
  apSetOverwriteOption(P, wfWriteFail);
  apCopyName(P->PathName, Path("DATA.BIN"));
  aapPrepareWriting(P);
  EXPECT_FALSE(P->FileOpen);
  EXPECT_EQ(P->ProtocolStatus, psCantWriteFile);
  EXPECT_EQ(P->ProtocolError, 0);
  EXPECT_EQ(P->FileBuffer, nullptr);
  EXPECT_EQ(ReadWholeFile(Path("DATA.BIN")), "old");
  apSetOverwriteOption(P, 9);  // out of range: unchanged
  EXPECT_EQ(P->WriteFailAction, wfWriteFail);
}

TEST_F(RecordTest, WritingFailuresAreReported) {
  apCopyName(P->PathName, Path("no/such/folder/f"));
  aapPrepareWriting(P);
  EXPECT_EQ(P->ProtocolError, ecFileNotFound);  // ENOENT of the missing folder
  EXPECT_FALSE(P->FileOpen);
  EXPECT_TRUE(aapWriteProtocolBlock(P, reinterpret_cast<const std::uint8_t*>("x"), 1));
  EXPECT_EQ(P->ProtocolError, -103);
  if (::access("/dev/full", W_OK) == 0) {
    apCopyName(P->PathName, "/dev/full");
    apSetOverwriteOption(P, wfWriteAnyway);
    aapPrepareWriting(P);
    ASSERT_TRUE(P->FileOpen);
    P->FileOfs = 0;
    aapWriteProtocolBlock(P, reinterpret_cast<const std::uint8_t*>("x"), 1);
    P->FileOfs = 1;
    aapFinishWriting(P);
    EXPECT_EQ(P->ProtocolError, -101);  // disk full
  }
}

// ---- File lists and the file search --------------------------------------------------------

TEST_F(RecordTest, AFileListIsWalkedNameByName) {
  std::uint8_t* list = nullptr;
  ASSERT_EQ(apMakeFileList(P, list, 40), 0);
  EXPECT_EQ(apAddFileToList(P, list, "one.bin"), 0);
  EXPECT_EQ(apAddFileToList(P, list, "two.bin"), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(list + 2)), "one.bin;two.bin");
  EXPECT_EQ(apAddFileToList(P, list, std::string(30, 'x')), ecOutOfMemory);
  apSetFileList(P, list);
  P->FileListIndex = 2;
  char name[NameBufferSize];
  EXPECT_TRUE(apNextFileList(P, name));
  EXPECT_STREQ(name, "one.bin");
  EXPECT_TRUE(apNextFileList(P, name));
  EXPECT_STREQ(name, "two.bin");
  EXPECT_FALSE(apNextFileList(P, name));
  EXPECT_STREQ(name, "");
  apDisposeFileList(P, list);
  EXPECT_EQ(P->FileList, nullptr);

  std::uint8_t tiny[3] = {3, 0, 0};
  EXPECT_EQ(apAddFileToList(P, tiny, "a"), ecBadArgument);
  std::uint8_t unterminated[6] = {6, 0, 'a', 'b', 'c', 'd'};
  EXPECT_EQ(apAddFileToList(P, unterminated, "a"), ecBadFileList);
}

TEST_F(RecordTest, TheSearchMaskFindsFilesOfItsFolderInNameOrder) {
  for (const char* n : {"b.bin", "a.bin", "c.txt", "noext"}) WriteFile(Path(n), "x");
  fs::create_directory(Path("d.bin"));

  const auto all = [&](const std::string& mask) {
    apSetFileMask(P, mask);
    P->FindFirstPending = true;
    P->ProtocolError = 0;
    std::vector<std::string> names;
    char name[NameBufferSize];
    while (apNextFileMask(P, name)) names.emplace_back(name);
    return names;
  };
  EXPECT_EQ(all(Path("*.bin")), (std::vector<std::string>{Path("a.bin"), Path("b.bin")}));
  EXPECT_EQ(all(Path("*.*")).size(), 4u);  // every file, with or without an extension
  EXPECT_EQ(all(Path("noext")), std::vector<std::string>{Path("noext")});
  // Without wildcards the name is literal, brackets and all.
  WriteFile(Path("[a].bin"), "x");
  EXPECT_EQ(all(Path("[a].bin")), std::vector<std::string>{Path("[a].bin")});

  EXPECT_TRUE(all(Path("*.zip")).empty());
  EXPECT_EQ(P->ProtocolError, ecNoMatchingFiles);
  EXPECT_TRUE(all(Path("missing/*.bin")).empty());
  EXPECT_EQ(P->ProtocolError, ecDirNotFound);
  EXPECT_TRUE(all("").empty());
  EXPECT_EQ(P->ProtocolError, ecNoSearchMask);
}

// ---- Settings and sums ------------------------------------------------------------------------

TEST_F(RecordTest, DefaultsAndSettings) {
  EXPECT_EQ(P->HandshakeRetry, 10u);
  EXPECT_EQ(P->HandshakeWait, 182);
  EXPECT_EQ(P->TransmitTimeout, 1092);
  EXPECT_EQ(P->StatusInterval, 10);
  EXPECT_EQ(P->WriteFailAction, wfWriteRename);
  EXPECT_TRUE(P->UpcaseFileNames);
  EXPECT_STREQ(P->SearchMask, "*.*");
  EXPECT_EQ(P->ActCPS, 0u);
  EXPECT_EQ(P->ReadProtocolBlock, aapReadProtocolBlock);
  EXPECT_EQ(P->ShowStatus, apMsgStatus);

  apSetHandshakeWait(P, 0, 3);
  EXPECT_EQ(P->HandshakeWait, 182);
  EXPECT_EQ(P->HandshakeRetry, 3u);

  apOptionsOn(P, 0xFFFF);
  EXPECT_EQ(P->Flags, 0xFFFFu & ~apReservedOptions);
  EXPECT_TRUE(apOptionsAreOn(P, apAbortNoCarrier | apHonorDirectory));
  apOptionsOff(P, apAbortNoCarrier);
  EXPECT_FALSE(apOptionsAreOn(P, apAbortNoCarrier | apHonorDirectory));

  apSetDestinationDirectory(P, "/data/in");
  apSetReceiveFilename(P, "site.bin");
  EXPECT_STREQ(P->PathName, "/data/in/site.bin");
  apSetReceiveFilename(P, "other/site.bin");  // a name with a folder is taken as it is
  EXPECT_STREQ(P->PathName, "other/site.bin");

  apSetActualBPS(P, 9600);  // no open port: 10 bits a character
  EXPECT_EQ(P->ActCPS, 960u);
}

TEST_F(RecordTest, TransferTimeEstimates) {
  ASSERT_EQ(xpReinit(P, true, false, false), 0);
  P->ActCPS = 960;
  // 128 * 100 / (1000 * 960 / 1000 + 128 + 5) = 11 %: 105 characters a second.
  EXPECT_EQ(apEstimateTransferSecs(P, 10322), 10322 / 105);
  EXPECT_EQ(apEstimateTransferSecs(P, 0), 0);
  P->ActCPS = 0;
  EXPECT_EQ(apEstimateTransferSecs(P, 10322), 0);
}

TEST_F(RecordTest, XmodemVariantsSetTheirModes) {
  struct Case {
    bool crc, oneK, g;
    std::uint8_t type;
    std::uint32_t blockLen;
    std::uint8_t check;
  };
  for (const Case& c : {Case{false, false, false, ptXmodem, 128, bcmChecksum}, Case{true, false, false, ptXmodemCRC, 128, bcmCrc16},
                        Case{false, true, false, ptXmodem1K, 1024, bcmCrc16}, Case{false, false, true, ptXmodem1KG, 1024, bcmCrc16}}) {
    ASSERT_EQ(xpReinit(P, c.crc, c.oneK, c.g), 0);
    EXPECT_EQ(P->ProtocolType, c.type);
    EXPECT_EQ(P->BlockLen, c.blockLen);
    EXPECT_EQ(P->BlockCheckMethod, c.check);
    EXPECT_EQ(P->BlockWait, 91);
    EXPECT_EQ(P->TurnDelay, c.g ? 0u : 1000u);
  }
  EXPECT_EQ(xpSetCRCMode(P, false), 0);  // a 1K type keeps its CRC
  EXPECT_TRUE(P->CRCMode);
  P->ProtocolType = ptZmodem;
  EXPECT_EQ(xpSetCRCMode(P, true), ecBadProtocolFunction);
  EXPECT_EQ(xpSetBlockWait(P, 10), ecBadProtocolFunction);
}

TEST(RoutineTable, XmodemTypesRunTheXmodemEngine) {
  for (std::uint8_t t : {ptXmodem, ptXmodemCRC, ptXmodem1K, ptXmodem1KG}) {
    const TProtocolRoutines& r = ProtocolRoutines(t);
    EXPECT_EQ(r.Transmit, xpTransmit);
    EXPECT_EQ(r.PrepareTransmit, xpPrepareTransmit);
    EXPECT_EQ(r.Receive, xpReceive);
    EXPECT_EQ(r.PrepareReceive, xpPrepareReceive);
  }
  EXPECT_EQ(ProtocolRoutines(ptNoProtocol).Transmit, nullptr);
  EXPECT_EQ(ProtocolRoutines(200).Receive, nullptr);
}

// ---- Start and finish, as the component's window sees them -----------------------------------

class TransferControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread();
    wnd_ = CreateMsgWindow("swMsgHandler", [this](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
      if (msg == MsgProtocolFinish) finish_ = static_cast<std::int16_t>(wParam);
      if (msg == MsgProtocolStatus) statusOptions_.push_back(static_cast<std::uint16_t>(wParam));
      return msg == MsgProtocolAcceptFile ? 1 : 0;
    });
    port_.SetComNumber(7);
    port_.SetBaud(19200);
  }
  void TearDown() override {
    port_.SetOpen(false);
    const auto end = std::chrono::steady_clock::now() + testwait::kPatience;
    while (port_.PortState() != psClosed && std::chrono::steady_clock::now() < end)
      if (PumpOneMessage() == 0) WaitForMessages(5);
    if (P != nullptr) apDoneProtocol(P);
    DestroyMsgWindow(wnd_);
  }
  bool WaitFinish() {
    const auto end = std::chrono::steady_clock::now() + testwait::kPatience;
    while (!finish_ && std::chrono::steady_clock::now() < end)
      if (PumpOneMessage() == 0) WaitForMessages(10);
    return finish_.has_value();
  }

  serialtest::PtyPair pty_;
  TSioComPort port_;
  PProtocolData P = nullptr;
  HWND wnd_ = 0;
  std::optional<std::int32_t> finish_;
  std::vector<std::uint16_t> statusOptions_;
};

TEST_F(TransferControlTest, StartingOnAClosedPortFinishesAtOnce) {
  ASSERT_EQ(apInitProtocolData(P, &port_, 0), 0);
  apSetProtocolWindow(P, wnd_);
  apStartProtocol(P, ptXmodemCRC, xpTransmit, xpPrepareTransmit);
  ASSERT_TRUE(WaitFinish());
  EXPECT_EQ(*finish_, -103);
}

TEST_F(TransferControlTest, TheOpenPortGivesTheLineRate) {
  port_.SetOpen(true);
  ASSERT_EQ(apInitProtocolData(P, &port_, 0), 0);
  EXPECT_EQ(P->ActCPS, 1920u);
  apSetActualBPS(P, 115200);  // 8 data bits, no parity: 10 bits a character
  EXPECT_EQ(P->ActCPS, 11520u);
}

TEST_F(TransferControlTest, ACancelledTransferFinishesWithTheCancelCodeInTheDispatchLog) {
  port_.SetOpen(true);
  TSioBaseDispatcher* d = port_.Dispatcher();
  ASSERT_EQ(d->InitDispatchLogging(10000), 0);
  ASSERT_EQ(xpInit(P, &port_, true, false, false, 0), 0);
  apSetProtocolWindow(P, wnd_);
  apSetReceiveFilename(P, pty_.Dir() + "/in.bin");
  apStartProtocol(P, P->ProtocolType, xpReceive, xpPrepareReceive);
  {
    std::lock_guard guard(P->DataLock);
    EXPECT_EQ(P->InProgress, 1);
    EXPECT_GT(P->TimeoutTrigger, 0);
  }
  xpReceive(MsgProtocolCancel, 0, d->Handle() * 65536);
  ASSERT_TRUE(WaitFinish());
  EXPECT_EQ(*finish_, ecCancelRequested);
  {
    std::lock_guard guard(P->DataLock);
    EXPECT_EQ(P->InProgress, 0);
    EXPECT_EQ(P->TimeoutTrigger, 0);
    EXPECT_FALSE(P->FileOpen);
  }
  // Every trigger of the transfer is gone again.
  TTriggerRecord record;
  TTriggerType type;
  for (std::int32_t h = 8; h <= 64; h += 8) EXPECT_NE(d->FindTriggerFromHandle(h, false, record, type), 0) << h;
  ASSERT_FALSE(statusOptions_.empty());
  EXPECT_EQ(statusOptions_.front(), StatusFirst);
  EXPECT_EQ(statusOptions_.back(), StatusLast);
  const std::string log = pty_.Dir() + "/dispatch.log";
  ASSERT_EQ(d->DumpDispatchLog(log, false, false), 0);
  EXPECT_NE(ReadWholeFile(log).find("ErrorCode:-6005"), std::string::npos) << ReadWholeFile(log);
}

TEST_F(TransferControlTest, CarrierLossAbortsWhenAsked) {
  // A pty reports carrier detect on; the option is armed and a transfer starts normally.
  port_.SetOpen(true);
  ASSERT_EQ(xpInit(P, &port_, true, false, false, apAbortNoCarrier), 0);
  apSetProtocolWindow(P, wnd_);
  apSetReceiveFilename(P, pty_.Dir() + "/in.bin");
  apStartProtocol(P, P->ProtocolType, xpReceive, xpPrepareReceive);
  EXPECT_FALSE(finish_.has_value());
  xpReceive(MsgProtocolCancel, 0, port_.Dispatcher()->Handle() * 65536);
  ASSERT_TRUE(WaitFinish());
  EXPECT_EQ(*finish_, ecCancelRequested);
}

}  // namespace
