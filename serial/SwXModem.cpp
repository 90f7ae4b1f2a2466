#include "serial/SwXModem.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "serial/SioComPort.h"
#include "serial/SlConst.h"
#include "serial/SwDispatcher.h"

namespace {

constexpr std::int32_t ReplyDrainWait = 1092;  // ticks a block may take to leave the output buffer
constexpr std::uint8_t CancelSequence[] = {cCan, cCan, cCan, cBs, cBs, cBs};

TSioBaseDispatcher* Disp(PProtocolData P) { return P->Dispatcher; }

bool CharReady(PProtocolData P) {
  TSioBaseDispatcher* d = Disp(P);
  return d != nullptr && d->CharReady();
}

// The next received byte, or -1.
std::int32_t GetByte(PProtocolData P) {
  TSioBaseDispatcher* d = Disp(P);
  if (d == nullptr) return -1;
  const std::int32_t c = d->GetChar();
  return c < 0 ? -1 : c;
}

std::int32_t Put(PProtocolData P, const void* data, std::uint32_t length) {
  TSioBaseDispatcher* d = Disp(P);
  if (d == nullptr) return ecCommNotOpen;
  return d->PutBlock(data, length);
}

void PutByte(PProtocolData P, std::uint8_t c) { Put(P, &c, 1); }

// A receiver's reply or handshake: what comes next answers it, so the noise count starts
// again.
void Reply(PProtocolData P, std::uint8_t c) {
  PutByte(P, c);
  P->NoiseSinceReply = false;
}

void ArmTimeout(PProtocolData P, std::int32_t ticks) {
  if (Disp(P) != nullptr && P->TimeoutTrigger > 0) Disp(P)->SetTimerTrigger(P->TimeoutTrigger, ticks, true);
}

// Drops what has been received so far by reading it out of the ring. The device's own
// flush is not used: on a pseudo-terminal it can also swallow bytes that arrive just
// after it, such as the reply to the end of transmission sent next.
void FlushIn(PProtocolData P) {
  TSioBaseDispatcher* d = Disp(P);
  if (d == nullptr) return;
  std::uint8_t junk[256];
  for (std::int32_t n; (n = d->InBuffUsed()) > 0;)
    if (d->GetBlock(junk, static_cast<std::uint32_t>(std::min<std::int32_t>(n, sizeof junk))) <= 0) break;
}

// Drops what has been received before the receiver's latest handshake or cancel
// character, or everything when none waits. The panel starts its receiver as soon as it
// has its answer, so its first 'C' may come before the sender starts; answered at once, it
// saves a whole handshake interval. A panel that refuses the answer cancels at once, and
// that cancel must not wait for ten handshake intervals.
void FlushInKeepingHandshake(PProtocolData P) {
  TSioBaseDispatcher* d = Disp(P);
  if (d == nullptr) return;
  const std::int32_t used = d->InBuffUsed();
  if (used <= 0) return;
  std::vector<std::uint8_t> waiting(static_cast<std::size_t>(used));
  if (d->PeekBlock(waiting.data(), static_cast<std::uint32_t>(used)) != used) {
    FlushIn(P);
    return;
  }
  std::size_t keep = waiting.size();
  while (keep > 0) {
    const std::uint8_t c = waiting[keep - 1];
    if (c == cNak || c == ChrC || c == ChrG || c == cCan) break;
    --keep;
  }
  if (keep == 0) {
    FlushIn(P);
    return;
  }
  if (keep > 1) d->GetBlock(waiting.data(), static_cast<std::uint32_t>(keep - 1));
}

void FlushOut(PProtocolData P) {
  if (Disp(P) != nullptr) Disp(P)->FlushOutBuffer();
}

bool IsTrigger(std::uint32_t wParam, std::int32_t handle) {
  return handle > 0 && wParam == static_cast<std::uint32_t>(handle);
}

bool IsXmodemType(std::uint8_t t) { return t >= ptXmodem && t <= ptXmodem1KG; }
bool IsYmodemType(std::uint8_t t) { return t == ptYmodem || t == ptYmodemG; }

void CountBlockError(PProtocolData P) {
  ++P->BlockErrors;
  ++P->TotalErrors;
}

// Ticks to wait for the end of the last block of a streaming transfer to be taken.
std::int32_t ComputedFinishWait(PProtocolData P) {
  std::uint32_t inSize = TSioBaseDispatcher::kInRingSize;
  std::uint32_t outSize = 0;
  if (Disp(P) != nullptr) Disp(P)->BufferSizes(inSize, outSize);
  // An unknown line rate gives no drain estimate; the drain trigger ends the wait anyway.
  const std::int64_t drain = P->ActCPS > 0 ? static_cast<std::int64_t>(inSize) / P->ActCPS * 182 / 10 : 0;
  return static_cast<std::int32_t>(std::min<std::int64_t>((drain + P->BlockWait) * 2, MaxTicks));
}

// ---- Sending ----

// The free-space check before a block goes out (again).
void CheckFreeSpace(PProtocolData P) {
  TSioBaseDispatcher* d = Disp(P);
  const std::uint32_t need = P->BlockLen + 5;
  if (d != nullptr && d->OutBuffFree() < static_cast<std::int32_t>(need)) {
    ArmTimeout(P, P->TransmitTimeout);
    if (P->OutBuffFreeTrigger > 0) d->SetStatusTrigger(P->OutBuffFreeTrigger, need, true);
    P->XmodemState = txWaitFreeSpace;
  } else {
    P->XmodemState = txSendBlock;
  }
}

bool ProcessEotReply(PProtocolData P, std::int32_t c) {
  switch (c) {
    case cAck:
      P->ProtocolStatus = psEndFile;
      return true;
    case cNak:
      if (++P->EotNakCount >= 3) {
        xpCancel(P);
        apProtocolError(P, ecTooManyErrors);
        return true;
      }
      return false;
    case cCan:
      P->ProtocolStatus = psCancelRequested;
      P->ForceStatus = true;
      return true;
    default:
      CountBlockError(P);
      P->ProtocolStatus = psProtocolError;
      return false;
  }
}

void FinishTransmit(PProtocolData P) {
  if (!(P->ProtocolStatus == psEndFile && P->ProtocolError == 0)) FlushIn(P);
  if (P->FinishReading != nullptr) P->FinishReading(P);
  const bool ok = P->ProtocolStatus == psEndFile && P->ProtocolError == 0;
  if (P->LogFile != nullptr) P->LogFile(P, ok ? lfTransmitOk : lfTransmitFail);
  delete[] P->DataBlock;
  P->DataBlock = nullptr;
  P->XmodemState = txDone;
  if (P->XmodemSubStep) {
    if (P->ShowStatus != nullptr) P->ShowStatus(P, 0);
  } else {
    apShowLastStatus(P);
    apSignalFinish(P);
  }
}

// ---- Receiving ----

void FinishReceive(PProtocolData P) {
  delete[] P->DataBlock;
  P->DataBlock = nullptr;
  P->XmodemState = rxDone;
  if (!P->XmodemSubStep) {
    apShowLastStatus(P);
    apSignalFinish(P);
  }
}

// A receive time-out; true when there have been too many.
bool CountReceiveTimeout(PProtocolData P) {
  CountBlockError(P);
  if (P->BlockErrors > P->MaxBlockErrors) {
    apProtocolError(P, ecTooManyErrors);
    P->ProtocolStatus = psProtocolError;
    P->ForceStatus = true;
    return true;
  }
  return false;
}

template <class Step, class Again>
std::int32_t RunFrame(std::uint32_t Msg, std::uint32_t wParam, std::int32_t lParam, std::uint8_t doneState,
                      TDispatchSubType firstSubType, std::uint8_t firstState, Step step, Again again) {
  TSioBaseDispatcher* d = nullptr;
  PProtocolData P = nullptr;
  if (!apFindProtocolData(lParam, d, P)) return 0;
  std::lock_guard guard(P->DataLock);
  if (P->XmodemState == doneState) return 1;
  if (P->Dispatcher == nullptr) P->Dispatcher = d;
  if (Msg == MsgTriggerAvail) wParam = 0;
  for (;;) {
    apLogState(P, apDispatchType(P->ProtocolType),
               static_cast<TDispatchSubType>(firstSubType + (P->XmodemState - firstState)));
    step(P, Msg, wParam);
    if (P->XmodemState == doneState || !again(P)) break;
    Msg = MsgTriggerAvail;
    wParam = 0;
  }
  return P->XmodemState == doneState ? 1 : 0;
}

bool TransmitAgain(PProtocolData P) {
  switch (P->XmodemState) {
    case txGetBlock:
    case txSendBlock:
    case txFirstEndOfTransmit:
    case txRestEndOfTransmit:
    case txFinished: return true;
    case txHandshake:
    case txDraining:
    case txReplyPending:
    case txEotReply: return CharReady(P);
    default: return false;
  }
}

bool ReceiveAgain(PProtocolData P) {
  switch (P->XmodemState) {
    case rxWaitForBlockStart:
    case rxCollectBlock: return CharReady(P);
    case rxProcessBlock:
    case rxFinishedSkip:
    case rxFinished: return true;
    default: return false;
  }
}

}  // namespace

