#include "serial/SwAbsPcl.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SlStrMap.h"
#include "serial/SwDispatcher.h"
#include "serial/SwTrace.h"

namespace {

constexpr std::int32_t ecDiskFull = -101;
constexpr std::int32_t ecFileNotOpen = -103;

std::intptr_t RecordParam(PProtocolData P) { return reinterpret_cast<std::intptr_t>(P); }

// A negative code travels in wParam as its 32-bit two's complement.
std::uintptr_t CodeParam(std::int32_t code) {
  return static_cast<std::uintptr_t>(static_cast<std::uint32_t>(code));
}

bool SendToWindow(PProtocolData P, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                  std::intptr_t* result) {
  if (P->ProtocolWindow == 0) return false;
  return SendMessageTimeout(P->ProtocolWindow, msg, wParam, lParam, ProtocolSendTimeoutMs, result);
}

TSioBaseDispatcher* OpenDispatcher(PProtocolData P) {
  if (P->ComPort == nullptr || !P->ComPort->Open()) return nullptr;
  return P->ComPort->Dispatcher();
}

// The dispatcher the transfer runs on, else the open port's.
TSioBaseDispatcher* ActiveDispatcher(PProtocolData P) {
  if (P->Dispatcher != nullptr) return P->Dispatcher;
  return OpenDispatcher(P);
}

void FreeFileBuffer(PProtocolData P) {
  delete[] P->FileBuffer;
  P->FileBuffer = nullptr;
}

void CloseWorkFile(PProtocolData P) {
  if (P->WorkFile >= 0) ::close(P->WorkFile);
  P->WorkFile = -1;
}

std::int32_t LastFileError() { return SioFileErrorCode(errno); }

std::uint32_t FileDateOf(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return 0;
  return apPackDosDate(st.st_mtime);
}

// Writes all of count bytes at offset; 0, or the code to report.
std::int32_t WriteAt(PProtocolData P, const std::uint8_t* data, std::int32_t count, std::int32_t offset) {
  if (count <= 0) return 0;
  TSioBaseDispatcher* d = apOptionsAreOn(P, apRTSLowForWrite) ? ActiveDispatcher(P) : nullptr;
  if (d != nullptr) d->SetRts(false);
  std::int32_t result = 0;
  std::int32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(P->WorkFile, data + done, static_cast<std::size_t>(count - done),
                               static_cast<off_t>(offset) + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = errno == ENOSPC ? ecDiskFull : LastFileError();
      break;
    }
    if (n == 0) {
      result = ecDiskFull;
      break;
    }
    done += static_cast<std::int32_t>(n);
  }
  if (d != nullptr) d->SetRts(true);
  return result;
}

// Reads up to count bytes at offset; the count read, or a negative code.
std::int32_t ReadAt(int fd, std::uint8_t* data, std::int32_t count, std::int32_t offset) {
  std::int32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, data + done, static_cast<std::size_t>(count - done),
                              static_cast<off_t>(offset) + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastFileError();
    }
    if (n == 0) break;
    done += static_cast<std::int32_t>(n);
  }
  return done;
}

// The wildcards of a mask are "*" and "?"; a name with neither is taken literally.
bool HasWildcards(const std::string& mask) { return mask.find_first_of("*?") != std::string::npos; }

void CloseSearch(PProtocolData P) { P->SearchRec = TProtocolSearch{}; }

std::uint16_t ListCapacity(const std::uint8_t* list) {
  return static_cast<std::uint16_t>(list[0] | (list[1] << 8));
}

const std::uint32_t* CrcTable() {
  static const auto table = [] {
    static std::uint32_t t[256];
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t crc = i << 8;
      for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
      t[i] = crc & 0xFFFF;
    }
    return t;
  }();
  return table;
}

const std::uint32_t* Crc32Table() {
  static const auto table = [] {
    static std::uint32_t t[256];
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t crc = i;
      for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
      t[i] = crc;
    }
    return t;
  }();
  return table;
}

}  // namespace

// ---- Record life cycle ---------------------------------------------------------------

std::int32_t apInitProtocolData(PProtocolData& P, TSioCustomComPort* ComPort, std::uint32_t Options) {
  P = new TProtocolData();
  P->ComPort = ComPort;
  P->Flags = Options;
  P->WriteFailAction = wfWriteRename;
  P->UpcaseFileNames = true;
  P->ActCPS = (ComPort != nullptr && ComPort->Open()) ? ComPort->Baud() / 10 : 0;
  apCopyName(P->SearchMask, "*.*");
  P->ShowStatus = apMsgStatus;
  P->LogFile = apMsgLog;
  P->NextFile = apMsgNextFile;
  P->AcceptFile = apMsgAcceptFile;
  apResetReadWriteHooks(P);
  return ecOK;
}

