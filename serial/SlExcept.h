// Exceptions of the serial library and the rule that turns a negative result code into
// one (CheckException) and back (XlatException).
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <utility>

// Base of every serial error. ErrorCode is the code that made it (0 for a plain text).
class ESioException : public std::exception {
 public:
  // Message: the code's text.
  explicit ESioException(std::int32_t code);
  // Code 0; message: the text.
  explicit ESioException(std::string text);
  // A text that is not the code's own, keeping the code.
  ESioException(std::string text, std::int32_t code);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

  // The string id of a code is its absolute value.
  static std::uint32_t MapCodeToStringID(std::int32_t code) noexcept;

  std::int32_t ErrorCode = 0;

 private:
  std::string message_;
};

#define KVX_SIO_EXCEPTION(Name, Base) \
  class Name : public Base {          \
   public:                            \
    using Base::Base;                 \
  }

// The areas.
KVX_SIO_EXCEPTION(EGeneral, ESioException);
KVX_SIO_EXCEPTION(EOpenComm, ESioException);
KVX_SIO_EXCEPTION(ESerialIO, ESioException);
KVX_SIO_EXCEPTION(EModem, ESioException);
KVX_SIO_EXCEPTION(ETrigger, ESioException);
KVX_SIO_EXCEPTION(EPacket, ESioException);
KVX_SIO_EXCEPTION(EProtocol, ESioException);
KVX_SIO_EXCEPTION(EINI, ESioException);
KVX_SIO_EXCEPTION(EFax, ESioException);
KVX_SIO_EXCEPTION(ETapi, ESioException);
KVX_SIO_EXCEPTION(ERas, ESioException);
KVX_SIO_EXCEPTION(EAdTerminal, ESioException);
KVX_SIO_EXCEPTION(EXML, ESioException);
KVX_SIO_EXCEPTION(EStateMachine, ESioException);

KVX_SIO_EXCEPTION(EBadArgument, EGeneral);
KVX_SIO_EXCEPTION(EGotQuitMsg, EGeneral);
KVX_SIO_EXCEPTION(EBufferTooBig, EGeneral);
KVX_SIO_EXCEPTION(EPortNotAssigned, EGeneral);
KVX_SIO_EXCEPTION(EInternal, EGeneral);
KVX_SIO_EXCEPTION(EModemNotAssigned, EGeneral);
KVX_SIO_EXCEPTION(EPhonebookNotAssigned, EGeneral);
KVX_SIO_EXCEPTION(ECannotUseWithWinSock, EGeneral);

KVX_SIO_EXCEPTION(EBadId, EOpenComm);
KVX_SIO_EXCEPTION(EBaudRate, EOpenComm);
KVX_SIO_EXCEPTION(EByteSize, EOpenComm);
KVX_SIO_EXCEPTION(EDefault, EOpenComm);
KVX_SIO_EXCEPTION(EHardware, EOpenComm);
KVX_SIO_EXCEPTION(EMemory, EOpenComm);
KVX_SIO_EXCEPTION(ECommNotOpen, EOpenComm);
KVX_SIO_EXCEPTION(EAlreadyOpen, EOpenComm);
KVX_SIO_EXCEPTION(ENoHandles, EOpenComm);
KVX_SIO_EXCEPTION(ENoTimers, EOpenComm);
KVX_SIO_EXCEPTION(ENoPortSelected, EOpenComm);
KVX_SIO_EXCEPTION(ENotOpenedByTapi, EOpenComm);

KVX_SIO_EXCEPTION(ENullApi, ESerialIO);
KVX_SIO_EXCEPTION(ERegisterHandlerFailed, ESerialIO);
KVX_SIO_EXCEPTION(EPutBlockFail, ESerialIO);
KVX_SIO_EXCEPTION(EGetBlockFail, ESerialIO);
KVX_SIO_EXCEPTION(EOutputBufferTooSmall, ESerialIO);
KVX_SIO_EXCEPTION(EBufferIsEmpty, ESerialIO);
KVX_SIO_EXCEPTION(ETracingNotEnabled, ESerialIO);
KVX_SIO_EXCEPTION(ELoggingNotEnabled, ESerialIO);
KVX_SIO_EXCEPTION(EBaseAddressNotSet, ESerialIO);

KVX_SIO_EXCEPTION(EModemNotStarted, EModem);
KVX_SIO_EXCEPTION(EModemBusy, EModem);
KVX_SIO_EXCEPTION(EModemNotDialing, EModem);
KVX_SIO_EXCEPTION(EModemNotResponding, EModem);
KVX_SIO_EXCEPTION(EModemRejectedCommand, EModem);
KVX_SIO_EXCEPTION(EModemStatusMismatch, EModem);
KVX_SIO_EXCEPTION(EAlreadyDialing, EModem);
KVX_SIO_EXCEPTION(ENotDialing, EModem);
KVX_SIO_EXCEPTION(EDeviceNotSelected, EModem);
KVX_SIO_EXCEPTION(EModemDetectedBusy, EModem);
KVX_SIO_EXCEPTION(ENoDialtone, EModem);
KVX_SIO_EXCEPTION(ENoCarrier, EModem);
KVX_SIO_EXCEPTION(ENoAnswer, EModem);

