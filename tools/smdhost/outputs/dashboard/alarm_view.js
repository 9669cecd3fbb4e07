// The host's active alarms (/api/alarms), and the alarm spans of a plotted
// range (/api/history). Alarm texts are the plug-in's own (Chinese); they
// go in as text, never as markup.
import { el, fill } from './dom.js';
import { duration, siteTime } from './format.js';

export function levelBadge(level) {
  const known = Number.isInteger(level) && level >= 1 && level <= 4;
  return el('span', { class: 'level level-' + (known ? level : 'other'), title: 'alarm level ' + level },
    'L' + (Number.isInteger(level) ? level : '?'));
}

// The plug-in fills text1 with a placeholder ("1") or with the alarm's own
// id for some rules, and with the measured values for others: show it
// only when it tells something beside text2.
function detailText(a, main) {
  const t = typeof a.text1 === 'string' ? a.text1 : '';
  if (!t || t === main || t === a.id || t === a.key || /^\d{1,3}$/.test(t)) return null;
  return t;
}

// The times in the list are the server's own text (site time); `nowMs` is
// the server's clock now, for the age.
export function renderActiveAlarms(tbody, countNode, list, nowMs) {
  const rows = list.map((a) => {
    const main = typeof a.text2 === 'string' && a.text2 ? a.text2 : String(a.text1 || '');
    const detail = detailText(a, main);
    const sinceMs = typeof a.since_ms === 'number' ? a.since_ms : Date.parse(a.since);
    return el('tr', { class: 'alarm level-row-' + a.level, data: { id: a.id } },
      el('td', null, levelBadge(a.level)),
      el('td', { class: 'alarm-text', lang: 'zh-CN' }, el('span', { class: 'alarm-main' }, main),
        el('span', { class: 'alarm-detail' }, el('span', { class: 'alarm-id mono' }, String(a.id)),
          a.key && a.key !== a.id ? ' key ' + a.key : null, detail ? ' · ' + detail : null)),
      el('td', { class: 'alarm-since' }, siteTime(sinceMs),
        Number.isFinite(sinceMs) ? el('span', { class: 'alarm-detail' }, 'for ' + duration((nowMs - sinceMs) / 1000)) : null));
  });
  fill(tbody, rows);
  fill(countNode, String(list.length));
  countNode.classList.toggle('zero', list.length === 0);
}

const SPAN_ROWS = 200;

export function renderAlarmSpans(tbody, note, spans, rangeEndMs) {
  const sorted = spans.slice().sort((a, b) => b.from_ms - a.from_ms);
  fill(tbody, sorted.slice(0, SPAN_ROWS).map((s) => {
    const end = typeof s.to_ms === 'number' ? s.to_ms : null;
    return el('tr', { class: 'alarm-span', data: { id: s.id } },
      el('td', null, levelBadge(s.level)),
      el('td', { class: 'alarm-text', lang: 'zh-CN' }, el('span', { class: 'alarm-main' }, String(s.text || '')),
        el('span', { class: 'alarm-detail alarm-id mono' }, String(s.id))),
      el('td', null, siteTime(s.from_ms)),
      el('td', null, end === null ? el('span', { class: 'bad-text' }, 'active') : siteTime(end)),
      el('td', null, duration(((end === null ? rangeEndMs : end) - s.from_ms) / 1000)));
  }));
  fill(note, sorted.length > SPAN_ROWS ? 'the newest ' + SPAN_ROWS + ' of ' + sorted.length :
    sorted.length === 0 ? 'none in this range' : String(sorted.length));
}
