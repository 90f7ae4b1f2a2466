// The engine routines by protocol type: the prepare and state routines a transfer is
// started with (apStartProtocol) for receiving and for sending. Types without an engine
// in this build give null routines.
#pragma once

#include "serial/SwAbsPcl.h"

struct TProtocolRoutines {
  TPrepareProc PrepareReceive = nullptr;
  TProtocolFunc Receive = nullptr;
  TPrepareProc PrepareTransmit = nullptr;
  TProtocolFunc Transmit = nullptr;
};

// The row of Type; an empty row for ptNoProtocol, unknown types and engines not built.
const TProtocolRoutines& ProtocolRoutines(std::uint8_t Type);

// Lets another engine's unit fill its rows (YMODEM, ZMODEM, Kermit, ASCII) at start-up.
void RegisterProtocolRoutines(std::uint8_t Type, const TProtocolRoutines& Routines);
