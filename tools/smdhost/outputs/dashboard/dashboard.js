// The dashboard: fetches /api/current, /api/alarms and /api/line, keeps
// them current through /events, and tells plainly when the values are
// stale. Read-only: the page only ever sends GET requests.
import { Api } from './api.js';
import { el, fill, byId } from './dom.js';
import { duration, learnSiteOffset, siteTime } from './format.js';
import { renderAc, renderRectifiers, renderDc } from './plant_view.js';
import { renderActiveAlarms } from './alarm_view.js';
import { renderLine } from './line_view.js';
import { HistoryPanel } from './history_panel.js';

// No record for this long and the values are stale: the plug-in's own
// look-up horizon, the same limit the server applies to its "stale" flag.
const STALE_AFTER_S = 61;
const REFRESH_DEBOUNCE_MS = 250;
const POLL_WITHOUT_EVENTS_MS = 10000;
const REFRESH_ON = new Set(['publish', 'alarm', 'cycle', 'line', 'batch', 'dropped']);
const THEME_KEY = 'pxr52.dashboard.theme';

const api = new Api();
const state = {
  catalogue: new Map(),
  current: null,      // the last /api/current document
  currentAt: 0,       // Date.now() when it arrived
  clockOffsetMs: 0,   // server clock minus this browser's clock
  alarms: [],
  line: null,
  connected: true,    // the last request reached the server
  eventsOpen: false,
  lastFetch: 0,
  refreshes: 0,
};

const serverNow = () => Date.now() + state.clockOffsetMs;

function learnClock(isoText) {
  const t = Date.parse(isoText);
  if (!Number.isFinite(t)) return;
  state.clockOffsetMs = t - Date.now();
  learnSiteOffset(isoText);
}

// The catalogue's unit, or one read from the name while the catalogue is
// not there (an older server, a failed request).
function unit(name) {
  const e = state.catalogue.get(name);
  if (e && typeof e.unit === 'string') return e.unit;
  if (/(^ac\.\d+\.[abc]$)|voltage$/.test(name)) return 'V';
  if (/current(\.[abc])?$/.test(name)) return 'A';
  if (/frequency$/.test(name)) return 'Hz';
  return '';
}

// Seconds since the last record on the server's clock: the server's
// age_s (or its "t" minus last_record_ms) when the document came, plus the
// time this browser has counted since. A replay's simulated clock or a
// laptop set wrong do not count; a server that stopped answering does.
function recordAge() {
  const c = state.current;
  if (!c || typeof c.last_record_ms !== 'number') return null;
  const elapsed = (Date.now() - state.currentAt) / 1000;
  if (typeof c.age_s === 'number') return c.age_s + elapsed;
  const t = Date.parse(c.t);
  return ((Number.isFinite(t) ? t : Date.now()) - c.last_record_ms) / 1000 + elapsed;
}

function isStale() {
  const c = state.current;
  const age = recordAge();
  return !c || c.stale === true || age === null || age >= STALE_AFTER_S;
}

function renderStatus() {
  const c = state.current;
  const age = recordAge();
  const stale = isStale();
  document.body.classList.toggle('stale', stale);
  const pill = byId('status');
  let kind = 'live';
  let text = state.eventsOpen ? 'LIVE' : 'LIVE · polling';
  if (!state.connected) {
    kind = 'offline';
    text = 'NO CONNECTION';
  } else if (c && typeof c.last_record_ms !== 'number') {
    kind = 'stale';
    text = 'NO DATA';
  } else if (stale) {
    kind = 'stale';
    text = 'STALE';
  }
  pill.className = 'pill pill-' + kind;
  fill(pill, text);
  fill(byId('last-record'), c && typeof c.last_record_ms === 'number'
    ? 'last record ' + siteTime(c.last_record_ms) + ' (' + duration(age) + ' ago)' : 'no record yet');
  const banner = byId('stale-banner');
  banner.hidden = !stale;
  if (stale) {
    fill(byId('stale-text'), c && typeof c.last_record_ms === 'number'
      ? 'No record for ' + duration(age) + ' (last ' + siteTime(c.last_record_ms) + '). The values shown are the last ones received, not the plant now.'
      : 'No record received yet.');
  }
  byId('conn-banner').hidden = state.connected;
}

function renderPlant() {
  const c = state.current;
  const values = c && c.values && typeof c.values === 'object' ? c.values : {};
  renderAc(byId('ac'), values, unit);
  renderRectifiers(byId('rect-grid'), byId('rect-summary'), values, unit, c && c.settings);
  renderDc(byId('dc'), values, unit);
  history.setPresent(values);
}

const history = new HistoryPanel(api, serverNow, unit);

async function loadCurrent() {
  const c = await api.get('api/current');
  state.current = c;
  state.currentAt = Date.now();
  if (typeof c.t === 'string') learnClock(c.t);
  renderPlant();
}