// ---- Set-up ----------------------------------------------------------------------------

std::int32_t xpInit(PProtocolData& P, TSioCustomComPort* ComPort, bool UseCRC, bool Use1K, bool UseGMode,
                    std::uint32_t Options) {
  P = nullptr;
  if (ComPort != nullptr && ComPort->OutSize() < XmodemRxBufferSize) return ecOutputBufferTooSmall;
  if (apInitProtocolData(P, ComPort, Options) != ecOK || P == nullptr) return ecOutOfMemory;
  return xpReinit(P, UseCRC, Use1K, UseGMode);
}

std::int32_t xpReinit(PProtocolData P, bool UseCRC, bool Use1K, bool UseGMode) {
  P->ProtocolType = ptXmodem;
  P->CRCMode = false;
  P->OneKMode = false;
  P->GMode = false;
  xpSetCRCMode(P, UseCRC);
  xpSet1KMode(P, Use1K);
  xpSetGMode(P, UseGMode);
  P->BlockWait = DefBlockWait;
  P->MaxBlockErrors = DefMaxBlockErrors;
  P->Overhead = 5;
  P->TurnDelay = UseGMode ? 0 : 1000;
  P->FinishWait = 0;
  apResetReadWriteHooks(P);
  return ecOK;
}

void xpDone(PProtocolData& P) { apDoneProtocol(P); }