void apDoneProtocol(PProtocolData& P) {
  if (P == nullptr) return;
  {
    // A state routine that has just posted the finish may still be leaving the lock.
    std::lock_guard guard(P->DataLock);
  }
  CloseWorkFile(P);
  FreeFileBuffer(P);
  delete[] P->DataBlock;
  delete P;
  P = nullptr;
}

void apAssignProtocolData(PProtocolData Dest, const TProtocolData& Source) {
  if (Dest == &Source) return;
  CloseWorkFile(Dest);
  FreeFileBuffer(Dest);
  delete[] Dest->DataBlock;
  *Dest = Source;  // the lock stays Dest's own
  Dest->DataBlock = nullptr;
  Dest->FileBuffer = nullptr;
  Dest->WorkFile = -1;
  Dest->FileOpen = false;
  Dest->SearchRec = TProtocolSearch{};
  Dest->Dispatcher = nullptr;
  Dest->ProcHandlerId = 0;
  Dest->InProgress = 0;
}

void apResetReadWriteHooks(PProtocolData P) {
  P->PrepareReading = aapPrepareReading;
  P->ReadProtocolBlock = aapReadProtocolBlock;
  P->FinishReading = aapFinishReading;
  P->PrepareWriting = aapPrepareWriting;
  P->WriteProtocolBlock = aapWriteProtocolBlock;
  P->FinishWriting = aapFinishWriting;
}

void apSetProtocolWindow(PProtocolData P, HWND Window) { P->ProtocolWindow = Window; }
void apSetProtocolPort(PProtocolData P, TSioCustomComPort* ComPort) { P->ComPort = ComPort; }

// ---- File lists and search -----------------------------------------------------------

void apSetFileList(PProtocolData P, std::uint8_t* List) { P->FileList = List; }

std::int32_t apMakeFileList(PProtocolData, std::uint8_t*& List, std::uint16_t Size) {
  if (Size < 3) return ecBadArgument;
  List = new std::uint8_t[Size]();
  List[0] = static_cast<std::uint8_t>(Size & 0xFF);
  List[1] = static_cast<std::uint8_t>(Size >> 8);
  return ecOK;
}

void apDisposeFileList(PProtocolData P, std::uint8_t*& List) {
  if (P != nullptr && P->FileList == List) P->FileList = nullptr;
  delete[] List;
  List = nullptr;
}

std::int32_t apAddFileToList(PProtocolData, std::uint8_t* List, const std::string& Name) {
  const std::uint16_t capacity = ListCapacity(List);
  if (capacity <= 3) return ecBadArgument;
  std::uint8_t* text = List + 2;
  const std::uint32_t room = capacity - 2u;
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(text, 0, room));
  if (end == nullptr) return ecBadFileList;
  const auto used = static_cast<std::uint32_t>(end - text);
  const std::uint32_t separator = used > 0 ? 1 : 0;
  if (used + separator + Name.size() + 1 > room || capacity < Name.size() + 1) return ecOutOfMemory;
  std::uint8_t* at = text + used;
  if (separator != 0) *at++ = ';';
  std::memcpy(at, Name.data(), Name.size());
  at[Name.size()] = 0;
  return ecOK;
}

bool apNextFileMask(PProtocolData P, char* FName) {
  FName[0] = 0;
  const std::string mask = P->SearchMask;
  if (mask.empty()) {
    apProtocolError(P, ecNoSearchMask);
    return false;
  }
  const std::string folder = JustPathnameZ(mask);
  const std::string pattern = JustFilenameZ(mask);
  if (P->FindFirstPending) {
    CloseSearch(P);
    std::vector<std::string> names;
    if (!HasWildcards(pattern)) {
      // No wildcards: the mask names one file, taken literally.
      struct stat st {};
      if (::stat(mask.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        names.push_back(pattern);
      } else if (!folder.empty() && ::stat(folder.c_str(), &st) != 0) {
        apProtocolError(P, ecDirNotFound);
        return false;
      }
    } else {
      // "*.*" means every file, as it did where the mask syntax comes from.
      const std::string glob = pattern == "*.*" ? "*" : pattern;
      DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
      if (dir == nullptr) {
        apProtocolError(P, (errno == ENOENT || errno == ENOTDIR) ? ecDirNotFound : LastFileError());
        return false;
      }
      while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (::fnmatch(glob.c_str(), name.c_str(), 0) != 0) continue;
        struct stat st {};
        const std::string full = folder.empty() ? name : AddBackSlashZ(folder) + name;
        if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
      }
      ::closedir(dir);
      std::sort(names.begin(), names.end());
    }
    if (names.empty()) {
      apProtocolError(P, ecNoMatchingFiles);
      return false;
    }
    P->SearchRec.Open = true;
    P->SearchRec.Names = std::move(names);
    P->SearchRec.Index = 0;
    P->FindFirstPending = false;
  }
  if (!P->SearchRec.Open || P->SearchRec.Index >= P->SearchRec.Names.size()) {
    CloseSearch(P);
    return false;
  }
  const std::string& found = P->SearchRec.Names[P->SearchRec.Index++];
  apCopyName(FName, folder.empty() ? found : AddBackSlashZ(folder) + found);
  return true;
}

