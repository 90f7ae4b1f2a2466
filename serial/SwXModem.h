// The XMODEM engine in its four variants (ptXmodem checksum, ptXmodemCRC, ptXmodem1K,
// ptXmodem1KG): a sending and a receiving state machine on the framework of SwAbsPcl.h,
// driven by the port dispatcher's trigger notifications. The YMODEM engine runs the same
// states for the data of each file (XmodemSubStep set, message MsgFromYmodem).
#pragma once

#include <cstdint>

#include "serial/SwAbsPcl.h"

constexpr std::uint8_t cSoh = 0x01;
constexpr std::uint8_t cStx = 0x02;
constexpr std::uint8_t cEot = 0x04;
constexpr std::uint8_t cAck = 0x06;
constexpr std::uint8_t cBs = 0x08;
constexpr std::uint8_t cNak = 0x15;
constexpr std::uint8_t cCan = 0x18;
constexpr std::uint8_t ChrC = 0x43;  // receiver asks for CRC blocks
constexpr std::uint8_t ChrG = 0x47;  // receiver asks for the streaming variant

// Block sizes on the wire besides the data: start, number, complement, check.
constexpr std::uint32_t XmodemMaxBlock = 1024;
constexpr std::uint32_t XmodemRxBufferSize = 1029;
constexpr std::int32_t DefBlockWait = 91;
constexpr std::uint32_t DefMaxBlockErrors = 5;

enum TProcessBlockStart : std::uint8_t { pbsNone, pbs128, pbs1024, pbsCancel, pbsEOT };

// ecOutputBufferTooSmall when the port's output buffer is below 1029 bytes; else a new
// record (apInitProtocolData) set up by xpReinit. 0 on success.
std::int32_t xpInit(PProtocolData& P, TSioCustomComPort* ComPort, bool UseCRC, bool Use1K,
                    bool UseGMode, std::uint32_t Options);
std::int32_t xpReinit(PProtocolData P, bool UseCRC, bool Use1K, bool UseGMode);
void xpDone(PProtocolData& P);
// ecBadProtocolFunction for types that are neither XMODEM nor YMODEM; else 0.
std::int32_t xpSetCRCMode(PProtocolData P, bool Enable);
std::int32_t xpSet1KMode(PProtocolData P, bool Enable);
std::int32_t xpSetGMode(PProtocolData P, bool Enable);
std::int32_t xpSetBlockWait(PProtocolData P, std::int32_t NewBlockWait);

void xpPrepareTransmit(PProtocolData P);
std::int32_t xpTransmit(std::uint32_t Msg, std::uint32_t wParam, std::int32_t lParam);
void xpPrepareReceive(PProtocolData P);
std::int32_t xpReceive(std::uint32_t Msg, std::uint32_t wParam, std::int32_t lParam);

// The shared steps (also for YMODEM).
bool xpPrepHandshake(PProtocolData P);
bool xpProcessHandshake(PProtocolData P);
bool xpProcessBlockReply(PProtocolData P);
void xpTransmitBlock(PProtocolData P, const std::uint8_t* Block, std::uint32_t BLen, std::uint8_t BType);
void xpSendHandshakeChar(PProtocolData P, std::uint8_t Handshake);
bool xpCheckForBlockStart(PProtocolData P, std::uint8_t& C);
TProcessBlockStart xpProcessBlockStart(PProtocolData P, std::uint8_t C);
bool xpCollectBlock(PProtocolData P, std::uint8_t* Block);
void xpReceiveBlock(PProtocolData P, std::uint8_t* Block, std::uint32_t& BlockSize, std::uint8_t& HandShake);
std::uint8_t xpGetHandshakeChar(PProtocolData P);
void xpCancel(PProtocolData P);
// The type the mode flags stand for (YMODEM types stay YMODEM).
void xpUpdateProtocolType(PProtocolData P);
// Runs one step of the sending or receiving machine (the state routines' inner step).
void xpTransmitStep(PProtocolData P, std::uint32_t Msg, std::uint32_t wParam);
void xpReceiveStep(PProtocolData P, std::uint32_t Msg, std::uint32_t wParam);
