// The simulator calls the program makes, with the program's own arguments, as one table that both
// clients are driven from: node-simconnect through its methods, our library through
// bin/simconnect_calls (one tab-separated line per call).

export const kUnused = 0xffffffff;
export const kProgramName = 'QUENNICK TARVELX CONNECT';

export const DataType = { INT32: 1, FLOAT64: 4, STRING8: 5, STRINGV: 11 };
export const Period = { SECOND: 4 };
export const kPriorityHighest = 1;
export const kPriorityLowest = 4000000000;
export const kGroupIdIsPriority = 0x10;

// The program's data definitions and ids (sim/SimFlightData.cpp, sim/SimIds.h).
export const kTitleDefinition = 0;
export const kFlightDefinition = 1;
export const kTitleRequest = 0;
export const kFlightRequest = 1;
export const Event = { SIM_START: 0, PLANE_LOADED: 1, PAUSE_OFF: 2, PAUSE_ON: 3, PAUSE_STATE: 4 };
export const kFlightDatums = [
  ['AIRSPEED INDICATED', 'Knots', DataType.FLOAT64],
  ['AIRSPEED MACH', 'Mach', DataType.FLOAT64],
  ['Indicated Altitude', 'feet', DataType.FLOAT64],
  ['HEADING INDICATOR', 'Radians', DataType.FLOAT64],
  ['GPS WP DISTANCE', 'Meters', DataType.FLOAT64],
  ['FUEL TOTAL QUANTITY WEIGHT', 'Pounds', DataType.FLOAT64],
  ['GPS GROUND SPEED', 'Meters per second', DataType.FLOAT64],
  ['GPS WP VERTICAL SPEED', 'Meters per second', DataType.FLOAT64],
  ['GPS WP NEXT ID', null, DataType.STRING8],
];

// Type words of the packets, so a recording can be told apart call by call.
export const kPacketTypes = {
  Open: 0x01,
  MapClientEventToSimEvent: 0x04,
  TransmitClientEvent: 0x05,
  AddClientEventToNotificationGroup: 0x07,
  SetNotificationGroupPriority: 0x09,
  AddToDataDefinition: 0x0c,
  RequestDataOnSimObject: 0x0e,
  RequestDataOnSimObjectType: 0x0f,
  SubscribeToSystemEvent: 0x17,
};

const call = (name, ...args) => ({ name, args });

// Everything the program sends after Open, in the order of a connection's life.
export function programCalls() {
  return [
    call('AddToDataDefinition', kTitleDefinition, 'TITLE', null, DataType.STRINGV, 0, kUnused),
    ...kFlightDatums.map(([datum, unit, type]) =>
      call('AddToDataDefinition', kFlightDefinition, datum, unit, type, 0, kUnused)),
    call('RequestDataOnSimObject', kFlightRequest, kFlightDefinition, 0, Period.SECOND, 0, 0, 1, 0),
    call('MapClientEventToSimEvent', Event.PAUSE_OFF, 'PAUSE_OFF'),
    call('MapClientEventToSimEvent', Event.PAUSE_ON, 'PAUSE_ON'),
    call('SubscribeToSystemEvent', Event.SIM_START, 'SimStart'),
    call('SubscribeToSystemEvent', Event.PAUSE_STATE, 'Pause'),
    call('SubscribeToSystemEvent', Event.PLANE_LOADED, 'AircraftLoaded'),
    call('RequestDataOnSimObjectType', kTitleRequest, kTitleDefinition, 0, 0),
    call('AddClientEventToNotificationGroup', 1, Event.PAUSE_ON, 0),
    call('AddClientEventToNotificationGroup', 1, Event.PAUSE_OFF, 1),
    call('SetNotificationGroupPriority', 1, kPriorityHighest),
    call('TransmitClientEvent', 0, Event.PAUSE_ON, 0, kPriorityHighest, kGroupIdIsPriority),
    call('TransmitClientEvent', 0, Event.PAUSE_OFF, 0, kPriorityHighest, kGroupIdIsPriority),
  ];
}

// Arguments at the edges of their fields: names that fill all but the NUL of theirs, every bit
// of a word set, a float epsilon, a private event without a name, a request every 5 s.
export function edgeCalls() {
  const long = (letter) => `${letter}0123456789`.repeat(24).slice(0, 255);
  return [
    call('AddToDataDefinition', 7, long('d'), long('u'), DataType.INT32, 0.25, 3),
    call('AddToDataDefinition', kUnused, 'PLANE LATITUDE', 'degrees', DataType.FLOAT64, 0, kUnused),
    call('RequestDataOnSimObject', kUnused, 7, kUnused, Period.SECOND, 1, 2, 5, 9),
    call('RequestDataOnSimObjectType', 9, 7, 200000, 2),
    call('MapClientEventToSimEvent', 11, ''),
    call('MapClientEventToSimEvent', 12, long('e')),
    call('SubscribeToSystemEvent', 13, long('s')),
    call('AddClientEventToNotificationGroup', kUnused, kUnused, 1),
    call('SetNotificationGroupPriority', 2, kPriorityLowest),
    call('TransmitClientEvent', kUnused, 11, -1 >>> 0, kPriorityLowest, 0),
    call('TransmitClientEvent', 0, 12, 0x80000000, 2, 0),
  ];
}

export function callOnNode(handle, { name, args }) {
  const method = name[0].toLowerCase() + name.slice(1);
  return handle[method](...args);
}

// The line bin/simconnect_calls reads for a call; "(null)" is a null string pointer.
export function callLine({ name, args }) {
  return [name, ...args.map((arg) => (arg === null ? '(null)' : String(arg)))].join('\t');
}