void xpUpdateProtocolType(PProtocolData P) {
  if (IsYmodemType(P->ProtocolType)) {
    P->ProtocolType = P->GMode ? ptYmodemG : ptYmodem;
    return;
  }
  if (!P->CRCMode)
    P->ProtocolType = ptXmodem;
  else if (!P->OneKMode)
    P->ProtocolType = ptXmodemCRC;
  else if (!P->GMode)
    P->ProtocolType = ptXmodem1K;
  else
    P->ProtocolType = ptXmodem1KG;
}

std::int32_t xpSetCRCMode(PProtocolData P, bool Enable) {
  const std::uint8_t t = P->ProtocolType;
  if (!IsXmodemType(t) && !IsYmodemType(t)) return ecBadProtocolFunction;
  P->CRCMode = (t == ptXmodem || t == ptXmodemCRC) ? Enable : true;
  P->BlockCheckMethod = P->CRCMode ? bcmCrc16 : bcmChecksum;
  xpUpdateProtocolType(P);
  return ecOK;
}

std::int32_t xpSet1KMode(PProtocolData P, bool Enable) {
  const std::uint8_t t = P->ProtocolType;
  if (!IsXmodemType(t) && !IsYmodemType(t)) return ecBadProtocolFunction;
  P->OneKMode = Enable;
  if (Enable) {
    P->BlockLen = 1024;
    P->StartChar = cStx;
    P->CRCMode = true;
    P->BlockCheckMethod = bcmCrc16;
  } else {
    P->BlockLen = 128;
    P->StartChar = cSoh;
  }
  xpUpdateProtocolType(P);
  return ecOK;
}

std::int32_t xpSetGMode(PProtocolData P, bool Enable) {
  const std::uint8_t t = P->ProtocolType;
  if (!IsXmodemType(t) && !IsYmodemType(t)) return ecBadProtocolFunction;
  P->GMode = Enable;
  if (Enable) {
    P->OneKMode = true;
    P->BlockLen = 1024;
    P->StartChar = cStx;
    P->CRCMode = true;
    P->BlockCheckMethod = bcmCrc16;
    P->TurnDelay = 0;
  } else {
    P->TurnDelay = 1000;
    P->MaxBlockErrors = DefMaxBlockErrors;
  }
  xpUpdateProtocolType(P);
  return ecOK;
}

std::int32_t xpSetBlockWait(PProtocolData P, std::int32_t NewBlockWait) {
  if (!IsXmodemType(P->ProtocolType) && !IsYmodemType(P->ProtocolType)) return ecBadProtocolFunction;
  P->BlockWait = NewBlockWait;
  return ecOK;
}

// ---- Shared steps ----------------------------------------------------------------------

void xpCancel(PProtocolData P) {
  if (Put(P, CancelSequence, sizeof CancelSequence) == ecOutputBufferTooSmall) {
    FlushOut(P);
    Put(P, CancelSequence, sizeof CancelSequence);
  }
}

bool xpPrepHandshake(PProtocolData P) {
  ++P->HandshakeAttempt;
  if (P->HandshakeAttempt > P->HandshakeRetry) {
    apProtocolError(P, ecTimeout);
    return false;
  }
  ArmTimeout(P, P->HandshakeWait);
  if (P->HandshakeAttempt > 1) {
    CountBlockError(P);
    P->ForceStatus = true;
  }
  return true;
}

bool xpProcessHandshake(PProtocolData P) {
  const std::int32_t c = GetByte(P);
  P->ProtocolStatus = psOK;
  switch (c) {
    // A receiver that does not ask for streaming acknowledges every block: streaming on
    // would take those ACKs for the replies to later blocks and to the end of transmission.
    case cNak:
      P->BlockCheckMethod = bcmChecksum;
      P->CRCMode = false;
      P->GMode = false;
      break;
    case ChrC:
      P->BlockCheckMethod = bcmCrc16;
      P->CRCMode = true;
      P->GMode = false;
      break;
    case ChrG:
      P->BlockCheckMethod = bcmCrc16;
      P->CRCMode = true;
      P->GMode = true;
      break;
    case cCan:
      P->ProtocolStatus = psCancelRequested;
      P->ForceStatus = true;
      break;
    default:
      P->ProtocolStatus = psProtocolError;
      P->ForceStatus = true;
      break;
  }
  if (P->ProtocolStatus == psOK) {
    // A streaming transfer before on this record left no error allowance.
    if (!P->GMode) P->MaxBlockErrors = DefMaxBlockErrors;
    xpUpdateProtocolType(P);
  }
  return P->ProtocolStatus == psOK;
}

