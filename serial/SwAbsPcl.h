// The layer the file-transfer engines share: the per-transfer record TProtocolData,
// starting, stopping and finishing a transfer, the buffered file reader and writer with
// their write-fail actions, the file search for sending, the block checks, the status and
// log codes and the messages that carry them to the protocol component's window.
//
// Threads. An engine's state routine runs on the port's dispatch thread (a procedure
// trigger handler) and, for a cancel, on the user-interface thread; either way inside
// the record's DataLock. Status, log, next-file, accept-file and error messages are sent
// to ProtocolWindow with a 1000 ms time-out (the sender waits, so a handler of one of
// them may read the record freely); the finish message is posted. Anything else on the
// user-interface thread that reads a record while a transfer runs takes DataLock first.
//
// Nothing here raises: failures are codes in ProtocolError and ProtocolStatus, reported by
// MsgProtocolError at once and MsgProtocolFinish at the end.
//
// Platform notes: names go through UpcaseFileNames only where they are exchanged with the
// peer, never local paths; a search mask without wildcards names one file literally, else
// it is matched with fnmatch against the names of its folder; file dates are UTC.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/OoMisc.h"
#include "serial/SwMsgWindow.h"

class TSioCustomComPort;
class TSioBaseDispatcher;

// ---- Enumerations (ordinals fixed) -------------------------------------------------

enum TProtocolType : std::uint8_t {
  ptNoProtocol,
  ptXmodem,
  ptXmodemCRC,
  ptXmodem1K,
  ptXmodem1KG,
  ptYmodem,
  ptYmodemG,
  ptZmodem,
  ptKermit,
  ptAscii
};
constexpr int ProtocolTypeCount = ptAscii + 1;

enum TBlockCheckMethod : std::uint8_t { bcmNone, bcmChecksum, bcmChecksum2, bcmCrc16, bcmCrc32, bcmCrcK };

enum TWriteFailAction : std::uint8_t { wfWriteNone, wfWriteFail, wfWriteRename, wfWriteAnyway, wfWriteResume };

enum TDirection : std::uint8_t { dUpload, dDownload };

// ---- Messages ------------------------------------------------------------------------

constexpr std::uint32_t MsgFromYmodem = 0x7E05;          // YMODEM running an XMODEM step
constexpr std::uint32_t MsgProtocolCancel = 0x7E14;      // to a state routine: cancel
constexpr std::uint32_t MsgProtocolStatus = 0x7E15;      // wParam options (bit 0 first, bit 1 last), lParam record
constexpr std::uint32_t MsgProtocolLog = 0x7E16;         // wParam log code, lParam record
constexpr std::uint32_t MsgProtocolNextFile = 0x7E17;    // lParam 256-byte name buffer; nonzero = given
constexpr std::uint32_t MsgProtocolAcceptFile = 0x7E18;  // lParam name buffer (may be rewritten); 1 = accept
constexpr std::uint32_t MsgProtocolFinish = 0x7E19;      // wParam final code (0 success), lParam record; posted
constexpr std::uint32_t MsgProtocolResume = 0x7E1A;      // wParam proposed TWriteFailAction; no sender here
constexpr std::uint32_t MsgProtocolError = 0x7E1B;       // wParam error code, lParam 0

// How long a sent protocol message may take before the engine goes on without it.
constexpr unsigned ProtocolSendTimeoutMs = 1000;

// Options word of MsgProtocolStatus.
constexpr std::uint16_t StatusFirst = 0x0001;
constexpr std::uint16_t StatusLast = 0x0002;

// ---- Status and log codes ------------------------------------------------------------

enum : std::int32_t {
  psOK = 4700,
  psProtocolHandshake = 4701,
  psInvalidDate = 4702,
  psFileRejected = 4703,
  psFileRenamed = 4704,
  psSkipFile = 4705,
  psFileDoesntExist = 4706,
  psCantWriteFile = 4707,
  psTimeout = 4708,
  psBlockCheckError = 4709,
  psLongPacket = 4710,
  psDuplicateBlock = 4711,
  psProtocolError = 4712,
  psCancelRequested = 4713,
  psEndFile = 4714,
  psResumeBad = 4715,
  psSequenceError = 4716,
  psAbortNoCarrier = 4717,
  psGotCrcE = 4718,
  psGotCrcG = 4719,
  psGotCrcW = 4720,
  psGotCrcQ = 4721,
  psTryResume = 4722,
  psHostResume = 4723,
  psAbort = 4730,
};

