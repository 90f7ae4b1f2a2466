#include "serial/SlExcept.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "serial/SlStrMap.h"

namespace {

template <class T>
bool IsA(const std::exception& e) {
  return dynamic_cast<const T*>(&e) != nullptr;
}

// A run of codes (first down to last) that must raise exactly Leaf, a kind of Area.
struct Mapped {
  std::int32_t first;
  std::int32_t last;
  const std::type_info* leaf;
  bool (*inArea)(const std::exception&);
  const char* name;
};

#define M(first, last, Leaf, Area) {first, last, &typeid(Leaf), &IsA<Area>, #Leaf}

const Mapped kMapped[] = {
    M(-1002, -1002, EBadArgument, EGeneral),
    M(-1003, -1003, EGotQuitMsg, EGeneral),
    M(-1004, -1004, EBufferTooBig, EGeneral),
    M(-1005, -1005, EPortNotAssigned, EGeneral),
    M(-1006, -1006, EInternal, EGeneral),
    M(-1007, -1007, EModemNotAssigned, EGeneral),
    M(-1008, -1008, EPhonebookNotAssigned, EGeneral),
    M(-1009, -1009, ECannotUseWithWinSock, EGeneral),
    M(-2001, -2001, EBadId, EOpenComm),
    M(-2002, -2002, EBaudRate, EOpenComm),
    M(-2003, -2003, EByteSize, EOpenComm),
    M(-2004, -2004, EDefault, EOpenComm),
    M(-2005, -2005, EHardware, EOpenComm),
    M(-2006, -2006, EMemory, EOpenComm),
    M(-2007, -2007, ECommNotOpen, EOpenComm),
    M(-2008, -2008, EAlreadyOpen, EOpenComm),
    M(-2009, -2009, ENoHandles, EOpenComm),
    M(-2010, -2010, ENoTimers, EOpenComm),
    M(-2011, -2011, ENoPortSelected, EOpenComm),
    M(-2012, -2012, ENotOpenedByTapi, EOpenComm),
    M(-3001, -3001, ENullApi, ESerialIO),
    M(-3003, -3003, ERegisterHandlerFailed, ESerialIO),
    M(-3004, -3004, EPutBlockFail, ESerialIO),
    M(-3005, -3005, EGetBlockFail, ESerialIO),
    M(-3006, -3006, EOutputBufferTooSmall, ESerialIO),
    M(-3007, -3007, EBufferIsEmpty, ESerialIO),
    M(-3008, -3008, ETracingNotEnabled, ESerialIO),
    M(-3009, -3009, ELoggingNotEnabled, ESerialIO),
    M(-3010, -3010, EBaseAddressNotSet, ESerialIO),
    M(-4001, -4001, EModemNotStarted, EModem),
    M(-4002, -4002, EModemBusy, EModem),
    M(-4003, -4003, EModemNotDialing, EModem),
    M(-4004, -4004, EModemNotResponding, EModem),
    M(-4005, -4005, EModemRejectedCommand, EModem),
    M(-4006, -4006, EModemStatusMismatch, EModem),
    M(-4007, -4007, EAlreadyDialing, EModem),
    M(-4008, -4008, ENotDialing, EModem),
    M(-5001, -5001, ENoMoreTriggers, ETrigger),
    M(-5002, -5002, ETriggerTooLong, ETrigger),
    M(-5003, -5003, EBadTriggerHandle, ETrigger),
    M(-6006, -6006, EProtocol, EProtocol),
    M(-6008, -6008, EProtocol, EProtocol),
    M(-6009, -6009, EProtocol, EProtocol),
    M(-7001, -7001, EKeyTooLong, EINI),
    M(-7002, -7002, EDataTooLarge, EINI),
    M(-7004, -7004, EIniWrite, EINI),
    M(-7005, -7005, EIniRead, EINI),
    M(-7007, -7007, ERecordExists, EINI),
    M(-7008, -7008, ERecordNotFound, EINI),
    M(-7010, -7010, EDatabaseFull, EINI),
    M(-7011, -7011, EDatabaseEmpty, EINI),
    M(-7013, -7013, EBadFieldList, EINI),
    M(-7014, -7014, EBadFieldForIndex, EINI),
    M(-8001, -8001, EFaxBadFormat, EFax),
    M(-8002, -8002, EBadGraphicsFormat, EFax),
    M(-8003, -8003, EConvertAbort, EFax),
    M(-8004, -8004, EUnpackAbort, EFax),
    M(-8005, -8005, ECantMakeBitmap, EFax),
    M(-8053, -8053, EFax, EFax),
    M(-8060, -8060, EFaxBadMachine, EFax),
    M(-8061, -8061, EFaxBadModemResult, EFax),
    M(-8062, -8062, EFaxTrainError, EFax),
    M(-8063, -8063, EFaxInitError, EFax),
    M(-8064, -8064, EFaxBusy, EFax),
    M(-8065, -8065, EFaxVoiceCall, EFax),
    M(-8066, -8066, EFaxDataCall, EFax),
    M(-8067, -8067, EFaxNoDialTone, EFax),
    M(-8068, -8068, EFaxNoCarrier, EFax),
    M(-8069, -8069, EFaxSessionError, EFax),
    M(-8070, -8070, EFaxPageError, EFax),
    M(-13801, -13803, ETapi, ETapi),
    M(-13805, -13823, ETapi, ETapi),
    M(-13825, -13848, ETapi, ETapi),
    M(-13850, -13886, ETapi, ETapi),
    M(-13928, -13932, ETapi, ETapi),
    M(-13935, -13936, ETapi, ETapi),
    M(-13942, -13942, ETapi, ETapi),
    M(-13980, -13980, ERasLoadFail, ERas),
};

#undef M

TEST(SlExceptCheck, EveryMappedCodeRaisesItsClassWithItsCodeAndText) {
  std::size_t codes = 0;
  for (const Mapped& m : kMapped) {
    for (std::int32_t code = m.first; code >= m.last; --code) {
      ++codes;
      try {
        CheckException(code);
        ADD_FAILURE() << code << " raised nothing";
      } catch (const ESioException& e) {
        EXPECT_EQ(typeid(e), *m.leaf) << code << " should raise " << m.name;
        EXPECT_TRUE(m.inArea(e)) << code;
        EXPECT_EQ(e.ErrorCode, code);
        EXPECT_EQ(std::string(e.what()), SioLoadStr(code)) << code;
        EXPECT_EQ(XlatException(e), code);
      }
    }
  }
  EXPECT_EQ(codes, 162u);  // the list above is the whole mapping
}

TEST(SlExceptCheck, ZeroAndPositiveCodesPassThrough) {
  for (std::int32_t code : {0, 1, 5, 4700, 15101, std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(CheckException(code), code);
  }
}

TEST(SlExceptCheck, UnmappedNegativeCodesKeepTheirCode) {
  // Rows without a class of their own, codes outside the table, and the neighbours of
  // the I/O range.
  for (std::int32_t code : {-1, -163, -1001, -3002, -4009, -5501, -5506, -6001, -6007, -6016, -7003, -8006,
                            -13804, -13824, -13934, -99999, std::numeric_limits<std::int32_t>::min()}) {
    try {
      CheckException(code);
      ADD_FAILURE() << code << " raised nothing";
    } catch (const ESioException& e) {
      EXPECT_EQ(typeid(e), typeid(ESioException)) << code;
      EXPECT_STREQ(e.what(), "Serial exception");
      EXPECT_EQ(e.ErrorCode, code);
      EXPECT_EQ(XlatException(e), code);  // never 0, which would mean success
    }
  }
}

TEST(SlExceptCheck, IoCodesRaiseTheIoErrorWithThePositiveNumber) {
  const struct {
    std::int32_t code;
    std::string text;
  } cases[] = {
      {-2, "File not found"},
      {-5, "Access denied"},
      {-7, std::strerror(7)},  // in the range but without a row
      {-101, "Disk is full"},
      {-162, "General failure"},
  };
  for (const auto& c : cases) {
    try {
      CheckException(c.code);
      ADD_FAILURE() << c.code << " raised nothing";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.ErrorCode, -c.code);
      EXPECT_EQ(e.what(), c.text);
      EXPECT_EQ(XlatException(e), c.code);
    }
  }
  EXPECT_THROW(CheckException(-8), EOutOfMemory);
  EXPECT_THROW(CheckException(-8), std::bad_alloc);
}

TEST(SlExceptXlat, OtherExceptions) {
  EXPECT_EQ(XlatException(EOutOfMemory()), -8);
  EXPECT_EQ(XlatException(std::bad_alloc()), -8);
  EXPECT_EQ(XlatException(std::runtime_error("x")), -9999);
  EXPECT_EQ(XlatException(ESioGSMPhoneException(-8300, "x")), -9999);
  // A serial error made from a plain text has code 0 but is a failure all the same.
  EXPECT_EQ(XlatException(ESioException(std::string("Port busy"))), -9999);
}

TEST(SlExceptClasses, ConstructorsAndStringIds) {
  const ESioException fromCode(-2005);
  EXPECT_EQ(fromCode.ErrorCode, -2005);
  EXPECT_STREQ(fromCode.what(), "ie_Hardware - Specified comport in use");

  const ESioException fromText(std::string("Custom"));
  EXPECT_EQ(fromText.ErrorCode, 0);
  EXPECT_STREQ(fromText.what(), "Custom");

  const EHardware leaf(-2005);
  const std::exception& base = leaf;
  EXPECT_STREQ(base.what(), "ie_Hardware - Specified comport in use");
  EXPECT_TRUE(IsA<EOpenComm>(base));
  EXPECT_FALSE(IsA<ESerialIO>(base));

  EXPECT_EQ(ESioException::MapCodeToStringID(-2001), 2001u);
  EXPECT_EQ(ESioException::MapCodeToStringID(4700), 4700u);
  EXPECT_EQ(ESioException::MapCodeToStringID(std::numeric_limits<std::int32_t>::min()), 2147483648u);
}

}  // namespace
