#include "transfer/ZvoInc.h"

#include <string>

#include "model/Crc16.h"
#include "serial/SioComPort.h"
#include "serial/SlPacket.h"

namespace {

constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kEtx = 0x03;

}  // namespace

SerialAckResponder::SerialAckResponder(TSioCustomComPort* port) : port_(port) {
  crc_ = std::make_unique<TCrc16DDS>();
  packet_ = std::make_unique<TSioDataPacket>(nullptr);
  packet_->SetComPort(port);
  packet_->SetOnPacket([this](TSioDataPacket*, const void* data, int size) { PacketReceived(data, size); });
  packet_->SetOnTimeout([this](TSioDataPacket*) { PacketTimeout(); });
  packet_->SetIncludeStrings(false);
  packet_->SetStartString(std::string(1, static_cast<char>(kSoh)));
  packet_->SetEndString(std::string(1, static_cast<char>(kEtx)));
  packet_->SetPacketSize(0);
  packet_->SetEndCond(static_cast<TPacketEndSet>(packet_->EndCond() | PacketEndBit(ecString)));
  packet_->SetAutoEnable(false);
  packet_->SetEnabled(false);
  // A request that starts must be complete within one tick.
  packet_->SetTimeOut(1);
}

SerialAckResponder::~SerialAckResponder() {
  packet_->SetOnPacket(nullptr);
  packet_->SetOnTimeout(nullptr);
  packet_->SetComPort(nullptr);
  crc_.reset();
  packet_.reset();
  CompletionCallback = nullptr;
}

void SerialAckResponder::Enable() {
  packet_->SetAutoEnable(true);
  packet_->SetEnabled(true);
}

void SerialAckResponder::Disable() {
  packet_->SetAutoEnable(false);
  packet_->SetEnabled(false);
}

void SerialAckResponder::Answer(std::uint8_t b1, std::uint8_t b2, std::uint8_t out[4]) const {
  const std::uint8_t request[2] = {b1, b2};
  const std::uint16_t crc = crc_->Compute(request, 2);
  out[0] = kSoh;
  out[1] = static_cast<std::uint8_t>(crc >> 8);  // high byte first, unlike the site file
  out[2] = static_cast<std::uint8_t>(crc & 0xFF);
  out[3] = kEtx;
}

void SerialAckResponder::PacketReceived(const void* data, int size) {
  // Another length is not the panel's request; the packet re-arms by itself.
  if (size != 2) return;
  Disable();
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint8_t answer[4];
  Answer(bytes[0], bytes[1], answer);
  if (port_->OutBuffFree() > 4) port_->PutBlock(answer, sizeof answer);
  // A copy: the transfer window clears the field from inside its callback.
  const TCompletionCallback callback = CompletionCallback;
  if (callback) callback(nullptr);
}

void SerialAckResponder::PacketTimeout() {
  // The packet has dropped the partial request; what the port still holds goes too.
  port_->FlushInBuffer();
  Enable();
}