bool apNextFileList(PProtocolData P, char* FName) {
  FName[0] = 0;
  if (P->FileList == nullptr) return false;
  const std::uint16_t capacity = ListCapacity(P->FileList);
  std::uint32_t at = P->FileListIndex < 2 ? 2 : P->FileListIndex;
  if (at >= capacity || P->FileList[at] == 0) return false;
  std::string name;
  while (at < capacity && P->FileList[at] != 0 && P->FileList[at] != ';') {
    if (name.size() >= MaxFileListName) {
      apProtocolError(P, ecBadFileList);
      return false;
    }
    name.push_back(static_cast<char>(P->FileList[at++]));
  }
  if (at < capacity && P->FileList[at] == ';') ++at;
  P->FileListIndex = at;
  apCopyName(FName, name);
  return !name.empty();
}

// ---- Queries and settings ------------------------------------------------------------

std::int32_t apGetBytesTransferred(PProtocolData P) {
  TSioBaseDispatcher* d = ActiveDispatcher(P);
  if (d == nullptr) return 0;
  const std::int32_t waiting = d->OutBuffUsed();
  if (waiting < static_cast<std::int32_t>(P->BlockLen) || P->BlockLen == 0) return P->BytesTransferred;
  const std::int32_t total = P->BytesTransferred +
                             (waiting / static_cast<std::int32_t>(P->BlockLen)) * static_cast<std::int32_t>(P->Overhead) -
                             waiting;
  return std::max(total, 0);
}

std::int32_t apGetBytesRemaining(PProtocolData P) {
  return std::max(P->FileLength - apGetBytesTransferred(P), 0);
}

bool apSupportsBatch(PProtocolData P) { return P->BatchProtocol; }
std::int32_t apGetInitialFilePos(PProtocolData P) { return P->InitialPosition; }

std::int32_t apEstimateTransferSecs(PProtocolData P, std::int32_t Bytes) {
  if (Bytes == 0) return 0;
  const std::int64_t cps = P->ActCPS;
  const std::int64_t denominator = static_cast<std::int64_t>(P->TurnDelay) * cps / 1000 + P->BlockLen + P->Overhead;
  if (denominator <= 0) return 0;
  const std::int64_t efficiency = static_cast<std::int64_t>(P->BlockLen) * 100 / denominator;
  const std::int64_t rate = cps * efficiency / 100;
  if (rate <= 0) return 0;
  return static_cast<std::int32_t>(Bytes / rate);
}

std::uint32_t apGetProtocolInfo(PProtocolData P, TProtocolInfo& Info) {
  Info.piProtocolStatus = P->ProtocolStatus;
  Info.piProtocolError = P->ProtocolError;
  Info.piProtocolType = P->ProtocolType;
  Info.piFileName = P->PathName;
  Info.piFileLength = P->FileLength;
  Info.piBytesTransferred = apGetBytesTransferred(P);
  Info.piBytesRemaining = apGetBytesRemaining(P);
  Info.piInitialPosition = P->InitialPosition;
  Info.piElapsedTicks = P->ElapsedTicks;
  Info.piBlockErrors = P->BlockErrors;
  Info.piTotalErrors = P->TotalErrors;
  Info.piBlockSize = P->BlockLen;
  Info.piBlockNum = P->BlockLen != 0 ? static_cast<std::uint32_t>(Info.piBytesTransferred) / P->BlockLen : 0;
  Info.piBlockCheck = P->BlockCheckMethod;
  Info.piFlags = P->Flags;
  return P->Flags;
}

void apSetFileMask(PProtocolData P, const std::string& NewMask) { apCopyName(P->SearchMask, NewMask); }

void apSetReceiveFilename(PProtocolData P, const std::string& FName) {
  if (FName.find('/') != std::string::npos) {
    apCopyName(P->PathName, FName);
    return;
  }
  const std::string dir = P->DestDirectory;
  apCopyName(P->PathName, dir.empty() ? FName : AddBackSlashZ(dir) + FName);
}

void apSetDestinationDirectory(PProtocolData P, const std::string& Dir) { apCopyName(P->DestDirectory, Dir); }

void apSetHandshakeWait(PProtocolData P, std::int32_t NewHandshake, std::uint32_t NewRetry) {
  if (NewHandshake != 0) P->HandshakeWait = NewHandshake;
  if (NewRetry != 0) P->HandshakeRetry = NewRetry;
}

