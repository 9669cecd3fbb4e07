// What the state bytes of a record mean, read the way the plug-in's alarm
// rules read them, so that a tile and the alarm list never disagree:
//
// - rect.N.switch.1, the first switch-state byte of a module: 0 the module
//   runs, 1 it is switched off. The run alarm of threshold mode 2 is raised
//   on byte == 1 - "open_41_43" (a device setting, 0 by default; 1 swaps
//   the two readings). Other values are shown as they are.
// - rect.N.fault, the module's fault-state byte: any non-zero value is a
//   fault (the module fault alarm of mode 1).
// - rect.N.user_alarm.1, the module's first user-defined alarm byte: 0x80
//   means its communication is lost (modes 1 and 2; in the other modes the
//   same code means DC over-voltage, so it is not read as communication).
// - dc.S.fuse.F, a fuse/branch alarm state: non-zero is an alarm (a blown
//   fuse), in every mode.
export const STATE_BYTES = {
  rectOnOff: { leaf: 'switch.1', on: 0, off: 1 },
  rectFault: { leaf: 'fault', isFault: (v) => v !== 0 },
  rectComm: { leaf: 'user_alarm.1', lost: 0x80, modes: [1, 2] },
  fuse: { isBlown: (v) => v !== 0 },
};

// settings: what the server tells of the device's configuration, when it
// does ({"open_41_43": N, "b_mode": N}); defaults otherwise.
export function rectifierState(values, n, settings) {
  const value = (leaf) => values['rect.' + n + '.' + leaf];
  const s = settings || {};
  const sw = value(STATE_BYTES.rectOnOff.leaf);
  let onOff = 'unknown';
  if (typeof sw === 'number') {
    const swapped = s.open_41_43 === 1;
    if (sw === STATE_BYTES.rectOnOff.on) onOff = swapped ? 'off' : 'on';
    else if (sw === STATE_BYTES.rectOnOff.off) onOff = swapped ? 'on' : 'off';
    else onOff = 'byte ' + sw;
  }
  const faultByte = value(STATE_BYTES.rectFault.leaf);
  const fault = typeof faultByte === 'number' ? STATE_BYTES.rectFault.isFault(faultByte) : null;
  const commByte = value(STATE_BYTES.rectComm.leaf);
  const modeKnown = typeof s.b_mode === 'number';
  let comm = null;  // unknown: no alarm byte reported, or a mode without that reading
  if (typeof commByte === 'number' && (!modeKnown || STATE_BYTES.rectComm.modes.includes(s.b_mode))) {
    comm = commByte === STATE_BYTES.rectComm.lost ? 'lost' : 'ok';
  }
  return { current: value('current'), onOff, fault, faultByte, comm, switchByte: sw };
}

export function fuseBlown(byte) {
  return typeof byte === 'number' && STATE_BYTES.fuse.isBlown(byte);
}
