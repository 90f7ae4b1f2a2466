// The result codes of the serial library's operations: 0 or a count for success, a
// negative code for an error. Their texts are in the code table (SlStrMap.h).
#pragma once

#include <cstdint>

constexpr std::int32_t ecOK = 0;

// File and device I/O (negated system error numbers of the open and the file routines).
constexpr std::int32_t ecFileNotFound = -2;
constexpr std::int32_t ecPathNotFound = -3;
constexpr std::int32_t ecTooManyFiles = -4;
constexpr std::int32_t ecAccessDenied = -5;
constexpr std::int32_t ecInvalidHandle = -6;
constexpr std::int32_t ecOutOfMemory = -8;

// General.
constexpr std::int32_t ecBadHandle = -1001;
constexpr std::int32_t ecBadArgument = -1002;
constexpr std::int32_t ecGotQuitMsg = -1003;
constexpr std::int32_t ecBufferTooBig = -1004;
constexpr std::int32_t ecPortNotAssigned = -1005;
constexpr std::int32_t ecInternal = -1006;

// Opening a port.
constexpr std::int32_t ecBadId = -2001;
constexpr std::int32_t ecBaudRate = -2002;
constexpr std::int32_t ecByteSize = -2003;
constexpr std::int32_t ecDefault = -2004;
constexpr std::int32_t ecHardware = -2005;
constexpr std::int32_t ecMemory = -2006;
constexpr std::int32_t ecCommNotOpen = -2007;
constexpr std::int32_t ecAlreadyOpen = -2008;
constexpr std::int32_t ecNoHandles = -2009;
constexpr std::int32_t ecNoTimers = -2010;
constexpr std::int32_t ecNoPortSelected = -2011;
constexpr std::int32_t ecNotOpenedByTapi = -2012;

// Serial I/O.
constexpr std::int32_t ecNullApi = -3001;
constexpr std::int32_t ecNotSupported = -3002;
constexpr std::int32_t ecRegisterHandlerFailed = -3003;
constexpr std::int32_t ecPutBlockFail = -3004;
constexpr std::int32_t ecGetBlockFail = -3005;
constexpr std::int32_t ecOutputBufferTooSmall = -3006;
constexpr std::int32_t ecBufferIsEmpty = -3007;
constexpr std::int32_t ecTracingNotEnabled = -3008;
constexpr std::int32_t ecLoggingNotEnabled = -3009;
constexpr std::int32_t ecBaseAddressNotSet = -3010;

// Triggers.
constexpr std::int32_t ecNoMoreTriggers = -5001;
constexpr std::int32_t ecTriggerTooLong = -5002;
constexpr std::int32_t ecBadTriggerHandle = -5003;

// Data packets.
constexpr std::int32_t ecStartStringEmpty = -5501;
constexpr std::int32_t ecPacketTooSmall = -5502;
constexpr std::int32_t ecNoEndCharCount = -5503;
constexpr std::int32_t ecEmptyEndString = -5504;
constexpr std::int32_t ecZeroSizePacket = -5505;
constexpr std::int32_t ecPacketTooLong = -5506;

// File-transfer protocols.
constexpr std::int32_t ecBadFileList = -6001;
constexpr std::int32_t ecNoSearchMask = -6002;
constexpr std::int32_t ecNoMatchingFiles = -6003;
constexpr std::int32_t ecDirNotFound = -6004;
constexpr std::int32_t ecCancelRequested = -6005;
constexpr std::int32_t ecTimeout = -6006;
constexpr std::int32_t ecProtocolError = -6007;
constexpr std::int32_t ecTooManyErrors = -6008;
constexpr std::int32_t ecSequenceError = -6009;
constexpr std::int32_t ecNoFilename = -6010;
constexpr std::int32_t ecFileRejected = -6011;
constexpr std::int32_t ecCantWriteFile = -6012;
constexpr std::int32_t ecTableFull = -6013;
constexpr std::int32_t ecAbortNoCarrier = -6014;
constexpr std::int32_t ecBadProtocolFunction = -6015;
constexpr std::int32_t ecProtocolAbort = -6016;
