// The plant at a glance from /api/current: AC inputs, rectifier tiles, DC
// screens. `values` holds what the last published record had (absent:
// not reported; null: reported as an invalid reading); `units` maps names
// to the catalogue's units.
import { el, fill } from './dom.js';
import { reading } from './format.js';
import { rectifierState, fuseBlown } from './state_bytes.js';

function count(values, name) {
  const v = values[name];
  return typeof v === 'number' && v > 0 ? Math.floor(v) : 0;
}

function cell(values, units, name, extraClass) {
  const v = values[name];
  const cls = 'value' + (v === null ? ' invalid' : '') + (extraClass ? ' ' + extraClass : '');
  return el('td', { class: cls, data: { name }, title: name }, reading(v, units(name)));
}

export function renderAc(root, values, units) {
  const inputs = [];
  for (let i = 1; i <= 2; i++) if (('ac.' + i + '.a') in values || ('ac.' + i + '.frequency') in values) inputs.push(i);
  if (inputs.length === 0 && !('ac.current.a' in values)) {
    fill(root, el('p', { class: 'muted' }, 'No AC values in the last record.'));
    return;
  }
  // One column per input and one for the load currents: narrow enough
  // for a third of a laptop screen.
  const phases = [['a', 'Phase A'], ['b', 'Phase B'], ['c', 'Phase C']];
  const rows = phases.map(([p, label]) => el('tr', null, el('th', { scope: 'row' }, label),
    inputs.map((i) => cell(values, units, 'ac.' + i + '.' + p)), cell(values, units, 'ac.current.' + p)));
  rows.push(el('tr', null, el('th', { scope: 'row' }, 'Frequency'),
    inputs.map((i) => cell(values, units, 'ac.' + i + '.frequency')), el('td')));
  const head = el('tr', null, el('th'), inputs.map((i) => el('th', null, 'Input ' + i)), el('th', null, 'Current'));
  const switches = [];
  for (let k = 1; k <= count(values, 'ac.switch.count') && k <= 8; k++) {
    switches.push(el('span', { class: 'chip value', data: { name: 'ac.switch.' + k }, title: 'ac.switch.' + k },
      k + ': ' + reading(values['ac.switch.' + k], '')));
  }
  fill(root,
    el('table', { class: 'grid-table' },
      el('thead', null, head),
      el('tbody', null, rows)),
    switches.length ? el('p', { class: 'switches' }, el('span', { class: 'muted' }, 'AC switch state bytes '), switches) : null);
}

export function renderRectifiers(root, summary, values, units, settings) {
  const n = Math.min(count(values, 'rect.count'), 40);
  const tiles = [];
  let on = 0;
  let off = 0;
  let faults = 0;
  let commLost = 0;
  let total = 0;
  for (let m = 1; m <= n; m++) {
    const s = rectifierState(values, m, settings);
    if (s.onOff === 'on') on++;
    if (s.onOff === 'off') off++;
    if (s.fault) faults++;
    if (s.comm === 'lost') commLost++;
    if (typeof s.current === 'number') total += s.current;
    let cls = 'ok';
    if (s.onOff === 'off') cls = 'off';
    if (s.fault) cls = 'fault';
    if (s.comm === 'lost') cls = 'comm';
    const flags = [];
    if (s.comm === 'lost') flags.push(el('span', { class: 'flag flag-comm' }, 'NO COMM'));
    if (s.fault) flags.push(el('span', { class: 'flag flag-fault' }, 'FAULT'));
    flags.push(el('span', { class: 'flag flag-' + (s.onOff === 'on' ? 'on' : 'off') },
      s.onOff === 'on' ? 'ON' : s.onOff === 'off' ? 'OFF' : s.onOff === 'unknown' ? '?' : s.onOff));
    const title = 'Rectifier ' + m + ': ' + reading(s.current, units('rect.' + m + '.current')) +
      ', ' + s.onOff + (s.fault ? ', fault byte ' + s.faultByte : '') +
      (s.comm === 'lost' ? ', communication lost' : s.comm === 'ok' ? ', communication ok' : '');
    tiles.push(el('div', { class: 'rect-tile rect-' + cls, data: { rect: m }, title, role: 'listitem' },
      el('span', { class: 'rect-no' }, String(m)),
      el('span', { class: 'rect-current value' + (s.current === null ? ' invalid' : '') },
        reading(s.current, units('rect.' + m + '.current'))),
      el('span', { class: 'rect-flags' }, flags)));
  }
  if (n === 0) {
    fill(root, el('p', { class: 'muted wide' }, 'No rectifier in the last record.'));
    fill(summary);
    return;
  }
  root.classList.toggle('dense', n > 24);
  fill(root, tiles);
  fill(summary,
    el('span', null, n + ' modules'),
    el('span', { class: 'ok-text' }, on + ' on'),
    off ? el('span', { class: 'warn-text' }, off + ' off') : null,
    faults ? el('span', { class: 'bad-text' }, faults + ' fault' + (faults > 1 ? 's' : '')) : null,
    commLost ? el('span', { class: 'bad-text' }, commLost + ' no comm') : null,
    el('span', { class: 'value' }, 'total ' + reading(total, units('rect.1.current'))),
    'rect.voltage' in values ? el('span', { class: 'value' }, 'output ' + reading(values['rect.voltage'], units('rect.voltage'))) : null);
}

