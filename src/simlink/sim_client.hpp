#pragma once
// The "SimClient" thread: owns the connection to the simulator for one run, defines the data
// and events, pumps the dispatch about once per millisecond and ends the run when the
// simulator asks for it (new flight, simulator gone, wrong simulator).
#include <atomic>
#include <cstdint>
#include <stop_token>
#include <thread>

#include "simconnect/simconnect.hpp"

// The open connection, null while not connected. Other threads call the API with it under
// simQueueMutex; the SimClient thread clears it under that lock before it closes the connection.
extern std::atomic<SimConnection*> simConnectHandle;
extern std::atomic<bool> simRunning;
extern std::jthread simClientThread;

inline constexpr const char* simClientName = "Wendrix_P3D";

// Run start (services): a new SimClient thread. Closing down: stop request and join.
void gf_startSimClient();
void gf_stopSimClient();

// Run reset: queues, user aircraft, simRunning, the expected major version from P3D_VERSION.
void gf_resetSimLink();

void lf_simClient(std::stop_token stop);
void lf_defineSimData(SimConnection* handle);
void lf_addToSimNotificationGroup(SimConnection* handle, std::uint32_t eventId);

// The dispatch callback. Throws what the handlers throw (user errors 78, 95, 71, 73, ...).
void lf_simDispatch(const SimRecv* packet, std::uint32_t size, void* context);
void lf_onSimOpen(const SimRecvOpen& packet);
void lf_onSimException(const SimRecvException& packet);

// Ends the run with SIM WAS CLOSED, once per flag.
void lf_simNoLongerConnected(std::atomic<bool>& once);
void lf_closeSimConnect(SimConnection*& handle);