void apSetEfficiencyParms(PProtocolData P, std::uint32_t BlockOverhead, std::uint32_t TurnAroundDelay) {
  P->Overhead = BlockOverhead;
  P->TurnDelay = TurnAroundDelay;
}

void apSetOverwriteOption(PProtocolData P, std::uint8_t Opt) {
  if (Opt <= wfWriteResume) P->WriteFailAction = Opt;
}

void apSetActualBPS(PProtocolData P, std::uint32_t BPS) {
  std::uint32_t bits = 10;
  if (P->ComPort != nullptr && P->ComPort->Open()) {
    bits = P->ComPort->DataBits() + 2u;
    if (P->ComPort->Parity() != pNone) ++bits;
  }
  P->ActCPS = BPS / bits;
}

void apSetStatusInterval(PProtocolData P, std::int32_t NewInterval) { P->StatusInterval = NewInterval; }

void apOptionsOn(PProtocolData P, std::uint32_t OptionFlags) { P->Flags |= OptionFlags & ~apReservedOptions; }
void apOptionsOff(PProtocolData P, std::uint32_t OptionFlags) { P->Flags &= ~(OptionFlags & ~apReservedOptions); }
bool apOptionsAreOn(PProtocolData P, std::uint32_t OptionFlags) {
  const std::uint32_t bits = OptionFlags & ~apReservedOptions;
  return (P->Flags & bits) == bits;
}

// ---- Transfer control ----------------------------------------------------------------

void apStartProtocol(PProtocolData P, std::uint8_t Protocol, TProtocolFunc StateProc, TPrepareProc PrepProc) {
  P->ProtocolType = Protocol;
  P->StateRoutine = StateProc;
  P->BatchStarted = false;
  P->FindFirstPending = true;
  P->FileListIndex = 2;
  P->ProtocolError = 0;

  TSioBaseDispatcher* d = OpenDispatcher(P);
  P->Dispatcher = d;
  if (d == nullptr) {
    P->ProtocolError = ecFileNotOpen;
    apSignalFinish(P);
    return;
  }

  d->ChangeLengthTrigger(1);
  P->TimeoutTrigger = d->AddTimerTrigger();
  P->StatusTrigger = d->AddTimerTrigger();
  P->OutBuffFreeTrigger = d->AddStatusTrigger(skOutBuffFree);
  P->OutBuffUsedTrigger = d->AddStatusTrigger(skOutBuffUsed);
  P->NoCarrierTrigger = d->AddStatusTrigger(skModemStatus);
  if (P->TimeoutTrigger < 0 || P->StatusTrigger < 0 || P->OutBuffFreeTrigger < 0 || P->OutBuffUsedTrigger < 0) {
    P->ProtocolError = ecNoMoreTriggers;
    apSignalFinish(P);
    return;
  }

  d->SetDataPointer(P, 1);
  const std::int32_t lParam = d->Handle() * 65536;
  {
    std::lock_guard guard(P->DataLock);
    if (PrepProc != nullptr) PrepProc(P);
    if (P->ProtocolError != 0) {
      apSignalFinish(P);
      return;
    }
  }

  if (StateProc == nullptr) {
    P->ProtocolError = ecBadProtocolFunction;
    apSignalFinish(P);
    return;
  }
  StateProc(0, 0, lParam);
  {
    std::lock_guard guard(P->DataLock);
    if (P->ProtocolError != 0) return;  // the engine has finished the transfer itself

    d->SetTimerTrigger(P->StatusTrigger, P->StatusInterval, true);

    if (apOptionsAreOn(P, apAbortNoCarrier)) {
      if (!d->CheckDCD()) {
        P->ProtocolError = ecAbortNoCarrier;
        apSignalFinish(P);
        return;
      }
      d->SetStatusTrigger(P->NoCarrierTrigger, 0x80, true);
    }

    P->ProcHandlerId = d->RegisterProcTriggerHandler(
        [StateProc](std::uint32_t msg, std::uint32_t wParam, std::int32_t lp) { StateProc(msg, wParam, lp); });
  }
  // Bytes that came before the handler was in place were announced to nobody; the next
  // notification would only come with more bytes.
  if (d->CharReady()) StateProc(MsgTriggerAvail, 0, lParam);
}

void apStopProtocol(PProtocolData P) {
  TSioBaseDispatcher* d = ActiveDispatcher(P);
  std::int32_t* handles[] = {&P->TimeoutTrigger, &P->StatusTrigger, &P->OutBuffFreeTrigger, &P->OutBuffUsedTrigger,
                             &P->NoCarrierTrigger};
  for (std::int32_t* h : handles) {
    if (*h > 0 && d != nullptr) d->RemoveTrigger(*h);
    *h = 0;
  }
  if (d != nullptr) {
    if (P->ProcHandlerId > 0) d->DeregisterProcTriggerHandler(P->ProcHandlerId);
    void* slot = nullptr;
    if (d->GetDataPointer(slot, 1) == ecOK && slot == P) d->SetDataPointer(nullptr, 1);
  }
  P->ProcHandlerId = 0;
  CloseSearch(P);
  if (P->FileOpen || P->WorkFile >= 0) {
    CloseWorkFile(P);
    FreeFileBuffer(P);
    P->FileOpen = false;
  }
}