bool xpProcessBlockReply(PProtocolData P) {
  const auto blockDone = [P] {
    P->ProtocolStatus = psOK;
    P->BytesTransferred += static_cast<std::int32_t>(P->BlockLen);
    P->BytesRemaining = std::max(P->BytesRemaining - static_cast<std::int32_t>(P->BlockLen), 0);
    ++P->BlockNum;
    P->FileOfs += static_cast<std::int32_t>(P->BlockLen);
  };
  if (!P->GMode) {
    const std::int32_t c = GetByte(P);
    switch (c) {
      case cAck: blockDone(); break;
      case cCan:
        P->ProtocolStatus = psCancelRequested;
        P->ForceStatus = true;
        break;
      case cNak:
        P->ProtocolStatus = psBlockCheckError;
        CountBlockError(P);
        P->ForceStatus = true;
        break;
      default:
        P->ProtocolStatus = psProtocolError;
        CountBlockError(P);
        P->ForceStatus = true;
        break;
    }
  } else {
    blockDone();
    if (CharReady(P)) {
      const std::int32_t c = GetByte(P);
      if (c == cCan || c == cNak) {
        P->ProtocolStatus = psCancelRequested;
        P->ForceStatus = true;
      }
    }
  }
  return P->ProtocolStatus == psOK;
}

void xpTransmitBlock(PProtocolData P, const std::uint8_t* Block, std::uint32_t BLen, std::uint8_t BType) {
  // No fall-back to 128-byte blocks, even for a 1024-byte block: the receiver may hold the
  // block already (its ACKs were what got damaged), and would take the first 128 bytes
  // again as a duplicate and the next 128 as the following block, shifting the file.
  if (P->BlockErrors > P->MaxBlockErrors) {
    xpCancel(P);
    apProtocolError(P, ecTooManyErrors);
    return;
  }
  std::uint8_t frame[3 + XmodemMaxBlock + 2];
  frame[0] = BType;
  frame[1] = static_cast<std::uint8_t>(P->BlockNum & 0xFF);
  frame[2] = static_cast<std::uint8_t>(~frame[1]);
  std::memcpy(frame + 3, Block, BLen);
  std::uint32_t n = 3 + BLen;
  if (P->CRCMode) {
    const std::uint16_t crc = apCrc16OfBlock(Block, BLen);
    frame[n++] = static_cast<std::uint8_t>(crc >> 8);
    frame[n++] = static_cast<std::uint8_t>(crc & 0xFF);
  } else {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < BLen; ++i) sum = apUpdateChecksum(Block[i], sum);
    frame[n++] = static_cast<std::uint8_t>(sum & 0xFF);
  }
  const std::int32_t result = Put(P, frame, n);
  if (result < 0) {
    FlushOut(P);
    apProtocolError(P, result);
  }
}

void xpSendHandshakeChar(PProtocolData P, std::uint8_t Handshake) {
  if (P->GMode && Handshake == cAck) {
    P->NoiseSinceReply = false;
    return;
  }
  Reply(P, Handshake);
}

// An end of transmission is believed only from a clean line: a sender sends it alone and
// waits for the reply, so one that came after noise in this wait, or with bytes already
// behind it, or before any block on a line that has shown noise, is noise itself.
bool IsCleanEot(PProtocolData P) {
  if (P->NoiseSinceReply || CharReady(P)) return false;
  return !(P->NoiseSeen && P->BlockNum <= 1);
}

// Noise between blocks is an error, counted once per reply of ours: a line that carries
// only noise must end the reception, while a stray byte now and then on a live transfer
// is forgiven by the next good block.
void CountNoise(PProtocolData P) {
  P->ProtocolStatus = psProtocolError;
  P->ForceStatus = true;
  P->EotCount = 0;
  P->CanCount = 0;
  P->NoiseSeen = true;
  if (!P->NoiseSinceReply) {
    P->NoiseSinceReply = true;
    CountBlockError(P);
  }
}

bool xpCheckForBlockStart(PProtocolData P, std::uint8_t& C) {
  // The error count is not cleared here: only a good block clears it, or noise would
  // keep a reception on a line of noise going for ever.
  P->ProtocolStatus = psOK;
  while (CharReady(P)) {
    const std::int32_t c = GetByte(P);
    if (c < 0) break;
    if (c == cSoh || c == cStx || c == cCan || (c == cEot && IsCleanEot(P))) {
      C = static_cast<std::uint8_t>(c);
      return true;
    }
    CountNoise(P);
  }
  return false;
}

