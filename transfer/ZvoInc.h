// Answers the panel's request that comes before a site database transfer. The panel sends
// SOH, two bytes, ETX and waits for SOH, the CRC-16 of those two bytes (high byte first)
// and ETX; only a partner computing the CRC in the panel's own variant can answer. The
// variant is that of the program's panel type when the responder is made.
//
// One data packet on the given port recognises the request. Its events, and so the
// completion callback, run on the user-interface thread.
//
// The responder must be destroyed before its port: it leaves the port in its destructor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TCrc16DDS;
class TSioCustomComPort;
class TSioDataPacket;

class SerialAckResponder {
 public:
  // Called after a request has been handled, answered or not (the output buffer may have
  // had no room); sender is always null.
  using TCompletionCallback = std::function<void(SerialAckResponder* sender)>;

  // Disarmed after construction. The port is not owned.
  explicit SerialAckResponder(TSioCustomComPort* port);
  SerialAckResponder(const SerialAckResponder&) = delete;
  SerialAckResponder& operator=(const SerialAckResponder&) = delete;
  virtual ~SerialAckResponder();

  // Arms the packet: the next request is awaited, however long it takes. A request of
  // another length is ignored and the wait goes on.
  void Enable();
  // Disarms it; a request arriving afterwards is not answered.
  void Disable();

  // Set and cleared by the transfer window directly; empty after construction.
  TCompletionCallback CompletionCallback;

  TSioDataPacket* Packet() const { return packet_.get(); }
  TSioCustomComPort* Port() const { return port_; }

  // The answer to the request bytes b1, b2: SOH, CRC high, CRC low, ETX.
  void Answer(std::uint8_t b1, std::uint8_t b2, std::uint8_t out[4]) const;

 private:
  void PacketReceived(const void* data, int size);
  void PacketTimeout();

  std::unique_ptr<TSioDataPacket> packet_;
  TSioCustomComPort* port_;
  std::unique_ptr<TCrc16DDS> crc_;
};