enum : std::uint16_t {
  lfReceiveStart = 0,
  lfReceiveOk = 1,
  lfReceiveFail = 2,
  lfReceiveSkip = 3,
  lfTransmitStart = 4,
  lfTransmitOk = 5,
  lfTransmitFail = 6,
  lfTransmitSkip = 7,
};

// ---- Option bits of Flags ------------------------------------------------------------

constexpr std::uint32_t apIncludeDirectory = 0x0001;  // send names with their folder
constexpr std::uint32_t apHonorDirectory = 0x0002;    // use the folder of a received name
constexpr std::uint32_t apRTSLowForWrite = 0x0004;    // drop RTS while writing to disk
constexpr std::uint32_t apAbortNoCarrier = 0x0008;    // abort when carrier detect drops
constexpr std::uint32_t apBP2KTransmit = 0x0080;
constexpr std::uint32_t apAsciiSuppressCtrlZ = 0x0100;
// apOptionsOn/Off never touch these (0x0040 is ZMODEM's own big-subpacket flag).
constexpr std::uint32_t apReservedOptions = 0x0070;
constexpr std::uint32_t apZmodemBigSubpacket = 0x0040;

// ---- Sizes and bytes -------------------------------------------------------------------

constexpr std::uint32_t FileBufferSize = 8192;
constexpr std::uint32_t NameBufferSize = 256;  // PathName, SearchMask, DestDirectory, name buffers
constexpr std::uint8_t BlockFillChar = 0x1A;
constexpr std::uint32_t MaxFileListName = 79;

// Defaults of a fresh record.
constexpr std::uint32_t DefHandshakeRetry = 10;
constexpr std::int32_t DefHandshakeWait = 182;
constexpr std::int32_t DefTransmitTimeout = 1092;
constexpr std::int32_t DefStatusInterval = 10;

// ---- The record ----------------------------------------------------------------------

struct TProtocolData;
using PProtocolData = TProtocolData*;

// A state routine: (message, wParam, lParam) as the dispatcher hands them to a procedure
// handler, or MsgProtocolCancel, or 0 for the first call, or MsgFromYmodem; lParam holds
// the port's dispatcher handle in its high 16 bits. 1 once the transfer is in its final state.
using TProtocolFunc = std::int32_t (*)(std::uint32_t Msg, std::uint32_t wParam, std::int32_t lParam);
using TPrepareProc = void (*)(PProtocolData P);
using ShowStatusProc = void (*)(PProtocolData P, std::uint16_t Options);
using LogFileProc = void (*)(PProtocolData P, std::uint16_t Log);
// The name buffers hold NameBufferSize bytes, zero-terminated.
using NextFileFunc = bool (*)(PProtocolData P, char* FName);
using AcceptFileFunc = bool (*)(PProtocolData P, char* FName);
// Reads up to BlockSize bytes at FileOfs into Block; BlockSize becomes the true count;
// true when this is the file's last block.
using ReadProtProc = bool (*)(PProtocolData P, std::uint8_t* Block, std::uint32_t& BlockSize);
// Writes BlockSize bytes at FileOfs; true on failure.
using WriteProtProc = bool (*)(PProtocolData P, const std::uint8_t* Block, std::uint32_t BlockSize);
using PrepFinishProc = void (*)(PProtocolData P);

// The open search of apNextFileMask: the matching names of one folder, in name order.
struct TProtocolSearch {
  bool Open = false;
  std::vector<std::string> Names;
  std::size_t Index = 0;
};

// The XMODEM engine's states (dispatch-log subtype dst<name>, same order).
enum TXmodemState : std::uint8_t {
  txInitial,
  txHandshake,
  txGetBlock,
  txWaitFreeSpace,
  txSendBlock,
  txDraining,
  txReplyPending,
  txEndDrain,
  txFirstEndOfTransmit,
  txRestEndOfTransmit,
  txEotReply,
  txFinished,
  txDone,
  rxInitial,
  rxWaitForHSReply,
  rxWaitForBlockStart,
  rxCollectBlock,
  rxProcessBlock,
  rxFinishedSkip,
  rxFinished,
  rxDone
};

// The record's lock: recursive, because a hook may call back into the framework on the
// same thread. A copied record gets a lock of its own.
class TProtocolLock {
 public:
  TProtocolLock() = default;
  TProtocolLock(const TProtocolLock&) {}
  TProtocolLock& operator=(const TProtocolLock&) { return *this; }
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }
  bool try_lock() { return m_.try_lock(); }

 private:
  std::recursive_mutex m_;
};