TProcessBlockStart xpProcessBlockStart(PProtocolData P, std::uint8_t C) {
  switch (C) {
    case cSoh:
    case cStx:
      P->BlockLen = C == cSoh ? 128 : 1024;
      P->BlockPos = 0;
      P->EotCount = 0;
      P->CanCount = 0;
      return C == cSoh ? pbs128 : pbs1024;
    case cEot:
      P->CanCount = 0;
      if (++P->EotCount == 1) {
        Reply(P, cNak);
        ArmTimeout(P, P->BlockWait);
        return pbsNone;
      }
      P->ProtocolStatus = psEndFile;
      Reply(P, cAck);
      return pbsEOT;
    case cCan:
      P->EotCount = 0;
      if (++P->CanCount >= 3) {
        xpCancel(P);
        P->ProtocolStatus = psCancelRequested;
        return pbsCancel;
      }
      return pbsNone;
    default: return pbsNone;
  }
}

bool xpCollectBlock(PProtocolData P, std::uint8_t* Block) {
  P->HandshakeChar = cNak;
  const std::uint32_t total = P->BlockLen + P->OverheadLen;
  TSioBaseDispatcher* d = Disp(P);
  if (d == nullptr) return false;
  while (P->BlockPos < total) {
    const std::int32_t avail = d->InBuffUsed();
    if (avail <= 0) break;
    const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(avail), total - P->BlockPos);
    if (d->GetBlock(Block + P->BlockPos, n) <= 0) break;
    P->BlockPos += n;
  }
  return P->BlockPos == total;
}

void xpReceiveBlock(PProtocolData P, std::uint8_t* Block, std::uint32_t& BlockSize, std::uint8_t& HandShake) {
  const std::uint8_t num = Block[0];
  const std::uint8_t complement = Block[1];
  const std::uint8_t* data = Block + 2;
  const std::uint32_t len = P->BlockLen;
  BlockSize = 0;
  if (complement != static_cast<std::uint8_t>(~num)) {
    // A damaged header is a bad block like any other: the sender gets a NAK and repeats.
    CountBlockError(P);
    FlushIn(P);
    P->ProtocolStatus = psBlockCheckError;
    P->ForceStatus = true;
    HandShake = cNak;
    return;
  }
  bool good;
  if (P->CRCMode) {
    const std::uint16_t crc = apCrc16OfBlock(data, len);
    good = data[len] == (crc >> 8) && data[len + 1] == (crc & 0xFF);
  } else {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < len; ++i) sum = apUpdateChecksum(data[i], sum);
    good = data[len] == (sum & 0xFF);
  }
  if (!good) {
    CountBlockError(P);
    FlushIn(P);
    P->ProtocolStatus = psBlockCheckError;
    P->ForceStatus = true;
    HandShake = cNak;
    return;
  }
  if (P->BlockNum != 0 && num == static_cast<std::uint8_t>((P->BlockNum - 1) & 0xFF)) {
    if (P->BlockNum > 1 && len != P->CurBlockLen) {
      // The block just taken again in another size: a sender that fell back to shorter
      // blocks would now shift the file by the difference. Better no file than that.
      xpCancel(P);
      P->ProtocolStatus = psSequenceError;
      apProtocolError(P, ecSequenceError);
      return;
    }
    HandShake = cAck;
    P->BlockErrors = 0;
    P->ProtocolStatus = psDuplicateBlock;
    P->ForceStatus = true;
    return;
  }
  if (num == static_cast<std::uint8_t>(P->BlockNum & 0xFF)) {
    HandShake = cAck;
    ++P->BlockNum;
    P->BytesTransferred += static_cast<std::int32_t>(len);
    P->BytesRemaining = std::max(P->BytesRemaining - static_cast<std::int32_t>(len), 0);
    P->BlockErrors = 0;
    P->ProtocolError = 0;
    P->ProtocolStatus = psOK;
    P->ForceStatus = true;
    P->CurBlockLen = len;
    BlockSize = len;
    return;
  }
  xpCancel(P);
  P->ProtocolStatus = psSequenceError;
  apProtocolError(P, ecSequenceError);
}

std::uint8_t xpGetHandshakeChar(PProtocolData P) {
  if (P->GMode) return ChrG;
  if (P->CRCMode) return ChrC;
  return cNak;
}

// ---- Sending machine ---------------------------------------------------------------------

void xpPrepareTransmit(PProtocolData P) {
  apResetStatus(P);
  apShowFirstStatus(P);
  if (P->NextFile == nullptr || !P->NextFile(P, P->PathName)) {
    apShowLastStatus(P);
    // Nothing to send: end the transfer now instead of leaving it without a file.
    if (P->ProtocolError == 0) P->ProtocolError = ecNoMatchingFiles;
    return;
  }
  P->TimerStarted = false;
  P->ForceStatus = true;
  P->XmodemState = txInitial;
  delete[] P->DataBlock;
  P->DataBlock = nullptr;
  FlushInKeepingHandshake(P);
}