void apResetStatus(PProtocolData P) {
  if (P->InProgress == 0) {
    P->FileLength = 0;
    P->BytesRemaining = 0;
  }
  P->BytesTransferred = 0;
  P->BlockNum = 0;
  P->ElapsedTicks = 0;
  P->BlockErrors = 0;
  P->TotalErrors = 0;
  P->ProtocolStatus = psOK;
  P->ProtocolError = 0;
}

void apShowFirstStatus(PProtocolData P) {
  if (P->ShowStatus != nullptr) P->ShowStatus(P, P->InProgress == 0 ? StatusFirst : 0);
  ++P->InProgress;
}

void apShowLastStatus(PProtocolData P) {
  if (P->InProgress <= 0) return;
  --P->InProgress;
  if (P->ShowStatus != nullptr) P->ShowStatus(P, P->InProgress == 0 ? StatusLast : 0);
}

void apSignalFinish(PProtocolData P) {
  TSioBaseDispatcher* d = ActiveDispatcher(P);
  apStopProtocol(P);
  if (P->ProtocolError == 0) {
    switch (P->ProtocolStatus) {
      case psFileRejected: P->ProtocolError = ecFileRejected; break;
      case psCantWriteFile: P->ProtocolError = ecCantWriteFile; break;
      case psTimeout: P->ProtocolError = ecTimeout; break;
      case psProtocolError: P->ProtocolError = ecProtocolError; break;
      case psCancelRequested: P->ProtocolError = ecCancelRequested; break;
      case psSequenceError: P->ProtocolError = ecSequenceError; break;
      case psAbortNoCarrier: P->ProtocolError = ecAbortNoCarrier; break;
      case psAbort: P->ProtocolError = ecProtocolAbort; break;
      default: break;
    }
  }
  const std::int32_t code = P->ProtocolError;
  if (d != nullptr && d->IsDispatchLogging()) {
    const std::string text = "ErrorCode:" + std::to_string(code);
    d->AddDispatchEntry(apDispatchType(P->ProtocolType), dstStatus, 0, text.data(),
                        static_cast<std::uint32_t>(text.size()));
  }
  P->Dispatcher = nullptr;
  if (P->ProtocolWindow != 0) PostMessage(P->ProtocolWindow, MsgProtocolFinish, CodeParam(code), RecordParam(P));
}

void apProtocolError(PProtocolData P, std::int32_t Code) {
  SendToWindow(P, MsgProtocolError, CodeParam(Code), 0, nullptr);
  P->ProtocolError = Code;
}

bool apFindProtocolData(std::int32_t lParam, TSioBaseDispatcher*& D, PProtocolData& P) {
  const auto handle = static_cast<std::int32_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
  D = GetTComRecPtr(handle);
  P = nullptr;
  if (D == nullptr) return false;
  void* slot = nullptr;
  if (D->GetDataPointer(slot, 1) != ecOK || slot == nullptr) return false;
  P = static_cast<PProtocolData>(slot);
  return true;
}

void apHandleStatus(PProtocolData P, std::uint32_t wParam) {
  if (!(P->StatusTrigger > 0 && wParam == static_cast<std::uint32_t>(P->StatusTrigger)) && !P->ForceStatus) return;
  if (P->TimerStarted) P->ElapsedTicks = ElapsedTime(P->Timer);
  TSioBaseDispatcher* d = ActiveDispatcher(P);
  if (d == nullptr || P->StatusTrigger <= 0) return;
  std::int32_t remaining = 0;
  d->TimerTicksRemaining(P->StatusTrigger, remaining);
  if (remaining <= 0) {
    if (P->ShowStatus != nullptr) P->ShowStatus(P, 0);
    d->SetTimerTrigger(P->StatusTrigger, P->StatusInterval, true);
    P->ForceStatus = false;
  }
}

void apLogState(PProtocolData P, TDispatchType Type, TDispatchSubType SubType) {
  TSioBaseDispatcher* d = ActiveDispatcher(P);
  if (d != nullptr && d->IsDispatchLogging()) d->AddDispatchEntry(Type, SubType, 0, nullptr, 0);
}

TDispatchType apDispatchType(std::uint8_t Protocol) {
  switch (Protocol) {
    case ptXmodem:
    case ptXmodemCRC:
    case ptXmodem1K:
    case ptXmodem1KG: return dtXModem;
    case ptYmodem:
    case ptYmodemG: return dtYModem;
    case ptZmodem: return dtZModem;
    case ptKermit: return dtKermit;
    case ptAscii: return dtAscii;
    default: return dtNone;
  }
}