async function loadAlarms() {
  const a = await api.get('api/alarms');
  state.alarms = Array.isArray(a.active) ? a.active.filter((x) => x && typeof x === 'object') : [];
  renderActiveAlarms(byId('alarm-rows'), byId('alarm-count'), state.alarms, serverNow());
  byId('no-alarms').hidden = state.alarms.length > 0;
}

async function loadLine() {
  const line = await api.get('api/line');
  state.line = line;
  renderLine(byId('line'), line);
}

let refreshTimer = null;
let refreshing = false;
let refreshAgain = false;

function scheduleRefresh() {
  if (refreshTimer === null) refreshTimer = setTimeout(refresh, REFRESH_DEBOUNCE_MS);
}

async function refresh() {
  refreshTimer = null;
  if (refreshing) {
    refreshAgain = true;
    return;
  }
  refreshing = true;
  state.lastFetch = Date.now();
  const results = await Promise.allSettled([loadCurrent(), loadAlarms(), loadLine()]);
  state.connected = !results.some((r) => r.status === 'rejected' && r.reason && r.reason.status === 0);
  const failed = results.filter((r) => r.status === 'rejected').map((r) => String(r.reason && r.reason.message));
  fill(byId('fetch-error'), failed.length ? 'Request failed: ' + failed.join('; ') : '');
  state.refreshes++;
  refreshing = false;
  renderStatus();
  if (refreshAgain) {
    refreshAgain = false;
    scheduleRefresh();
  }
}

function onEvent(event) {
  if (typeof event.t === 'string') learnClock(event.t);
  if (REFRESH_ON.has(event.ev)) scheduleRefresh();
  if (event.ev === 'publish') history.live();
}

function onEventsState(open) {
  state.eventsOpen = open;
  if (open) scheduleRefresh();  // whatever happened while the stream was away
  renderStatus();
}

function applyTheme(theme) {
  document.documentElement.dataset.theme = theme;
  fill(byId('theme-toggle'), theme === 'dark' ? 'Light theme' : 'Dark theme');
}

function setUpTheme() {
  let saved = null;
  try {
    saved = localStorage.getItem(THEME_KEY);
  } catch (e) { /* no storage: dark */ }
  applyTheme(saved === 'light' ? 'light' : 'dark');
  byId('theme-toggle').addEventListener('click', () => {
    const next = document.documentElement.dataset.theme === 'dark' ? 'light' : 'dark';
    applyTheme(next);
    try {
      localStorage.setItem(THEME_KEY, next);
    } catch (e) { /* the choice lasts for this page only */ }
    history.redraw();
  });
}

async function setUpDevices() {
  let devices = [];
  try {
    const d = await api.get('api/devices');
    devices = Array.isArray(d.devices) ? d.devices.filter((x) => x && typeof x === 'object') : [];
  } catch (e) {
    return;  // one device, the server's default
  }
  const select = byId('device');
  // A single device taking every address has "adr" null.
  if (devices.length === 1) fill(byId('device-label'), String(devices[0].label || 'adr ' + devices[0].adr));
  devices = devices.filter((x) => typeof x.adr === 'number');
  if (devices.length < 2) return;
  fill(select, devices.map((d) => el('option', { value: String(d.adr) }, String(d.label || 'adr ' + d.adr))));
  select.hidden = false;
  api.device = devices[0].adr;
  select.addEventListener('change', () => {
    api.device = Number(select.value);
    refresh();
    history.plot();
  });
}

async function setUpCatalogue() {
  try {
    const cat = await api.get('api/catalogue');
    const values = Array.isArray(cat.values) ? cat.values.filter((v) => v && typeof v.name === 'string') : [];
    state.catalogue = new Map(values.map((v) => [v.name, v]));
    history.setCatalogue(values);
  } catch (e) {
    fill(byId('hist-status'), 'Catalogue: ' + e.message);
  }
}

// For the browser test and for a person at the console: what the page
// shows, in numbers.
window.__dashboard = {
  snapshot() {
    return {
      stale: isStale(),
      age_s: recordAge(),
      connected: state.connected,
      events_open: state.eventsOpen,
      refreshes: state.refreshes,
      alarms: state.alarms.map((a) => a.id),
      chart: history.chart.counts.slice(),
      last_plot: history.lastPlot,
      spans: history.lastData ? history.lastData.spans.map((s) => s.id) : [],
    };
  },
  ready: false,
};

async function main() {
  setUpTheme();
  await setUpDevices();
  await setUpCatalogue();
  await refresh();
  api.events(onEvent, onEventsState);
  history.plot();
  setInterval(() => {
    renderStatus();
    if (!state.eventsOpen && Date.now() - state.lastFetch >= POLL_WITHOUT_EVENTS_MS) refresh();
  }, 1000);
  window.__dashboard.ready = true;
}

main();
