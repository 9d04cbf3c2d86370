// The simulator calls the program makes, with its own arguments, as one table both clients are
// driven from: node-simconnect through its methods, our library through bin/simconnect_calls (one
// tab-separated line per call).

export const kUnused = 0xffffffff;
export const kProgramName = 'QUENNICK TARVELX CONNECT';
const DataType = { INT32: 1, FLOAT64: 4, STRING8: 5, STRINGV: 11 };
const kSecond = 4;
const kHighest = 1;
const kLowest = 4000000000;
const kGroupIdIsPriority = 0x10;

// The program's definitions, requests and events (sim/SimFlightData.cpp, sim/SimIds.h).
export const kTitleRequest = 0;
export const kFlightRequest = 1;
export const Event = { SIM_START: 0, PLANE_LOADED: 1, PAUSE_OFF: 2, PAUSE_ON: 3, PAUSE_STATE: 4 };
const kFlightDatums = [
  ['AIRSPEED INDICATED', 'Knots'], ['AIRSPEED MACH', 'Mach'], ['Indicated Altitude', 'feet'],
  ['HEADING INDICATOR', 'Radians'], ['GPS WP DISTANCE', 'Meters'], ['FUEL TOTAL QUANTITY WEIGHT', 'Pounds'],
  ['GPS GROUND SPEED', 'Meters per second'], ['GPS WP VERTICAL SPEED', 'Meters per second'],
];

const call = (name, ...args) => ({ name, args });
export const transmit = (event, priority = kHighest, flags = kGroupIdIsPriority, object = 0, data = 0) =>
  call('TransmitClientEvent', object, event, data, priority, flags);

// Everything the program sends after Open, in the order of a connection's life, transmissions last.
export function programCalls() {
  return [
    call('AddToDataDefinition', 0, 'TITLE', null, DataType.STRINGV, 0, kUnused),
    ...kFlightDatums.map(([datum, unit]) => call('AddToDataDefinition', 1, datum, unit, DataType.FLOAT64, 0, kUnused)),
    call('AddToDataDefinition', 1, 'GPS WP NEXT ID', null, DataType.STRING8, 0, kUnused),
    call('RequestDataOnSimObject', kFlightRequest, 1, 0, kSecond, 0, 0, 1, 0),
    call('MapClientEventToSimEvent', Event.PAUSE_OFF, 'PAUSE_OFF'),
    call('MapClientEventToSimEvent', Event.PAUSE_ON, 'PAUSE_ON'),
    call('SubscribeToSystemEvent', Event.SIM_START, 'SimStart'),
    call('SubscribeToSystemEvent', Event.PAUSE_STATE, 'Pause'),
    call('SubscribeToSystemEvent', Event.PLANE_LOADED, 'AircraftLoaded'),
    call('RequestDataOnSimObjectType', kTitleRequest, 0, 0, 0),
    call('AddClientEventToNotificationGroup', 1, Event.PAUSE_ON, 0),
    call('AddClientEventToNotificationGroup', 1, Event.PAUSE_OFF, 1),
    call('SetNotificationGroupPriority', 1, kHighest),
    transmit(Event.PAUSE_ON),
    transmit(Event.PAUSE_OFF),
  ];
}

// Arguments at the edges of their fields: names that fill all but the NUL of theirs, every bit
// of a word set, a float epsilon, a private event without a name, a request every 5 s.
export function edgeCalls() {
  const long = (letter) => `${letter}0123456789`.repeat(24).slice(0, 255);
  return [
    call('AddToDataDefinition', 7, long('d'), long('u'), DataType.INT32, 0.25, 3),
    call('RequestDataOnSimObject', kUnused, 7, kUnused, kSecond, 1, 2, 5, 9),
    call('RequestDataOnSimObjectType', 9, 7, 200000, 2),
    call('MapClientEventToSimEvent', 11, ''),
    call('MapClientEventToSimEvent', 12, long('e')),
    call('SubscribeToSystemEvent', 13, long('s')),
    call('AddClientEventToNotificationGroup', kUnused, kUnused, 1),
    call('SetNotificationGroupPriority', 2, kLowest),
    transmit(11, kLowest, 0, kUnused, kUnused),
    transmit(12, 2, 0, 0, 0x80000000),
  ];
}

export function callOnNode(handle, { name, args }) {
  return handle[name[0].toLowerCase() + name.slice(1)](...args);
}

// The line bin/simconnect_calls reads for a call; "(null)" is a null string pointer.
export function callLine({ name, args }) {
  return [name, ...args.map((arg) => (arg === null ? '(null)' : String(arg)))].join('\t');
}