// ---- Default hooks ----------------------------------------------------------------------

void apMsgStatus(PProtocolData P, std::uint16_t Options) {
  SendToWindow(P, MsgProtocolStatus, Options, RecordParam(P), nullptr);
}

void apMsgLog(PProtocolData P, std::uint16_t Log) { SendToWindow(P, MsgProtocolLog, Log, RecordParam(P), nullptr); }

bool apMsgNextFile(PProtocolData P, char* FName) {
  std::intptr_t result = 0;
  if (!SendToWindow(P, MsgProtocolNextFile, 0, reinterpret_cast<std::intptr_t>(FName), &result)) return false;
  return result != 0;
}

bool apMsgAcceptFile(PProtocolData P, char* FName) {
  // Without a window there is nobody to refuse the file.
  if (P->ProtocolWindow == 0) return true;
  std::intptr_t result = 0;
  if (!SendToWindow(P, MsgProtocolAcceptFile, 0, reinterpret_cast<std::intptr_t>(FName), &result)) return false;
  return result == 1;
}

std::string apStatusMsg(std::int32_t Status) {
  if (Status < psOK || Status > psHostResume) return {};
  return std::string(MessageNumberToString(Status));
}

char* apStatusMsg(char* Buffer, std::size_t Size, std::int32_t Status) {
  if (Size == 0) return Buffer;
  const std::string text = apStatusMsg(Status);
  const std::size_t n = std::min(text.size(), Size - 1);
  std::memcpy(Buffer, text.data(), n);
  Buffer[n] = 0;
  return Buffer;
}

// ---- Block checks ------------------------------------------------------------------------

std::uint32_t apUpdateChecksum(std::uint8_t CurByte, std::uint32_t CheckSum) { return CheckSum + CurByte; }

std::uint32_t apUpdateCrc(std::uint8_t CurByte, std::uint32_t CurCrc) {
  return (CrcTable()[(CurCrc >> 8) & 0xFF] ^ (CurCrc << 8) ^ CurByte) & 0xFFFF;
}

std::uint32_t apUpdateCrcKermit(std::uint8_t CurByte, std::uint32_t CurCrc) {
  std::uint32_t data = CurByte;
  for (int i = 0; i < 8; ++i) {
    const bool bit = ((data ^ CurCrc) & 1) != 0;
    CurCrc >>= 1;
    if (bit) CurCrc ^= 0x8408;
    data >>= 1;
  }
  return CurCrc & 0xFFFF;
}

std::uint32_t apUpdateCrc32(std::uint8_t CurByte, std::uint32_t CurCrc) {
  return Crc32Table()[(CurCrc ^ CurByte) & 0xFF] ^ (CurCrc >> 8);
}

std::uint16_t apCrc16OfBlock(const std::uint8_t* Data, std::uint32_t Length) {
  // The direct (non-augmented) table step gives the same value as feeding two zeros.
  const std::uint32_t* table = CrcTable();
  std::uint32_t crc = 0;
  for (std::uint32_t i = 0; i < Length; ++i) crc = (table[((crc >> 8) ^ Data[i]) & 0xFF] ^ (crc << 8)) & 0xFFFF;
  return static_cast<std::uint16_t>(crc);
}

std::uint32_t apCrc32OfFile(PProtocolData P, const std::string& FName, std::int32_t Length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  const int fd = ::open(FName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    apProtocolError(P, LastFileError());
    P->BlockCheck = crc;
    return crc;
  }
  std::vector<std::uint8_t> buffer(FileBufferSize);
  std::int64_t left = Length > 0 ? Length : INT64_MAX;
  while (left > 0) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, FileBufferSize));
    const ssize_t n = ::read(fd, buffer.data(), want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) crc = apUpdateCrc32(buffer[static_cast<std::size_t>(i)], crc);
    left -= n;
  }
  ::close(fd);
  P->BlockCheck = crc;
  return crc;
}

// ---- Octal and time stamps ---------------------------------------------------------------

std::string apTrimZeros(const std::string& S) {
  std::string s = S;
  while (!s.empty() && static_cast<unsigned char>(s.back()) < 33) s.pop_back();
  std::size_t i = 0;
  while (i + 1 < s.size() && (static_cast<unsigned char>(s[i]) < 33 || s[i] == '0')) ++i;
  return s.substr(i);
}

std::string apOctalStr(std::uint32_t L) {
  std::string s(12, '0');
  for (int i = 11; i >= 0; --i) {
    s[static_cast<std::size_t>(i)] = static_cast<char>('0' + (L & 7));
    L >>= 3;
  }
  return s;
}

