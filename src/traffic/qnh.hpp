#pragma once
// The QNH datagram ({"QNH":1013}): brought to hectopascals within 900..1100 and handed to the
// traffic decoder, the movement engine and the counters band.
#include <atomic>
#include <cstdint>

#include "traffic/udp_reader.hpp"

extern std::atomic<std::int32_t> qnhHpa;  // the current QNH for the movement engine

// onDatagram of the QNH Reader: the datagram is in reader.datagram. Catches its own errors.
void lf_processQnh(QnhReader& reader);
