// The panel request responder over a pseudo-terminal: the test plays the panel on the
// master side, sends requests and reads the answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "model/Contexte.h"
#include "serial/PtyPair.h"
#include "serial/SioComPort.h"
#include "serial/SlPacket.h"
#include "serial/SwMsgWindow.h"
#include "serial/SerialTestSupport.h"
#include "support/TempHome.h"
#include "transfer/ZvoInc.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using serialtest::PtyPair;
using serialtest::PumpUntil;

class ResponderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMainThread();
    std::thread([] {}).join();
    GetContexte().SetCurrentPanelType(7);
    port_ = std::make_unique<TSioComPort>();
    port_->SetComNumber(7);
    port_->SetBaud(9600);
  }
  void TearDown() override {
    responder_.reset();
    port_.reset();
    EXPECT_TRUE(PumpUntil([] { return PortListSize() == 0 && !HasPendingMessages(); }));
  }

  void Start(std::uint16_t outSize = 4096) {
    port_->SetOutSize(outSize);
    port_->SetOpen(true);
    responder_ = std::make_unique<SerialAckResponder>(port_.get());
    responder_->CompletionCallback = [this](SerialAckResponder* sender) {
      EXPECT_EQ(sender, nullptr);
      ++completions_;
    };
    responder_->Enable();
  }
  void Send(const Bytes& bytes) { ASSERT_TRUE(pty_.Write(bytes.data(), bytes.size())); }
  // Pumps until the panel side has count bytes (or the time is up); then what came.
  Bytes Receive(std::size_t count, int timeoutMs = serialtest::kPatienceMs) {
    PumpUntil(
        [&] {
          const Bytes more = pty_.Drain(0);
          got_.insert(got_.end(), more.begin(), more.end());
          return got_.size() >= count;
        },
        timeoutMs);
    Bytes out = got_;
    got_.clear();
    return out;
  }
  // What else arrives while messages keep moving for a while.
  Bytes Quiet(int ms = 150) { return Receive(SIZE_MAX, ms); }

  TempHome home_;
  PtyPair pty_;
  std::unique_ptr<TSioComPort> port_;
  std::unique_ptr<SerialAckResponder> responder_;
  Bytes got_;
  int completions_ = 0;
};

TEST_F(ResponderTest, TheAnswerIsTheCrcOfTheRequestInThePanelTypesVariant) {
  struct Case {
    std::uint8_t panelType;
    Bytes request;
    Bytes answer;
  };
  const Case cases[] = {
      {7, {0x01, 0x12, 0x34, 0x03}, {0x01, 0x99, 0xFD, 0x03}},
      {7, {0x01, 0x00, 0x00, 0x03}, {0x01, 0xEE, 0xF0, 0x03}},
      {4, {0x01, 0x12, 0x34, 0x03}, {0x01, 0x9C, 0xAE, 0x03}},
      {8, {0x01, 0x12, 0x34, 0x03}, {0x01, 0x57, 0x63, 0x03}},
      {1, {0x01, 0x12, 0x34, 0x03}, {0x01, 0xC7, 0x0C, 0x03}},
  };
  port_->SetOpen(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.panelType));
    // The variant is fixed when the responder is made.
    GetContexte().SetCurrentPanelType(c.panelType);
    responder_ = std::make_unique<SerialAckResponder>(port_.get());
    GetContexte().SetCurrentPanelType(c.panelType == 7 ? 4 : 7);
    int calls = 0;
    responder_->CompletionCallback = [&](SerialAckResponder*) { ++calls; };
    responder_->Enable();
    Send(c.request);
    EXPECT_EQ(Receive(4), c.answer);
    EXPECT_EQ(calls, 1);
    // Answered once: the responder is disarmed until armed again.
    EXPECT_FALSE(responder_->Packet()->Enabled());
    Send(c.request);
    EXPECT_TRUE(Quiet().empty());
    EXPECT_EQ(calls, 1);
    responder_.reset();
    port_->FlushInBuffer();
  }
}

TEST_F(ResponderTest, RequestsOfAnotherShapeAreIgnoredAndTheWaitGoesOn) {
  struct Case {
    const char* what;
    Bytes before;
  };
  const Case cases[] = {
      {"one data byte", {0x01, 0x41, 0x03}},
      {"three data bytes", {0x01, 0x41, 0x42, 0x43, 0x03}},
      {"ETX as the first data byte", {0x01, 0x03, 0x34, 0x03}},
      {"noise before SOH", {0x55, 0xAA, 0x00, 0x12}},
  };
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = c.before;
    // The valid request right behind, in the same write.
    bytes.insert(bytes.end(), {0x01, 0x12, 0x34, 0x03});
    const int before = completions_;
    Send(bytes);
    EXPECT_EQ(Receive(4), (Bytes{0x01, 0x99, 0xFD, 0x03}));
    EXPECT_TRUE(Quiet().empty());
    EXPECT_EQ(completions_, before + 1);
    responder_->Enable();
  }
}

TEST_F(ResponderTest, ARequestCutShortByAPauseIsDroppedAndTheWaitGoesOn) {
  Start();
  TSioDataPacket* packet = responder_->Packet();
  // A pause of a tick ends a request, not the packets' default of two minutes, which the
  // wait below would not outlast.
  EXPECT_EQ(packet->TimeOut(), 1);
  Send({0x01});
  ASSERT_TRUE(PumpUntil([&] { return packet->Mode() == dpCollecting; }));
  // One tick later the start byte has gone and the responder waits for a new request.
  ASSERT_TRUE(PumpUntil([&] { return packet->Mode() == dpWaitStart; }));
  EXPECT_EQ(completions_, 0);
  // The rest, arriving late, is not a request; the next full one is answered.
  Send({0x12, 0x34, 0x03});
  EXPECT_TRUE(Quiet().empty());
  Send({0x01, 0x00, 0x00, 0x03});
  EXPECT_EQ(Receive(4), (Bytes{0x01, 0xEE, 0xF0, 0x03}));
  EXPECT_EQ(completions_, 1);
}

TEST_F(ResponderTest, WithoutRoomForTheAnswerNothingIsSentButTheCallbackRuns) {
  Start(4);
  EXPECT_EQ(port_->OutBuffFree(), 4u);
  Send({0x01, 0x12, 0x34, 0x03});
  ASSERT_TRUE(PumpUntil([&] { return completions_ == 1; }));
  EXPECT_TRUE(Quiet().empty());
}

TEST_F(ResponderTest, FiveFreeBytesAreEnoughForTheAnswer) {
  Start(5);
  Send({0x01, 0x12, 0x34, 0x03});
  EXPECT_EQ(Receive(4), (Bytes{0x01, 0x99, 0xFD, 0x03}));
  EXPECT_EQ(completions_, 1);
}

TEST_F(ResponderTest, ADisarmedResponderAnswersNothing) {
  Start();
  responder_->Disable();
  Send({0x01, 0x12, 0x34, 0x03});
  EXPECT_TRUE(Quiet(200).empty());
  EXPECT_EQ(completions_, 0);
  // The callback may clear itself, as the transfer window does.
  responder_->CompletionCallback = [this](SerialAckResponder*) {
    ++completions_;
    responder_->CompletionCallback = nullptr;
  };
  responder_->Enable();
  Send({0x01, 0x12, 0x34, 0x03});
  EXPECT_EQ(Receive(4), (Bytes{0x01, 0x99, 0xFD, 0x03}));
  EXPECT_EQ(completions_, 1);
  EXPECT_FALSE(responder_->CompletionCallback);
}

}  // namespace
