// The health of the serial line from /api/line: interrogation cycles
// heard, published and dropped (with the reasons of the last ones), frames
// lost by kind of fault, silence.
import { el, fill } from './dom.js';
import { duration, siteTime } from './format.js';

const BAD_FRAME_LABELS = {
  checksum: 'checksum', length_checksum: 'length checksum', length: 'length',
  hex: 'not hex', broken: 'broken off', too_long: 'too long',
};

function num(v) {
  return typeof v === 'number' && Number.isFinite(v) ? v : 0;
}

export function renderLine(root, line) {
  const cycles = line.cycles || {};
  const seen = num(cycles.seen);
  const dropped = num(cycles.dropped);
  const share = seen > 0 ? ' (' + (100 * dropped / seen).toFixed(1) + ' %)' : '';
  const bad = line.bad_frames || {};
  const kinds = Object.keys(BAD_FRAME_LABELS).concat(Object.keys(bad).filter((k) => !(k in BAD_FRAME_LABELS)));
  const badTotal = kinds.reduce((sum, k) => sum + num(bad[k]), 0);
  const drops = Array.isArray(line.recent_drops) ? line.recent_drops : [];
  fill(root,
    el('div', { class: 'line-figures' },
      el('div', null, el('span', { class: 'label' }, 'Cycles'), el('span', { class: 'value big-ish' }, String(seen))),
      el('div', null, el('span', { class: 'label' }, 'Published'), el('span', { class: 'value big-ish ok-text' }, String(num(cycles.published)))),
      el('div', null, el('span', { class: 'label' }, 'Dropped'),
        el('span', { class: 'value big-ish' + (dropped ? ' warn-text' : '') }, dropped + share)),
      el('div', null, el('span', { class: 'label' }, 'Bad frames'),
        el('span', { class: 'value big-ish' + (badTotal ? ' warn-text' : '') }, String(badTotal)))),
    el('p', { class: 'bad-kinds' }, kinds.map((k) => el('span', { class: 'chip' + (num(bad[k]) ? ' chip-warn' : ''), data: { kind: k } },
      (BAD_FRAME_LABELS[k] || k) + ' ' + num(bad[k])))),
    el('p', null,
      line.silent ? el('span', { class: 'flag flag-fault' }, 'LINE SILENT') : el('span', { class: 'muted' }, 'line not silent'),
      ' · longest silence ', el('span', { class: 'value' }, duration(line.longest_silence_s))),
    drops.length ? el('details', { class: 'drops', open: true },
      el('summary', null, 'Last dropped cycles (' + drops.length + ')'),
      el('ul', null, drops.map((d) => el('li', null,
        el('span', { class: 'mono' }, '#' + d.n), ' ',
        el('span', { class: 'muted' }, siteTime(Date.parse(d.t), 'time')), ' ',
        String(d.reason || ''))))) : el('p', { class: 'muted' }, 'No dropped cycle.'));
}
