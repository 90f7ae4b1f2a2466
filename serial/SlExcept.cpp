#include "serial/SlExcept.h"

#include "serial/SlStrMap.h"

ESioException::ESioException(std::int32_t code) : ErrorCode(code), message_(SioLoadStr(code)) {}

ESioException::ESioException(std::string text) : message_(std::move(text)) {}

ESioException::ESioException(std::string text, std::int32_t code) : ErrorCode(code), message_(std::move(text)) {}

std::uint32_t ESioException::MapCodeToStringID(std::int32_t code) noexcept {
  return code < 0 ? 0u - static_cast<std::uint32_t>(code) : static_cast<std::uint32_t>(code);
}

namespace {

using Raiser = void (*)(std::int32_t);

template <class E>
[[noreturn]] void Raise(std::int32_t code) {
  throw E(code);
}

// A run of codes (first >= last, both negative) raising one class.
struct CodeClass {
  std::int32_t first;
  std::int32_t last;
  Raiser raise;
};

#define ONE(code, E) {code, code, &Raise<E>}
#define RUN(first, last, E) {first, last, &Raise<E>}

constexpr CodeClass kCodeClasses[] = {
    ONE(-1002, EBadArgument), ONE(-1003, EGotQuitMsg), ONE(-1004, EBufferTooBig),
    ONE(-1005, EPortNotAssigned), ONE(-1006, EInternal), ONE(-1007, EModemNotAssigned),
    ONE(-1008, EPhonebookNotAssigned), ONE(-1009, ECannotUseWithWinSock),

    ONE(-2001, EBadId), ONE(-2002, EBaudRate), ONE(-2003, EByteSize), ONE(-2004, EDefault),
    ONE(-2005, EHardware), ONE(-2006, EMemory), ONE(-2007, ECommNotOpen), ONE(-2008, EAlreadyOpen),
    ONE(-2009, ENoHandles), ONE(-2010, ENoTimers), ONE(-2011, ENoPortSelected),
    ONE(-2012, ENotOpenedByTapi),

    // -3002 (not supported by the driver) has no class of its own.
    ONE(-3001, ENullApi), ONE(-3003, ERegisterHandlerFailed), ONE(-3004, EPutBlockFail),
    ONE(-3005, EGetBlockFail), ONE(-3006, EOutputBufferTooSmall), ONE(-3007, EBufferIsEmpty),
    ONE(-3008, ETracingNotEnabled), ONE(-3009, ELoggingNotEnabled), ONE(-3010, EBaseAddressNotSet),

    ONE(-4001, EModemNotStarted), ONE(-4002, EModemBusy), ONE(-4003, EModemNotDialing),
    ONE(-4004, EModemNotResponding), ONE(-4005, EModemRejectedCommand),
    ONE(-4006, EModemStatusMismatch), ONE(-4007, EAlreadyDialing), ONE(-4008, ENotDialing),

    ONE(-5001, ENoMoreTriggers), ONE(-5002, ETriggerTooLong), ONE(-5003, EBadTriggerHandle),

    // The engines' fatal outcomes are reported as the area itself.
    ONE(-6006, EProtocol), ONE(-6008, EProtocol), ONE(-6009, EProtocol),

    ONE(-7001, EKeyTooLong), ONE(-7002, EDataTooLarge), ONE(-7004, EIniWrite), ONE(-7005, EIniRead),
    ONE(-7007, ERecordExists), ONE(-7008, ERecordNotFound), ONE(-7010, EDatabaseFull),
    ONE(-7011, EDatabaseEmpty), ONE(-7013, EBadFieldList), ONE(-7014, EBadFieldForIndex),

    ONE(-8001, EFaxBadFormat), ONE(-8002, EBadGraphicsFormat), ONE(-8003, EConvertAbort),
    ONE(-8004, EUnpackAbort), ONE(-8005, ECantMakeBitmap), ONE(-8053, EFax),
    ONE(-8060, EFaxBadMachine), ONE(-8061, EFaxBadModemResult), ONE(-8062, EFaxTrainError),
    ONE(-8063, EFaxInitError), ONE(-8064, EFaxBusy), ONE(-8065, EFaxVoiceCall),
    ONE(-8066, EFaxDataCall), ONE(-8067, EFaxNoDialTone), ONE(-8068, EFaxNoCarrier),
    ONE(-8069, EFaxSessionError), ONE(-8070, EFaxPageError),

    // Telephony never runs here; its codes raise the area.
    RUN(-13801, -13803, ETapi), RUN(-13805, -13823, ETapi), RUN(-13825, -13848, ETapi),
    RUN(-13850, -13886, ETapi), RUN(-13928, -13932, ETapi), ONE(-13935, ETapi),
    ONE(-13936, ETapi), ONE(-13942, ETapi),

    ONE(-13980, ERasLoadFail),
};

#undef ONE
#undef RUN

constexpr std::int32_t kFirstIoCode = -2;
constexpr std::int32_t kLastIoCode = -162;
constexpr std::int32_t kOutOfMemory = -8;
constexpr std::int32_t kOtherException = -9999;

}  // namespace

std::int32_t CheckException(std::int32_t code) {
  if (code >= 0) return code;
  if (code <= kFirstIoCode && code >= kLastIoCode) {
    if (code == kOutOfMemory) throw EOutOfMemory();
    throw EInOutError(-code, SioLoadStr(-code));
  }
  for (const CodeClass& c : kCodeClasses) {
    if (code <= c.first && code >= c.last) c.raise(code);
  }
  // Keep the code: a fallback carrying 0 would read as success after XlatException.
  throw ESioException("Serial exception", code);
}

std::int32_t XlatException(const std::exception& e) noexcept {
  // A serial error made from a plain text carries code 0; it is still a failure.
  if (const auto* sio = dynamic_cast<const ESioException*>(&e)) return sio->ErrorCode != 0 ? sio->ErrorCode : kOtherException;
  if (const auto* io = dynamic_cast<const EInOutError*>(&e)) return -io->ErrorCode;
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return kOutOfMemory;
  return kOtherException;
}