std::int32_t apOctalStr2Long(const std::string& S) {
  const std::string s = apTrimZeros(S);
  if (s.size() > 11) return 0;
  std::uint32_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '7') return 0;
    value = value * 8 + static_cast<std::uint32_t>(c - '0');
  }
  return static_cast<std::int32_t>(value);
}

std::uint32_t apPackDosDate(std::int64_t UnixSecs) {
  const auto t = static_cast<std::time_t>(UnixSecs);
  std::tm tm {};
  if (::gmtime_r(&t, &tm) == nullptr) return 0;
  const int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  const std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const std::uint32_t time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

std::int64_t apUnpackDosDate(std::uint32_t Packed) {
  const std::uint32_t date = Packed >> 16;
  const std::uint32_t time = Packed & 0xFFFF;
  std::tm tm {};
  tm.tm_year = static_cast<int>((date >> 9) + 1980 - 1900);
  tm.tm_mon = static_cast<int>(((date >> 5) & 15)) - 1;
  tm.tm_mday = static_cast<int>(date & 31);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 63);
  tm.tm_sec = static_cast<int>((time & 31) * 2);
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
    return 0;
  return static_cast<std::int64_t>(::timegm(&tm));
}

std::int32_t apPackToYMTimeStamp(std::uint32_t RawTime) {
  const std::int64_t secs = apUnpackDosDate(RawTime);
  if (secs <= 0 || secs > INT32_MAX) return 0;
  return static_cast<std::int32_t>(secs);
}

std::uint32_t apYMTimeStampToPack(std::int32_t YMTime) { return apPackDosDate(YMTime); }

std::int32_t apCurrentTimeStamp() { return apPackToYMTimeStamp(apPackDosDate(std::time(nullptr))); }

// ---- Default reader ------------------------------------------------------------------------

void aapPrepareReading(PProtocolData P) {
  if (P->FileOpen) return;
  if (P->PathName[0] == 0) {
    apProtocolError(P, ecFileNotFound);
    return;
  }
  P->FileBuffer = new std::uint8_t[FileBufferSize];
  const int fd = ::open(P->PathName, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const std::int32_t code = LastFileError();
    FreeFileBuffer(P);
    apProtocolError(P, code);
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    FreeFileBuffer(P);
    apProtocolError(P, ecAccessDenied);
    return;
  }
  P->WorkFile = fd;
  P->FileLength = (st.st_size >= 0 && st.st_size <= INT32_MAX) ? static_cast<std::int32_t>(st.st_size) : 0;
  P->BytesRemaining = P->FileLength;
  if (P->ShowStatus != nullptr) P->ShowStatus(P, 0);
  P->FileDate = FileDateOf(fd);
  P->FileOfs = 0;
  P->StartOfs = 0;
  P->EndOfs = 0;
  P->LastOfs = 0;
  P->EndPending = false;
  P->FileOpen = true;
}

bool aapReadProtocolBlock(PProtocolData P, std::uint8_t* Block, std::uint32_t& BlockSize) {
  if (!P->FileOpen || P->FileBuffer == nullptr) {
    apProtocolError(P, ecFileNotOpen);
    BlockSize = 0;
    return true;
  }
  const auto count = static_cast<std::int32_t>(std::min(BlockSize, FileBufferSize));
  if (P->FileOfs >= P->FileLength) {
    BlockSize = 0;
    return true;
  }
  if (P->EndOfs < P->FileOfs) P->EndOfs = P->FileOfs;
  if (P->FileOfs < P->LastOfs) P->EndOfs = P->FileOfs;

  if (P->FileOfs + count > P->EndOfs) {
    const std::int32_t keep = P->EndOfs - P->FileOfs;
    if (keep > 0) std::memmove(P->FileBuffer, P->FileBuffer + (P->FileOfs - P->StartOfs), static_cast<std::size_t>(keep));
    const std::int32_t want = static_cast<std::int32_t>(FileBufferSize) - keep;
    const std::int32_t got = ReadAt(P->WorkFile, P->FileBuffer + keep, want, P->EndOfs);
    if (got < 0) {
      apProtocolError(P, got);
      BlockSize = 0;
      return true;
    }
    P->StartOfs = P->FileOfs;
    P->EndOfs = P->FileOfs + static_cast<std::int32_t>(FileBufferSize);
    if (got < want) {
      P->EndOfDataOfs = P->StartOfs + keep + got;
      std::memset(P->FileBuffer + keep + got, BlockFillChar, static_cast<std::size_t>(want - got));
      P->EndPending = true;
    } else {
      P->EndPending = false;
    }
  }

  std::memcpy(Block, P->FileBuffer + (P->FileOfs - P->StartOfs), static_cast<std::size_t>(count));
  P->LastOfs = P->FileOfs;
  if (P->EndPending && P->FileOfs + count >= P->EndOfDataOfs) {
    BlockSize = static_cast<std::uint32_t>(P->EndOfDataOfs - P->FileOfs);
    return true;
  }
  BlockSize = static_cast<std::uint32_t>(count);
  return false;
}