// What a step of either direction looks at first: a cancel from the user, a lost carrier
// (both end the transfer in the finished state given) and the status report. True when
// the step was woken by its time-out.
bool BeginStep(PProtocolData P, std::uint32_t Msg, std::uint32_t wParam, std::uint8_t finished) {
  TSioBaseDispatcher* d = Disp(P);
  if (Msg == MsgProtocolCancel) {
    xpCancel(P);
    P->ProtocolStatus = psCancelRequested;
    P->ForceStatus = true;
    P->XmodemState = finished;
  } else if (IsTrigger(wParam, P->NoCarrierTrigger) && d != nullptr && !d->CheckDCD()) {
    P->ProtocolStatus = psAbortNoCarrier;
    P->ForceStatus = true;
    P->XmodemState = finished;
  }
  apHandleStatus(P, wParam);
  return IsTrigger(wParam, P->TimeoutTrigger);
}

void xpTransmitStep(PProtocolData P, std::uint32_t Msg, std::uint32_t wParam) {
  TSioBaseDispatcher* d = Disp(P);
  const bool timeout = BeginStep(P, Msg, wParam, txFinished);
  switch (P->XmodemState) {
    case txInitial:
      delete[] P->DataBlock;
      P->DataBlock = new std::uint8_t[XmodemRxBufferSize]();
      // No name goes to the peer in XMODEM, so UpcaseFileNames has nothing to change.
      if (P->LogFile != nullptr) P->LogFile(P, lfTransmitStart);
      P->ProtocolStatus = psProtocolHandshake;
      P->ForceStatus = true;
      if (P->PrepareReading != nullptr) P->PrepareReading(P);
      if (P->ProtocolError != 0) {
        P->XmodemState = txFinished;
        break;
      }
      P->BlockNum = 1;
      P->HandshakeAttempt = 0;
      P->XmodemState = xpPrepHandshake(P) ? txHandshake : txFinished;
      break;

    case txHandshake:
      if (!timeout && CharReady(P)) {
        if (xpProcessHandshake(P)) {
          NewTimer(P->Timer, 1);
          P->TimerStarted = true;
          P->FileOfs = 0;
          P->BlockErrors = 0;
          P->TotalErrors = 0;
          if (P->GMode) P->MaxBlockErrors = 0;
          P->ProtocolStatus = psOK;
          P->XmodemState = txGetBlock;
        } else if (P->ProtocolStatus == psCancelRequested) {
          P->XmodemState = txFinished;
        } else if (!xpPrepHandshake(P)) {
          P->XmodemState = txFinished;
        }
      } else if (timeout) {
        if (!xpPrepHandshake(P)) P->XmodemState = txFinished;
      }
      break;

    case txGetBlock: {
      P->CurBlockLen = P->BlockLen;
      P->BlockErrors = 0;
      const std::int32_t before = P->ProtocolError;
      P->NoMoreData = P->ReadProtocolBlock != nullptr ? P->ReadProtocolBlock(P, P->DataBlock, P->CurBlockLen) : true;
      if (P->ProtocolError != 0 && P->ProtocolError != before) {
        // A read error must not end as a short file reported good: cancel with its code.
        P->XmodemState = txSendBlock;
        break;
      }
      P->ProtocolError = 0;
      CheckFreeSpace(P);
      break;
    }

    case txWaitFreeSpace:
      if (IsTrigger(wParam, P->OutBuffFreeTrigger)) {
        P->XmodemState = txSendBlock;
      } else if (timeout) {
        apProtocolError(P, ecTimeout);
        P->XmodemState = txFinished;
      } else if (P->GMode && CharReady(P)) {
        while (CharReady(P)) {
          if (GetByte(P) == cCan) {
            P->ProtocolStatus = psCancelRequested;
            P->ForceStatus = true;
            P->XmodemState = txFinished;
            break;
          }
        }
      }
      break;

    case txSendBlock:
      if (P->CurBlockLen == 0 && P->ProtocolError == 0) {
        P->XmodemState = txFirstEndOfTransmit;
        break;
      }
      if (P->ProtocolError != 0) {
        xpCancel(P);
        P->XmodemState = txFinished;
        break;
      }
      xpTransmitBlock(P, P->DataBlock, P->BlockLen, P->StartChar);
      P->ForceStatus = true;
      if (P->ProtocolError != 0) {
        // Not flushed here: the cancel sequence may still be in the output buffer.
        P->XmodemState = txFinished;
        break;
      }
      if (!P->GMode) {
        ArmTimeout(P, ReplyDrainWait);
        if (d != nullptr && P->OutBuffUsedTrigger > 0) d->SetStatusTrigger(P->OutBuffUsedTrigger, 0, true);
        P->XmodemState = txDraining;
      } else if (!xpProcessBlockReply(P)) {
        FlushOut(P);
        P->XmodemState = txFinished;
      } else if (P->NoMoreData) {
        ArmTimeout(P, P->FinishWait != 0 ? P->FinishWait : ComputedFinishWait(P));
        if (d != nullptr && P->OutBuffUsedTrigger > 0) d->SetStatusTrigger(P->OutBuffUsedTrigger, 0, true);
        P->XmodemState = txEndDrain;
      } else {
        P->XmodemState = txGetBlock;
      }
      break;

    case txDraining:
      if (timeout || IsTrigger(wParam, P->OutBuffUsedTrigger) || CharReady(P)) {
        ArmTimeout(P, P->BlockWait);
        P->XmodemState = txReplyPending;
      }
      break;

    case txReplyPending:
      if (timeout) {
        // A receiver that stays silent must end the transfer some time: each silence
        // counts against the block like a NAK.
        CountBlockError(P);
        P->ProtocolStatus = psTimeout;
        P->ForceStatus = true;
        CheckFreeSpace(P);
      } else if (CharReady(P)) {
        if (xpProcessBlockReply(P)) {
          P->XmodemState = P->NoMoreData ? txFirstEndOfTransmit : txGetBlock;
        } else if (P->ProtocolStatus == psCancelRequested) {
          FlushOut(P);
          P->XmodemState = txFinished;
        } else {
          CheckFreeSpace(P);
        }
      }
      break;

    case txEndDrain:
      if (timeout || IsTrigger(wParam, P->OutBuffUsedTrigger)) P->XmodemState = txFirstEndOfTransmit;
      break;

    case txFirstEndOfTransmit:
      P->ProtocolStatus = psOK;
      P->BlockErrors = 0;
      P->EotNakCount = 0;
      FlushIn(P);
      PutByte(P, cEot);
      ArmTimeout(P, P->TransmitTimeout);
      P->XmodemState = txEotReply;
      break;

    case txRestEndOfTransmit:
      P->ProtocolStatus = psOK;
      FlushIn(P);
      PutByte(P, cEot);
      ArmTimeout(P, P->BlockWait);
      if (P->BlockErrors > P->MaxBlockErrors) {
        xpCancel(P);
        apProtocolError(P, ecTooManyErrors);
        P->XmodemState = txFinished;
      } else {
        P->XmodemState = txEotReply;
      }
      break;

    case txEotReply:
      if (timeout) {
        CountBlockError(P);  // as for a block: silence counts
        P->ProtocolStatus = psTimeout;
        P->XmodemState = txRestEndOfTransmit;
      } else if (CharReady(P)) {
        P->XmodemState = ProcessEotReply(P, GetByte(P)) ? txFinished : txRestEndOfTransmit;
      }
      break;

    case txFinished: FinishTransmit(P); break;

    default: break;
  }
}

