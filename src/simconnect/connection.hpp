#pragma once
// The connection object behind a SimConnect handle: its transport, the send path (whole
// packets stamped with the send id and queued under one lock) and the receive path (packets
// cut from the stream, checked and queued until SimConnect_CallDispatch).
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sim_transport.hpp"
#include "simconnect/packet_cutter.hpp"
#include "simconnect/sim_config.hpp"
#include "simconnect/simconnect.hpp"

struct SimConnection final : platform::SimTransportSink {
  SimConnection(const SimConnectConfig& config, std::unique_ptr<platform::SimTransport> transport);
  ~SimConnection() override;

  // Stamps the next send id into the packet (offset 12) and queues it whole for writing.
  // The packet's size field must be filled. sendId receives the stamped id.
  SimConnectResult send(std::byte* packet, std::uint32_t size, std::uint32_t* sendId);
  // Hands every queued packet to the callback on this thread.
  SimConnectResult dispatch(SimDispatchProc callback, void* context);
  // Writes out what is queued, stops the transport and drops unread packets.
  void close();

  SimConnectResult failureCode() const { return failureCode_.load(); }
  bool failed() const { return failed_.load(); }
  std::uint32_t lastSendId() const;
  // Tests: the counter value the next send id follows.
  void setSendCounter(std::uint32_t value);

  // The target the application gave at open (kept; this library posts nothing to it).
  void* windowHandle = nullptr;
  std::uint32_t userMessage = 0;
  void* eventHandle = nullptr;
  SimDispatchProc storedCallback = nullptr;
  void* storedContext = nullptr;

  const std::uint32_t id;  // numbers the connections of the process (never 0)

  // SimTransportSink (the transport's I/O thread)
  std::span<std::byte> receiveSpace() override;
  bool received(std::size_t bytes) override;
  void disconnected(platform::DisconnectReason reason, int osError) override;

 private:
  void fail(platform::DisconnectReason reason, int osError);
  void queuePacket(const std::byte* packet, std::uint32_t size);

  SimConnectConfig config_;
  std::unique_ptr<platform::SimTransport> transport_;

  std::mutex sendMutex_;  // stamping and queueing are one step, so packets never interleave
  std::uint32_t sendCounter_ = 0;
  std::atomic<std::uint32_t> lastSendId_{0};

  std::atomic<bool> failed_{false};
  std::atomic<SimConnectResult> failureCode_{simFail};
  std::atomic<int> failureReason_{0};
  std::atomic<int> failureOsError_{0};

  PacketCutter cutter_;  // I/O thread only

  std::mutex receiveMutex_;
  std::deque<std::vector<std::byte>> receiveQueue_;
  std::vector<std::vector<std::byte>> spareBlocks_;  // emptied blocks, reused for new packets
};

// Opens the transport for the configuration index in the order pipe, IPv6, IPv4, pipe.
// 0 with a transport; 3 when the configuration section does not exist; 1 when nothing opened.
int gf_openSimTransport(std::uint32_t configIndex, SimConnectConfig& config,
                        std::unique_ptr<platform::SimTransport>& transport);
