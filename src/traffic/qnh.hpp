#pragma once
// The QNH datagram ({"QNH":1013}): brought to hectopascals within 900..1100 and handed to the
// traffic decoder, the movement engine and the counters band.
#include <atomic>
#include <cstdint>
#include <string_view>

#include "traffic/udp_reader.hpp"

extern std::atomic<std::int32_t> qnhHpa;  // the current QNH for the movement engine

// onDatagram of the QNH Reader: the datagram is in reader.datagram. Catches its own errors.
// Datagram texts in its log lines are made safe (gf_logSafeText). A refused datagram gets its
// own log line when it is the first in a minute; later ones go into reader.drops and a summary
// line once a minute.
void lf_processQnh(QnhReader& reader);
// The summary line of the refused datagrams not yet written (the reader stops).
void gf_logQnhDrops(QnhReader& reader);
// The same for a datagram in any buffer (valid during the call): what fuzzers and tools call.
void gf_processQnhDatagram(QnhReader& reader, std::string_view datagram);