void aapFinishReading(PProtocolData P) {
  if (!P->FileOpen) return;
  CloseWorkFile(P);
  FreeFileBuffer(P);
  P->FileOpen = false;
}

// ---- Default writer ------------------------------------------------------------------------

void aapPrepareWriting(PProtocolData P) {
  P->FileBuffer = new std::uint8_t[FileBufferSize];
  const int probe = ::open(P->PathName, O_RDONLY | O_CLOEXEC);
  const int probeErr = errno;
  bool exists = probe >= 0;
  if (probe >= 0) ::close(probe);
  if (!exists && probeErr != ENOENT) {
    // It may be there but unreadable: that is no licence to overwrite it.
    FreeFileBuffer(P);
    apProtocolError(P, SioFileErrorCode(probeErr));
    return;
  }
  if (exists && P->WriteFailAction == wfWriteFail) {
    FreeFileBuffer(P);
    P->ProtocolStatus = psCantWriteFile;
    P->ForceStatus = true;
    return;
  }
  if (exists && P->WriteFailAction == wfWriteRename) {
    const std::string path = P->PathName;
    const std::string folder = JustPathnameZ(path);
    std::string name = JustFilenameZ(path);
    if (!name.empty()) name[0] = '$';
    apCopyName(P->PathName, folder.empty() ? name : AddBackSlashZ(folder) + name);
  }
  if (P->ShowStatus != nullptr) P->ShowStatus(P, 0);
  const int fd = ::open(P->PathName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    const std::int32_t code = LastFileError();
    FreeFileBuffer(P);
    apProtocolError(P, code);
    return;
  }
  P->WorkFile = fd;
  P->StartOfs = 0;
  P->LastOfs = 0;
  P->EndOfs = static_cast<std::int32_t>(FileBufferSize);
  P->FileOpen = true;
}

bool aapWriteProtocolBlock(PProtocolData P, const std::uint8_t* Block, std::uint32_t BlockSize) {
  P->ProtocolError = 0;
  if (!P->FileOpen || P->FileBuffer == nullptr) {
    apProtocolError(P, ecFileNotOpen);
    return true;
  }
  const auto count = static_cast<std::int32_t>(std::min(BlockSize, FileBufferSize));
  if (P->FileOfs < P->LastOfs) {
    if (P->StartOfs < P->FileOfs) {
      const std::int32_t code = WriteAt(P, P->FileBuffer, P->FileOfs - P->StartOfs, P->StartOfs);
      if (code != 0) {
        apProtocolError(P, code);
        return true;
      }
    }
    P->StartOfs = P->FileOfs;
    P->EndOfs = P->FileOfs + static_cast<std::int32_t>(FileBufferSize);
  }
  if (P->FileOfs + count > P->EndOfs) {
    const std::int32_t code = WriteAt(P, P->FileBuffer, P->FileOfs - P->StartOfs, P->StartOfs);
    if (code != 0) {
      apProtocolError(P, code);
      return true;
    }
    P->StartOfs = P->FileOfs;
    P->LastOfs = P->FileOfs;
    P->EndOfs = P->FileOfs + static_cast<std::int32_t>(FileBufferSize);
  }
  std::memcpy(P->FileBuffer + (P->FileOfs - P->StartOfs), Block, static_cast<std::size_t>(count));
  P->LastOfs = P->FileOfs + count;
  return false;
}

void aapFinishWriting(PProtocolData P) {
  if (!P->FileOpen) return;
  if (P->FileBuffer != nullptr && P->WorkFile >= 0) {
    const std::int32_t code = WriteAt(P, P->FileBuffer, P->FileOfs - P->StartOfs, P->StartOfs);
    if (code != 0) apProtocolError(P, code);
  }
  struct stat st {};
  if (P->WorkFile >= 0 && ::fstat(P->WorkFile, &st) == 0) {
    P->FileLength = st.st_size <= INT32_MAX ? static_cast<std::int32_t>(st.st_size) : INT32_MAX;
    P->FileDate = apPackDosDate(st.st_mtime);
  }
  if (P->WorkFile >= 0 && ::close(P->WorkFile) != 0) apProtocolError(P, LastFileError());
  P->WorkFile = -1;
  FreeFileBuffer(P);
  P->FileOpen = false;
}

// ---- Helpers ---------------------------------------------------------------------------------

void apUpcaseName(char* Name) {
  for (char* c = Name; *c != 0; ++c)
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
}

void apCopyName(char* Dest, const std::string& Text) {
  const std::size_t n = std::min<std::size_t>(Text.size(), NameBufferSize - 1);
  std::memcpy(Dest, Text.data(), n);
  Dest[n] = 0;
}
