// Baseline for bench_simconnect_send: the caller's cost per SetDataOnSimObject through the
// independent node-simconnect client, sent over TCP to a running fakesim.
//
//   node send.mjs --port N [--host 127.0.0.1] [--frames 1000]
//
// Same frame as BM_FramePositionWrites: 500 writes of the 64-byte position (definition 402,
// eight f64 as the program defines them) to 500 objects. call_ns is the median over frames of
// a frame's wall time per call (the first frame warms up), call_ns_p90 and call_ns_max its
// spread; sim_ns_per_packet is the time until the simulator has answered a request sent after
// the frame, per packet. Prints one line of name=value pairs.
import { open, Protocol, RawBuffer, SimConnectDataType, SimConnectPeriod, InitPosition } from 'node-simconnect';

const positionsPerFrame = 500;
const positionDefinition = 402;
const positionData = [
  ['Plane Latitude', 'degree'],
  ['Plane Longitude', 'degree'],
  ['Plane Pitch degrees', 'radians'],
  ['Plane Bank degrees', 'radians'],
  ['Plane Heading degrees true', 'radians'],
  ['Plane Altitude', 'feet'],
  ['Vertical Speed', 'feet per second'],
  ['Airspeed True', 'knots'],
];

function argument(name, fallback) {
  const at = process.argv.indexOf(`--${name}`);
  if (at < 0) return fallback;
  if (at + 1 >= process.argv.length) throw new Error(`--${name} needs a value`);
  return process.argv[at + 1];
}

// The value at fraction q (0..1) of the sorted values, as the C++ benchmark takes it.
function quantile(values, q) {
  if (values.length === 0) return 0;
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(q * (sorted.length - 1))];
}

// Resolves with the first event of the kind that satisfies the test.
function nextEvent(handle, kind, test) {
  return new Promise((resolve) => {
    const listener = (event) => {
      if (!test(event)) return;
      handle.off(kind, listener);
      resolve(event);
    };
    handle.on(kind, listener);
  });
}

async function main() {
  const host = argument('host', '127.0.0.1');
  const port = Number(argument('port', ''));
  const frames = Number(argument('frames', '1000'));
  if (!Number.isInteger(port) || port <= 0 || port > 65535) throw new Error('--port N (the fakesim port) is required');
  if (!Number.isInteger(frames) || frames < 2) throw new Error('--frames must be at least 2');

  const { handle } = await open('Bench', Protocol.FSX_SP2, { host, port });
  // node-simconnect leaves Nagle on: the small request after each frame would wait for the
  // simulator's delayed ACK (about 40 ms) and the client would idle between frames, which the
  // C++ benchmark does not. With Nagle off its per-call median is lower, not higher.
  const socket = handle._clientSocket?._socket;
  if (typeof socket?.setNoDelay === 'function') socket.setNoDelay(true);
  else console.error('node-simconnect: its socket is not where expected; Nagle stays on');
  let exceptions = 0;
  handle.on('exception', () => ++exceptions);
  handle.on('error', (error) => {
    console.error(`node-simconnect: ${error.message}`);
    process.exit(1);
  });

  for (const [name, units] of positionData) {
    handle.addToDataDefinition(positionDefinition, name, units, SimConnectDataType.FLOAT64);
  }

  // The objects to move: created through the protocol, as the program creates its AI aircraft.
  const objectIds = new Array(positionsPerFrame);
  let assigned = 0;
  const allAssigned = new Promise((resolve) => {
    handle.on('assignedObjectID', ({ requestID, objectID }) => {
      if (requestID < 1 || requestID > positionsPerFrame) return;
      objectIds[requestID - 1] = objectID;
      if (++assigned === positionsPerFrame) resolve();
    });
  });
  const start = new InitPosition();
  start.latitude = 47.0;
  start.longitude = 8.0;
  start.altitude = 3000.0;
  start.airspeed = 250;
  for (let i = 0; i < positionsPerFrame; ++i) handle.aICreateNonATCAircraft('Bench', `B${i}`, start, i + 1);
  await allAssigned;

  // A request sent after the frame is answered once the simulator has taken every packet before it.
  let nextRequest = 10000;
  const simulatorCaughtUp = () => {
    const requestId = nextRequest++;
    const answered = nextEvent(handle, 'simObjectData', (data) => data.requestID === requestId);
    handle.requestDataOnSimObject(requestId, positionDefinition, objectIds[0], SimConnectPeriod.ONCE);
    return answered;
  };
  await simulatorCaughtUp();

  const position = [47.0, 8.0, -0.05, 0.01, 1.5, 3000.0, 10.0, 250.0];
  const data = new RawBuffer(64);
  const unit = { buffer: data, arrayCount: 0, tagged: false };
  const callNs = [];
  let toSimNs = 0;
  for (let frame = 0; frame < frames; ++frame) {
    const begin = process.hrtime.bigint();
    for (let i = 0; i < positionsPerFrame; ++i) {
      position[0] += 1e-6;
      data.clear();
      for (const value of position) data.writeFloat64(value);
      handle.setDataOnSimObject(positionDefinition, objectIds[i], unit);
    }
    const queued = process.hrtime.bigint();
    if (frame > 0) callNs.push(Number(queued - begin) / positionsPerFrame);
    await simulatorCaughtUp();
    toSimNs += Number(process.hrtime.bigint() - begin);
  }
  handle.close();

  const line = {
    client: 'node-simconnect',
    frames: callNs.length,
    call_ns: quantile(callNs, 0.5),
    call_ns_p90: quantile(callNs, 0.9),
    call_ns_max: quantile(callNs, 1.0),
    sim_ns_per_packet: toSimNs / (frames * positionsPerFrame),
    exceptions,
  };
  console.log(Object.entries(line).map(([k, v]) => `${k}=${typeof v === 'number' && !Number.isInteger(v) ? v.toFixed(1) : v}`).join(' '));
  if (exceptions !== 0) {
    console.error('node-simconnect: the fake simulator refused packets');
    process.exit(1);
  }
}

main().catch((error) => {
  console.error(`node-simconnect: ${error.message}`);
  process.exit(1);
});