struct TProtocolData {
  // Trigger handles (0 = none).
  std::int32_t StatusTrigger = 0;
  std::int32_t TimeoutTrigger = 0;
  std::int32_t OutBuffFreeTrigger = 0;
  std::int32_t OutBuffUsedTrigger = 0;
  std::int32_t NoCarrierTrigger = 0;
  HWND ProtocolWindow = 0;
  TSioCustomComPort* ComPort = nullptr;
  bool BatchProtocol = false;
  bool BatchStarted = false;
  bool TimerStarted = false;
  std::uint8_t ProtocolType = ptNoProtocol;
  std::uint8_t BlockCheckMethod = bcmNone;
  std::uint32_t HandshakeRetry = DefHandshakeRetry;
  std::int32_t HandshakeWait = DefHandshakeWait;  // ticks
  std::uint32_t HandshakeAttempt = 0;
  std::uint32_t BlockLen = 128;
  std::uint32_t BlockNum = 0;
  std::uint32_t Flags = 0;
  std::int32_t TransmitTimeout = DefTransmitTimeout;  // ticks
  std::int32_t FinishWait = 0;                        // ticks; 0 = computed by the engine
  std::int32_t EOFTimeout = 0;                        // ticks (ASCII receive)
  std::int32_t ProtocolStatus = 0;
  std::uint32_t CurBlockLen = 0;
  std::int32_t ProtocolError = 0;
  std::int32_t FileLength = 0;
  std::uint32_t FileDate = 0;  // packed DOS date and time, UTC
  std::uint32_t BlockCheck = 0;
  std::int32_t InitialPosition = 0;
  std::uint8_t* DataBlock = nullptr;  // owned by the running engine
  TProtocolFunc StateRoutine = nullptr;
  // Held while a state routine runs (std::lock_guard guard(P->DataLock)).
  TProtocolLock DataLock;
  bool ForceStatus = false;
  std::int32_t InProgress = 0;
  std::uint32_t BlockErrors = 0;
  std::uint32_t TotalErrors = 0;
  std::uint32_t ActCPS = 0;
  std::uint32_t Overhead = 0;
  std::uint32_t TurnDelay = 0;  // milliseconds
  std::int32_t StatusInterval = DefStatusInterval;
  std::int32_t SaveStatus = 0;
  std::int32_t BytesRemaining = 0;
  std::int32_t BytesTransferred = 0;
  std::int32_t ElapsedTicks = 0;
  EventTimer Timer;
  bool EndPending = false;
  bool FileOpen = false;
  bool NoMoreData = false;
  std::uint32_t BlockPos = 0;
  std::uint8_t WriteFailAction = wfWriteRename;
  std::int32_t StartOfs = 0;
  std::int32_t EndOfs = 0;
  std::int32_t LastOfs = 0;
  std::int32_t FileOfs = 0;
  std::int32_t EndOfDataOfs = 0;
  std::uint8_t* FileBuffer = nullptr;  // FileBufferSize bytes while the file is open
  std::int32_t SaveMode = 0;
  bool UpcaseFileNames = true;
  bool FindFirstPending = false;
  std::uint32_t FileListIndex = 0;
  char PathName[NameBufferSize] = {};
  char SearchMask[NameBufferSize] = {};
  std::uint8_t* FileList = nullptr;  // see apSetFileList
  TProtocolSearch SearchRec;
  ShowStatusProc ShowStatus = nullptr;
  LogFileProc LogFile = nullptr;
  NextFileFunc NextFile = nullptr;
  AcceptFileFunc AcceptFile = nullptr;
  TPrepareProc PrepareReading = nullptr;
  ReadProtProc ReadProtocolBlock = nullptr;
  PrepFinishProc FinishReading = nullptr;
  TPrepareProc PrepareWriting = nullptr;
  WriteProtProc WriteProtocolBlock = nullptr;
  PrepFinishProc FinishWriting = nullptr;
  int WorkFile = -1;  // file descriptor of the work file (record size 1)
  char DestDirectory[NameBufferSize] = {};

  // Bookkeeping of this implementation: the dispatcher of the running transfer (set by
  // apStartProtocol) and the id of the registered procedure handler.
  TSioBaseDispatcher* Dispatcher = nullptr;
  std::int32_t ProcHandlerId = 0;

  // ---- engine part: XMODEM (the YMODEM engine runs on these too) ----
  bool CRCMode = false;
  bool OneKMode = false;
  bool GMode = false;
  std::uint32_t MaxBlockErrors = 5;
  std::int32_t BlockWait = 91;  // ticks
  std::uint8_t StartChar = 0x01;
  std::uint8_t HandshakeChar = 0x15;
  std::uint32_t EotNakCount = 0;
  std::uint32_t EotCount = 0;
  std::uint32_t CanCount = 0;
  std::uint32_t OverheadLen = 0;
  std::uint8_t XmodemState = txInitial;
  // Receiver: bytes that were no block start have come since its last reply (they count
  // as one error per reply), and since the transfer began.
  bool NoiseSinceReply = false;
  bool NoiseSeen = false;
  // True while the YMODEM engine drives the XMODEM states (no finish of its own).
  bool XmodemSubStep = false;
};

