#pragma once
// The two UDP readers of the RealTraffic link: "Traffic Reader" (one aircraft per datagram)
// and "QNH Reader" (the weather). Each reader object owns its thread; the run thread starts
// the threads, and stops and joins them at the end of a run.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "foundation/geodesy.hpp"
#include "platform/net.hpp"
#include "traffic/drop_tally.hpp"

inline constexpr std::uint16_t trafficReaderPort = 49005;
inline constexpr std::uint16_t qnhReaderPort = 49004;
inline constexpr std::size_t readerBufferSize = 16384;
inline constexpr std::chrono::milliseconds readerReceiveTimeout{1000};
// The Traffic Reader's socket buffer: room for a burst of thousands of datagrams.
inline constexpr std::size_t trafficReceiveBufferBytes = 4 * 1024 * 1024;

class UdpReader {
 public:
  UdpReader(const char* threadName, const DropTallyKind& dropKind)
      : name(threadName), drops(dropKind) {}
  virtual ~UdpReader();
  UdpReader(const UdpReader&) = delete;
  UdpReader& operator=(const UdpReader&) = delete;

  virtual void onDatagram() = 0;  // handles `datagram`
  virtual void onStopped() = 0;   // once, when the loop ends because of stopFlag

  const char* const name;  // the thread's name, also in its log lines
  std::string_view datagram;  // the datagram being handled; points into buffer
  std::atomic<bool> stopFlag{false};
  std::atomic<std::uint32_t> datagramCount{0};  // handed to onDatagram
  std::atomic<std::uint32_t> lampCount{0};      // datagramCount at the last lamp check
  std::array<char, readerBufferSize + 1> buffer{};  // + the 0 after a datagram
  std::string lastDatagram;  // the last one that was not a repeat
  platform::UdpSocket socket;
  std::atomic<std::uint16_t> boundPort{0};  // the port actually bound (tests bind port 0)
  std::atomic<bool> running{false};          // the thread body has not yet returned
  std::thread thread;
  // What was dropped since the last summary line: datagrams too long for the buffer, and the
  // reader's own refusals.
  DropTally drops;

  // Ends a thread that has been asked to stop (or has ended by itself) before the stop flag
  // is cleared or a new thread is started on this object.
  void joinIfStopping();
  void stopAndJoin();
};

class TrafficReader final : public UdpReader {
 public:
  TrafficReader();
  ~TrafficReader() override { stopAndJoin(); }  // before the handlers go away
  void onDatagram() override;  // lf_processTrafficLine
  void onStopped() override;   // lf_trafficReaderStopped

  std::vector<std::string_view> fields;  // views into datagram, capacity 64
  std::atomic<bool> collectCallsigns{false};
  std::atomic<std::int32_t> trafficQnh{1013};  // hPa; corrects the reported altitudes

  // The user aircraft's position that the range filter measures from (run thread writes).
  LatLon userLatLon() const;
  void setUserLatLon(const LatLon& position);
  // The park airport's altitude in feet; none without a park airport.
  std::optional<double> fieldElevation() const;
  void setFieldElevation(std::optional<double> feet);

  // Callsigns gathered while collectCallsigns is set.
  void insertCallsign(std::string_view callsign);
  void clearCallsigns();
  void startCallsignCollection();                      // empties the set, then sets the flag
  std::unordered_set<std::string> takeCallsigns();  // clears the flag, takes and empties the set
  std::size_t callsignCount() const;

 private:
  mutable std::mutex callsignMutex_;
  std::unordered_set<std::string> callsignSet_;
  mutable std::mutex userLatLonMutex_;
  LatLon userLatLon_;
  std::atomic<double> fieldElevation_;  // NaN = none
};

class QnhReader final : public UdpReader {
 public:
  QnhReader() : UdpReader("QNH Reader", qnhDropKind) {}
  ~QnhReader() override { stopAndJoin(); }
  void onDatagram() override;  // lf_processQnh
  void onStopped() override;   // lf_qnhReaderStopped

  std::atomic<std::int32_t> lastQnh{0};  // the QNH last applied
};

extern TrafficReader trafficReader;
extern QnhReader qnhReader;

// The watchdog's memory that it has lit the lamp.
extern std::atomic<bool> trafficLampLit;
extern std::atomic<bool> qnhLampLit;

// Thread bodies.
void lf_trafficReader(std::uint16_t port, bool localOnly);
void lf_qnhReader(std::uint16_t port);  // localOnly and keepRepeats: realTrafficDetected

// Starts the reader's thread (a previous one is stopped and joined first).
void gf_startTrafficReader(std::uint16_t port, bool localOnly);
void gf_startQnhReader(std::uint16_t port);
// Sets both stop flags and joins both threads (each ends within its receive time-out).
void gf_stopReaders();

void lf_receiveLoop(UdpReader& reader, bool keepRepeats);
void gf_checkReaderLamps();
void gf_resetReaders();