KVX_SIO_EXCEPTION(ENoMoreTriggers, ETrigger);
KVX_SIO_EXCEPTION(ETriggerTooLong, ETrigger);
KVX_SIO_EXCEPTION(EBadTriggerHandle, ETrigger);

KVX_SIO_EXCEPTION(EInvalidProperty, EPacket);
KVX_SIO_EXCEPTION(EStringSizeError, EPacket);

KVX_SIO_EXCEPTION(ETimeout, EProtocol);
KVX_SIO_EXCEPTION(ETooManyErrors, EProtocol);
KVX_SIO_EXCEPTION(ESequenceError, EProtocol);

KVX_SIO_EXCEPTION(EKeyTooLong, EINI);
KVX_SIO_EXCEPTION(EDataTooLarge, EINI);
KVX_SIO_EXCEPTION(EIniWrite, EINI);
KVX_SIO_EXCEPTION(EIniRead, EINI);
KVX_SIO_EXCEPTION(ERecordExists, EINI);
KVX_SIO_EXCEPTION(ERecordNotFound, EINI);
KVX_SIO_EXCEPTION(EDatabaseFull, EINI);
KVX_SIO_EXCEPTION(EDatabaseEmpty, EINI);
KVX_SIO_EXCEPTION(EBadFieldList, EINI);
KVX_SIO_EXCEPTION(EBadFieldForIndex, EINI);

KVX_SIO_EXCEPTION(EFaxBadFormat, EFax);
KVX_SIO_EXCEPTION(EBadGraphicsFormat, EFax);
KVX_SIO_EXCEPTION(EConvertAbort, EFax);
KVX_SIO_EXCEPTION(EUnpackAbort, EFax);
KVX_SIO_EXCEPTION(ECantMakeBitmap, EFax);
KVX_SIO_EXCEPTION(ENoImageLoaded, EFax);
KVX_SIO_EXCEPTION(ENoImageBlockMarked, EFax);
KVX_SIO_EXCEPTION(EInvalidPageNumber, EFax);
KVX_SIO_EXCEPTION(EFaxBadMachine, EFax);
KVX_SIO_EXCEPTION(EFaxBadModemResult, EFax);
KVX_SIO_EXCEPTION(EFaxTrainError, EFax);
KVX_SIO_EXCEPTION(EFaxInitError, EFax);
KVX_SIO_EXCEPTION(EFaxBusy, EFax);
KVX_SIO_EXCEPTION(EFaxVoiceCall, EFax);
KVX_SIO_EXCEPTION(EFaxDataCall, EFax);
KVX_SIO_EXCEPTION(EFaxNoDialTone, EFax);
KVX_SIO_EXCEPTION(EFaxNoCarrier, EFax);
KVX_SIO_EXCEPTION(EFaxSessionError, EFax);
KVX_SIO_EXCEPTION(EFaxPageError, EFax);
KVX_SIO_EXCEPTION(EAlreadyMonitored, EFax);

// Telephony is not available here: its codes raise ETapi itself. Remote access keeps
// its one leaf for the missing-library code.
KVX_SIO_EXCEPTION(ERasLoadFail, ERas);

KVX_SIO_EXCEPTION(EAdTermRangeError, EAdTerminal);
KVX_SIO_EXCEPTION(EAdTermInvalidParameter, EAdTerminal);
KVX_SIO_EXCEPTION(EAdTermTooLarge, EAdTerminal);

#undef KVX_SIO_EXCEPTION

// Phone and pager errors stand outside the serial tree.
class ESioGSMPhoneException : public std::exception {
 public:
  ESioGSMPhoneException(std::int32_t code, std::string text) : ErrorCode(code), message_(std::move(text)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  std::int32_t ErrorCode;

 private:
  std::string message_;
};

class ESioPagerException : public std::exception {
 public:
  ESioPagerException(std::int32_t code, std::string text) : ErrorCode(code), message_(std::move(text)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  std::int32_t ErrorCode;

 private:
  std::string message_;
};

// A file or device I/O error; ErrorCode is the positive I/O error number.
class EInOutError : public std::exception {
 public:
  EInOutError(std::int32_t code, std::string text) : ErrorCode(code), message_(std::move(text)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  std::int32_t ErrorCode;

 private:
  std::string message_;
};

// Out of memory: a bad_alloc, so that it needs no allocation to be raised or caught.
class EOutOfMemory : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "Out of memory"; }
};

// Returns code unchanged when it is 0 or positive; otherwise raises its exception:
// EInOutError (EOutOfMemory for -8) for -2..-162, the class of its row for the mapped
// codes, else ESioException "Serial exception" carrying the code.
std::int32_t CheckException(std::int32_t code);

// The code an exception stands for: ErrorCode of a serial error, minus the I/O error
// number, -8 for out of memory, -9999 for anything else.
std::int32_t XlatException(const std::exception& e) noexcept;