// A second screen appears only when it reports something: a site with one
// screen leaves the second one's bytes at zero.
function screenShown(values, s) {
  if (s === 1) return ('dc.1.voltage' in values);
  return ['voltage', 'current'].some((k) => typeof values['dc.2.' + k] === 'number' && values['dc.2.' + k] !== 0) ||
    ['battery.count', 'branch.count', 'fuse.count'].some((k) => count(values, 'dc.2.' + k) > 0);
}

function indexed(values, units, prefix, leafCount, leaf, label) {
  const items = [];
  for (let k = 1; k <= count(values, prefix + leafCount); k++) {
    const name = prefix + k + leaf;
    if (!(name in values)) break;
    items.push(el('span', { class: 'chip value' + (values[name] === null ? ' invalid' : ''), data: { name }, title: name },
      el('span', { class: 'muted' }, label + k + ' '), reading(values[name], units(name))));
  }
  return items;
}

export function renderDc(root, values, units) {
  const screens = [];
  for (const s of [1, 2]) {
    if (!screenShown(values, s)) continue;
    const p = 'dc.' + s + '.';
    const fuses = [];
    for (let f = 1; f <= count(values, p + 'fuse.count'); f++) {
      const name = p + 'fuse.' + f;
      if (!(name in values)) break;
      const blown = fuseBlown(values[name]);
      fuses.push(el('span', { class: 'fuse value' + (blown ? ' fuse-blown' : ''), data: { name },
        title: name + (blown ? ': alarm (state byte ' + values[name] + ')' : ': ok') }, String(f)));
    }
    const blownCount = fuses.filter((x) => x.classList.contains('fuse-blown')).length;
    const batteries = indexed(values, units, p + 'battery.', 'count', '.current', '#');
    const branches = indexed(values, units, p + 'branch.', 'count', '.current', '');
    screens.push(el('div', { class: 'dc-screen', data: { screen: s } },
      el('h3', null, 'Screen ' + s),
      el('div', { class: 'big-values' },
        el('div', null, el('span', { class: 'label' }, 'Voltage'),
          el('span', { class: 'big value', data: { name: p + 'voltage' } }, reading(values[p + 'voltage'], units(p + 'voltage')))),
        el('div', null, el('span', { class: 'label' }, 'Load'),
          el('span', { class: 'big value', data: { name: p + 'current' } }, reading(values[p + 'current'], units(p + 'current'))))),
      batteries.length ? el('div', { class: 'row' }, el('span', { class: 'label' }, 'Batteries'), batteries) : null,
      branches.length ? el('div', { class: 'row' }, el('span', { class: 'label' }, 'Branches'), branches) : null,
      fuses.length ? el('div', { class: 'row' }, el('span', { class: 'label' },
        'Fuses' + (blownCount ? ' (' + blownCount + ' alarm' + (blownCount > 1 ? 's' : '') + ')' : '')),
      el('span', { class: 'fuses' }, fuses)) : null));
  }
  if (screens.length === 0) fill(root, el('p', { class: 'muted' }, 'No DC values in the last record.'));
  else fill(root, el('div', { class: 'dc-screens' }, screens));
}
