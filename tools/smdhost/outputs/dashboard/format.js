// Numbers with their units, durations, and times on the site's clock.
//
// Times are shown in the site's local time, the offset that the server
// writes into its ISO 8601 times ("...+08:00"), not in the browser's zone:
// what the page shows then matches the server's logs and events whatever
// the laptop is set to.

let siteOffsetMin = -new Date().getTimezoneOffset();

// Takes the offset of an ISO 8601 time written by the server.
export function learnSiteOffset(isoText) {
  const m = /([+-])(\d\d):?(\d\d)$/.exec(String(isoText || ''));
  if (m) siteOffsetMin = (m[1] === '-' ? -1 : 1) * (Number(m[2]) * 60 + Number(m[3]));
  else if (/Z$/.test(String(isoText || ''))) siteOffsetMin = 0;
}

export function siteOffsetText() {
  const sign = siteOffsetMin < 0 ? '-' : '+';
  const a = Math.abs(siteOffsetMin);
  return 'UTC' + sign + pad(Math.floor(a / 60)) + ':' + pad(a % 60);
}

function pad(n, width = 2) {
  return String(n).padStart(width, '0');
}

// The fields of epoch milliseconds `ms` on the site's clock.
export function siteFields(ms) {
  const d = new Date(ms + siteOffsetMin * 60000);
  return {
    y: d.getUTCFullYear(), mo: d.getUTCMonth() + 1, d: d.getUTCDate(),
    h: d.getUTCHours(), mi: d.getUTCMinutes(), s: d.getUTCSeconds(),
  };
}

// "2026-01-01 00:03:16" (parts: 'date', 'time', 'minute', 'full')
export function siteTime(ms, parts = 'full') {
  if (typeof ms !== 'number' || !Number.isFinite(ms)) return '—';
  const f = siteFields(ms);
  const date = f.y + '-' + pad(f.mo) + '-' + pad(f.d);
  const minute = pad(f.h) + ':' + pad(f.mi);
  if (parts === 'date') return date;
  if (parts === 'minute') return minute;
  if (parts === 'time') return minute + ':' + pad(f.s);
  if (parts === 'date-minute') return date + ' ' + minute;
  return date + ' ' + minute + ':' + pad(f.s);
}

// Site-clock midnight-aligned epoch ms of the day holding `ms`.
export function siteDayStart(ms) {
  const off = siteOffsetMin * 60000;
  return Math.floor((ms + off) / 86400000) * 86400000 - off;
}

// "YYYY-MM-DDTHH:MM" of a datetime-local input, read on the site's clock.
export function parseSiteInput(text) {
  const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d)(?::(\d\d))?$/.exec(text || '');
  if (!m) return null;
  const utc = Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +(m[6] || 0));
  return utc - siteOffsetMin * 60000;
}

export function siteInputValue(ms) {
  const f = siteFields(ms);
  return f.y + '-' + pad(f.mo) + '-' + pad(f.d) + 'T' + pad(f.h) + ':' + pad(f.mi);
}

// "1 h 05 min", "3 min 12 s", "42 s"
export function duration(seconds) {
  if (typeof seconds !== 'number' || !Number.isFinite(seconds)) return '—';
  const s = Math.max(0, Math.round(seconds));
  if (s < 60) return s + ' s';
  if (s < 3600) return Math.floor(s / 60) + ' min ' + pad(s % 60) + ' s';
  if (s < 86400) return Math.floor(s / 3600) + ' h ' + pad(Math.floor(s / 60) % 60) + ' min';
  return Math.floor(s / 86400) + ' d ' + Math.floor(s / 3600) % 24 + ' h';
}

// Decimals by unit: voltages and currents to 0.1, frequency to 0.01.
const DECIMALS = { V: 1, A: 1, Hz: 2, W: 0, kW: 2, '%': 0, '°C': 1 };

export function number(value, unit) {
  if (typeof value !== 'number' || !Number.isFinite(value)) return null;
  const d = unit in DECIMALS ? DECIMALS[unit] : (Number.isInteger(value) ? 0 : 2);
  return value.toFixed(d);
}

// A reading as text with its unit: "53.5 V"; "invalid" for null (the
// line reported the reading as invalid); "—" when the record lacks it.
export function reading(value, unit) {
  if (value === undefined) return '—';
  if (value === null) return 'invalid';
  const n = number(value, unit);
  if (n === null) return String(value);
  return unit ? n + '\u2009' + unit : n;
}