std::int32_t xpTransmit(std::uint32_t Msg, std::uint32_t wParam, std::int32_t lParam) {
  return RunFrame(Msg, wParam, lParam, txDone, dsttxInitial, txInitial, xpTransmitStep, TransmitAgain);
}

// ---- Receiving machine -------------------------------------------------------------------

void xpPrepareReceive(PProtocolData P) {
  P->XmodemState = rxInitial;
  delete[] P->DataBlock;
  P->DataBlock = nullptr;
  apResetStatus(P);
  apShowFirstStatus(P);
  P->ForceStatus = false;
  P->TimerStarted = false;
}

void xpReceiveStep(PProtocolData P, std::uint32_t Msg, std::uint32_t wParam) {
  const bool timeout = BeginStep(P, Msg, wParam, rxFinished);
  switch (P->XmodemState) {
    case rxInitial:
      delete[] P->DataBlock;
      P->DataBlock = new std::uint8_t[XmodemRxBufferSize]();
      if (P->PathName[0] == 0) {
        apProtocolError(P, ecNoFilename);
        xpCancel(P);
        FinishReceive(P);
        break;
      }
      // The name is local and no name comes from the peer: UpcaseFileNames does not apply.
      if (P->LogFile != nullptr) P->LogFile(P, lfReceiveStart);
      if (P->AcceptFile != nullptr && !P->AcceptFile(P, P->PathName)) {
        xpCancel(P);
        P->ProtocolStatus = psFileRejected;
        P->XmodemState = rxFinishedSkip;
        break;
      }
      if (P->PrepareWriting != nullptr) P->PrepareWriting(P);
      if (P->ProtocolError != 0 || P->ProtocolStatus == psCantWriteFile) {
        if (P->ProtocolStatus == psCantWriteFile && P->ProtocolError == 0) P->ProtocolError = ecCantWriteFile;
        xpCancel(P);
        P->XmodemState = rxFinishedSkip;
        break;
      }
      P->FileOfs = 0;
      P->HandshakeChar = xpGetHandshakeChar(P);
      P->NoiseSeen = false;
      Reply(P, P->HandshakeChar);
      P->BlockNum = 1;
      P->EotCount = 0;
      P->CanCount = 0;
      ArmTimeout(P, P->HandshakeWait);
      P->OverheadLen = P->CRCMode ? 4 : 3;
      P->XmodemState = rxWaitForHSReply;
      break;

    case rxWaitForHSReply:
      if (timeout) {
        if (CountReceiveTimeout(P)) {
          P->XmodemState = rxFinished;
          break;
        }
        if (P->HandshakeChar == ChrC && P->BlockErrors > 3) {
          P->BlockErrors = 0;
          P->BlockCheckMethod = bcmChecksum;
          P->HandshakeChar = cNak;
          P->CRCMode = false;
          P->OverheadLen = 3;
        }
        Reply(P, P->HandshakeChar);
        ArmTimeout(P, P->HandshakeWait);
      } else if (CharReady(P)) {
        P->XmodemState = rxWaitForBlockStart;
      }
      break;

    case rxWaitForBlockStart:
      if (timeout) {
        if (P->EotCount == 1) {
          Reply(P, cAck);
          P->ProtocolStatus = psEndFile;
          P->XmodemState = rxFinished;
          break;
        }
        if (CountReceiveTimeout(P)) {
          P->XmodemState = rxFinished;
          break;
        }
        if (P->CanCount > 0) {
          P->ProtocolStatus = psCancelRequested;
          P->ForceStatus = true;
          P->XmodemState = rxFinished;
          break;
        }
        // After a good block the sender has had its ACK: asking again means NAK.
        if (P->HandshakeChar == cAck) P->HandshakeChar = cNak;
        Reply(P, P->HandshakeChar);
        ArmTimeout(P, P->BlockWait);
        P->XmodemState = rxWaitForHSReply;
      } else if (CharReady(P)) {
        if (!P->TimerStarted) {
          NewTimer(P->Timer, 1);
          P->TimerStarted = true;
          if (P->GMode) P->MaxBlockErrors = 0;
        }
        std::uint8_t c = 0;
        const bool found = xpCheckForBlockStart(P, c);
        if (P->BlockErrors > P->MaxBlockErrors) {
          xpCancel(P);
          apProtocolError(P, ecTooManyErrors);
          P->XmodemState = rxFinished;
          break;
        }
        if (found) {
          switch (xpProcessBlockStart(P, c)) {
            case pbs128:
            case pbs1024:
              ArmTimeout(P, P->BlockWait);
              P->XmodemState = rxCollectBlock;
              break;
            case pbsCancel:
            case pbsEOT: P->XmodemState = rxFinished; break;
            default: break;
          }
        }
      }
      break;

    case rxCollectBlock:
      if (timeout) {
        Reply(P, cNak);
        P->ProtocolStatus = psTimeout;
        ArmTimeout(P, P->BlockWait);
        P->XmodemState = rxWaitForBlockStart;
      } else if (CharReady(P)) {
        if (xpCollectBlock(P, P->DataBlock)) P->XmodemState = rxProcessBlock;
      }
      break;

    case rxProcessBlock: {
      std::uint32_t size = 0;
      xpReceiveBlock(P, P->DataBlock, size, P->HandshakeChar);
      xpSendHandshakeChar(P, P->HandshakeChar);
      if (P->ProtocolStatus == psOK) {
        const bool failed =
            P->WriteProtocolBlock != nullptr && P->WriteProtocolBlock(P, P->DataBlock + 2, P->CurBlockLen);
        if (failed || P->ProtocolError != 0) {
          xpCancel(P);
          P->XmodemState = rxFinished;
        } else {
          P->FileOfs += static_cast<std::int32_t>(P->CurBlockLen);
          ArmTimeout(P, P->BlockWait);
          P->XmodemState = rxWaitForBlockStart;
        }
      } else if (P->ProtocolError != 0 || P->GMode) {
        xpCancel(P);
        P->XmodemState = rxFinished;
      } else {
        ArmTimeout(P, P->HandshakeWait);
        P->XmodemState = rxWaitForHSReply;
      }
      break;
    }

    case rxFinishedSkip:
      if (P->FinishWriting != nullptr) P->FinishWriting(P);
      if (P->LogFile != nullptr) P->LogFile(P, lfReceiveSkip);
      FinishReceive(P);
      break;

    case rxFinished: {
      if (P->FinishWriting != nullptr) P->FinishWriting(P);
      const bool ok = P->ProtocolStatus == psEndFile && P->ProtocolError == 0;
      if (P->LogFile != nullptr) P->LogFile(P, ok ? lfReceiveOk : lfReceiveFail);
      FinishReceive(P);
      break;
    }

    default: break;
  }
}

std::int32_t xpReceive(std::uint32_t Msg, std::uint32_t wParam, std::int32_t lParam) {
  return RunFrame(Msg, wParam, lParam, rxDone, dstrxInitial, rxInitial, xpReceiveStep, ReceiveAgain);
}