// What apGetProtocolInfo copies out.
struct TProtocolInfo {
  std::int32_t piProtocolStatus = 0;
  std::int32_t piProtocolError = 0;
  std::uint8_t piProtocolType = ptNoProtocol;
  std::string piFileName;
  std::int32_t piFileLength = 0;
  std::int32_t piBytesTransferred = 0;
  std::int32_t piBytesRemaining = 0;
  std::int32_t piInitialPosition = 0;
  std::int32_t piElapsedTicks = 0;
  std::uint32_t piBlockErrors = 0;
  std::uint32_t piTotalErrors = 0;
  std::uint32_t piBlockSize = 0;
  std::uint32_t piBlockNum = 0;
  std::uint8_t piBlockCheck = bcmNone;
  std::uint32_t piFlags = 0;
};

// ---- Record life cycle ---------------------------------------------------------------

// Allocates a fresh record with its lock, the defaults (ActCPS = baud / 10 of an open
// port, else 0; SearchMask "*.*") and the default hooks. Returns 0.
std::int32_t apInitProtocolData(PProtocolData& P, TSioCustomComPort* ComPort, std::uint32_t Options);
// Frees the record (and anything it still owns); P becomes null.
void apDoneProtocol(PProtocolData& P);
// Copies every setting and field of Source into Dest, which keeps its own lock; buffers,
// the open file and the search are not copied (Dest has none). For the component's Assign.
void apAssignProtocolData(PProtocolData Dest, const TProtocolData& Source);
void apResetReadWriteHooks(PProtocolData P);
void apSetProtocolWindow(PProtocolData P, HWND Window);
void apSetProtocolPort(PProtocolData P, TSioCustomComPort* ComPort);

// ---- File lists and search -----------------------------------------------------------

// A file list: 16 bits of capacity in bytes, then from byte 2 names separated by ";",
// ended by a zero byte.
void apSetFileList(PProtocolData P, std::uint8_t* List);
// Allocates a list of Size bytes (capacity in its head, empty); apDisposeFileList frees it.
std::int32_t apMakeFileList(PProtocolData P, std::uint8_t*& List, std::uint16_t Size);
void apDisposeFileList(PProtocolData P, std::uint8_t*& List);
// ecBadArgument when the capacity is 3 or less, ecBadFileList without a terminating zero,
// ecOutOfMemory when the name does not fit; else 0.
std::int32_t apAddFileToList(PProtocolData P, std::uint8_t* List, const std::string& Name);
// Next file matching SearchMask into FName (NameBufferSize bytes); true when found.
bool apNextFileMask(PProtocolData P, char* FName);
// Next name of the file list into FName; false and "" at the end.
bool apNextFileList(PProtocolData P, char* FName);

// ---- Queries and settings ------------------------------------------------------------

std::int32_t apGetBytesTransferred(PProtocolData P);
std::int32_t apGetBytesRemaining(PProtocolData P);
bool apSupportsBatch(PProtocolData P);
std::int32_t apGetInitialFilePos(PProtocolData P);
std::int32_t apEstimateTransferSecs(PProtocolData P, std::int32_t Bytes);
std::uint32_t apGetProtocolInfo(PProtocolData P, TProtocolInfo& Info);
void apSetFileMask(PProtocolData P, const std::string& NewMask);
void apSetReceiveFilename(PProtocolData P, const std::string& FName);
void apSetDestinationDirectory(PProtocolData P, const std::string& Dir);
void apSetHandshakeWait(PProtocolData P, std::int32_t NewHandshake, std::uint32_t NewRetry);
void apSetEfficiencyParms(PProtocolData P, std::uint32_t BlockOverhead, std::uint32_t TurnAroundDelay);
void apSetOverwriteOption(PProtocolData P, std::uint8_t Opt);
void apSetActualBPS(PProtocolData P, std::uint32_t BPS);
void apSetStatusInterval(PProtocolData P, std::int32_t NewInterval);
void apOptionsOn(PProtocolData P, std::uint32_t OptionFlags);
void apOptionsOff(PProtocolData P, std::uint32_t OptionFlags);
bool apOptionsAreOn(PProtocolData P, std::uint32_t OptionFlags);

// ---- Transfer control ----------------------------------------------------------------

// Starts a transfer (user-interface thread): triggers, the prepare routine, the first
// call of the state routine, then the routine registered as procedure handler.
void apStartProtocol(PProtocolData P, std::uint8_t Protocol, TProtocolFunc StateProc,
                     TPrepareProc PrepProc);
// Releases the transfer's triggers, handler, search and work file.
void apStopProtocol(PProtocolData P);
void apResetStatus(PProtocolData P);
void apShowFirstStatus(PProtocolData P);
void apShowLastStatus(PProtocolData P);
// Stops, maps the final status to a code when no error is set, logs it and posts
// MsgProtocolFinish. The only sender of MsgProtocolFinish.
void apSignalFinish(PProtocolData P);
// Sends MsgProtocolError, then ProtocolError = Code.
void apProtocolError(PProtocolData P, std::int32_t Code);

// For a state routine: the dispatcher of lParam's high word and its record (data slot 1);
// false when either is gone (the port has closed).
bool apFindProtocolData(std::int32_t lParam, TSioBaseDispatcher*& D, PProtocolData& P);
// For a state routine's step: refreshes ElapsedTicks and reports status when due (wParam
// is the trigger that fired).
void apHandleStatus(PProtocolData P, std::uint32_t wParam);
// A dispatch-log entry of the engine, when the port's dispatch log is on.
void apLogState(PProtocolData P, TDispatchType Type, TDispatchSubType SubType);
// The dispatch-log type of a protocol type (dtXModem for 1-4 and so on; dtNone for 0).
TDispatchType apDispatchType(std::uint8_t Protocol);

// ---- Default hooks ----------------------------------------------------------------------

void apMsgStatus(PProtocolData P, std::uint16_t Options);
void apMsgLog(PProtocolData P, std::uint16_t Log);
bool apMsgNextFile(PProtocolData P, char* FName);
bool apMsgAcceptFile(PProtocolData P, char* FName);

// Text of a status code; empty for codes without one (4724-4730 included).
std::string apStatusMsg(std::int32_t Status);
char* apStatusMsg(char* Buffer, std::size_t Size, std::int32_t Status);

// ---- Block checks ------------------------------------------------------------------------

std::uint32_t apUpdateChecksum(std::uint8_t CurByte, std::uint32_t CheckSum);
// CRC-16/XMODEM, augmented table step: feed the data, then two zero bytes.
std::uint32_t apUpdateCrc(std::uint8_t CurByte, std::uint32_t CurCrc);
std::uint32_t apUpdateCrcKermit(std::uint8_t CurByte, std::uint32_t CurCrc);
std::uint32_t apUpdateCrc32(std::uint8_t CurByte, std::uint32_t CurCrc);
// CRC-16/XMODEM of a whole block (same result as apUpdateCrc over it and two zeros).
std::uint16_t apCrc16OfBlock(const std::uint8_t* Data, std::uint32_t Length);
// CRC-32 register (no final inversion) of the file's first Length bytes (0 = all); also
// kept in BlockCheck. An open error goes through apProtocolError.
std::uint32_t apCrc32OfFile(PProtocolData P, const std::string& FName, std::int32_t Length);

// ---- Octal and time stamps of the batch headers -----------------------------------------

std::string apTrimZeros(const std::string& S);
std::string apOctalStr(std::uint32_t L);
std::int32_t apOctalStr2Long(const std::string& S);
// Packed DOS date (UTC) <-> seconds since 1970-01-01 00:00 UTC; 0 when not convertible.
std::int32_t apPackToYMTimeStamp(std::uint32_t RawTime);
std::uint32_t apYMTimeStampToPack(std::int32_t YMTime);
std::int32_t apCurrentTimeStamp();
// Packed DOS form of seconds since 1970 (UTC), and back; 0 out of range.
std::uint32_t apPackDosDate(std::int64_t UnixSecs);
std::int64_t apUnpackDosDate(std::uint32_t Packed);

// ---- Default reader and writer ---------------------------------------------------------

void aapPrepareReading(PProtocolData P);
bool aapReadProtocolBlock(PProtocolData P, std::uint8_t* Block, std::uint32_t& BlockSize);
void aapFinishReading(PProtocolData P);
void aapPrepareWriting(PProtocolData P);
bool aapWriteProtocolBlock(PProtocolData P, const std::uint8_t* Block, std::uint32_t BlockSize);
void aapFinishWriting(PProtocolData P);

// ---- Helpers for the engines --------------------------------------------------------------

// Upper-cases a zero-terminated name in place (ASCII letters).
void apUpcaseName(char* Name);
// Copies Text into a NameBufferSize buffer, cut to fit.
void apCopyName(char* Dest, const std::string& Text);
