// History plots: a picker of catalogue values (grouped, with a search
// box), a time range (the last hour, day or week on the server's clock, or
// from/to on the site's clock), /api/history fetched with about one bucket
// per pixel of the plot (the server downsamples), and the alarms of the
// range as spans and as a list.
import { ApiError } from './api.js';
import { el, fill, byId } from './dom.js';
import { parseSiteInput, siteInputValue, siteOffsetText } from './format.js';
import { HistoryChart, chartAvailable } from './history_chart.js';
import { renderAlarmSpans } from './alarm_view.js';

const MAX_NAMES = 16;  // the server's limit per request
const GROUPS = [['ac', 'AC'], ['rect', 'Rectifiers'], ['dc', 'DC']];
const STORE_KEY = 'pxr52.dashboard.history.names';
const DEFAULT_NAMES = ['dc.1.voltage', 'dc.1.current', 'ac.1.a'];
const LIVE_REPLOT_MS = 30000;

function groupOf(entry) {
  return typeof entry.group === 'string' && entry.group ? entry.group : entry.name.split('.')[0];
}

function loadNames() {
  try {
    const v = JSON.parse(localStorage.getItem(STORE_KEY) || 'null');
    if (Array.isArray(v)) return v.filter((n) => typeof n === 'string').slice(0, MAX_NAMES);
  } catch (e) { /* a broken entry is replaced on the next pick */ }
  return null;
}

const nextFrame = () => new Promise((resolve) => requestAnimationFrame(() => resolve()));

export class HistoryPanel {
  // serverNow(): the server's clock now (epoch ms); unit(name): a value's unit.
  constructor(api, serverNow, unit) {
    this.api = api;
    this.serverNow = serverNow;
    this.unit = unit;
    this.entries = [];
    this.byName = new Map();
    this.present = null;
    this.names = loadNames() || DEFAULT_NAMES.slice();
    this.range = { kind: 'relative', span: 3600000 };
    this.chart = new HistoryChart(byId('hist-canvas'));
    this.inFlight = null;
    this.plotted = 0;
    this.lastPlot = null;
    this.lastData = null;
    this.noStore = false;
    this.n = {
      search: byId('hist-search'), present: byId('hist-present'), states: byId('hist-states'),
      list: byId('hist-list'), selected: byId('hist-selected'), status: byId('hist-status'),
      from: byId('hist-from'), to: byId('hist-to'), band: byId('hist-band'),
      spans: byId('hist-spans'), spansNote: byId('hist-spans-note'), zone: byId('hist-zone'),
    };
    this.n.search.addEventListener('input', () => this.renderList());
    this.n.present.addEventListener('change', () => this.renderList());
    this.n.states.addEventListener('change', () => this.renderList());
    this.n.band.addEventListener('change', () => this.redraw());
    for (const b of document.querySelectorAll('[data-range]')) {
      b.addEventListener('click', () => {
        this.range = { kind: 'relative', span: Number(b.dataset.range) * 1000 };
        this.plot();
      });
    }
    byId('hist-apply').addEventListener('click', () => {
      const from = parseSiteInput(this.n.from.value);
      const to = parseSiteInput(this.n.to.value);
      if (from === null || to === null || from >= to) {
        this.status('Custom range: give a start before the end.', true);
        return;
      }
      this.range = { kind: 'custom', from, to };
      this.plot();
    });
    this.n.list.addEventListener('change', (e) => {
      if (e.target && e.target.type === 'checkbox') this.toggle(e.target.value, e.target.checked);
    });
    this.n.selected.addEventListener('click', (e) => {
      const b = e.target.closest && e.target.closest('button[data-name]');
      if (b) this.toggle(b.dataset.name, false);
    });
    this.renderSelected();
  }

  setCatalogue(values) {
    this.entries = values.filter((v) => v && typeof v.name === 'string');
    this.byName = new Map(this.entries.map((v) => [v.name, v]));
    this.names = this.names.filter((n) => this.byName.has(n));
    this.renderList();
    this.renderSelected();
  }

  // The names in the last record: the picker offers those by default.
  setPresent(values) {
    const first = this.present === null;
    const names = new Set(Object.keys(values));
    const changed = first || names.size !== this.present.size || [...names].some((n) => !this.present.has(n));
    this.present = names;
    if (changed && this.n.present.checked) this.renderList();
    if (first) this.setRangeInputs();
  }

  setRangeInputs() {
    const to = this.serverNow();
    this.n.to.value = siteInputValue(to);
    this.n.from.value = siteInputValue(to - 86400000);
    fill(this.n.zone, 'site time, ' + siteOffsetText());
  }

  renderList() {
    const terms = this.n.search.value.toLowerCase().split(/\s+/).filter(Boolean);
    const onlyPresent = this.n.present.checked && this.present !== null;
    const withStates = this.n.states.checked;
    const groups = new Map();
    for (const e of this.entries) {
      if (!withStates && !e.unit) continue;
      if (onlyPresent && !this.present.has(e.name) && !this.names.includes(e.name)) continue;
      const text = (e.name + ' ' + (e.description || '')).toLowerCase();
      if (!terms.every((t) => text.includes(t))) continue;
      const g = groupOf(e);
      if (!groups.has(g)) groups.set(g, []);
      groups.get(g).push(e);
    }
    const order = GROUPS.map((g) => g[0]).concat([...groups.keys()].filter((g) => !GROUPS.some((x) => x[0] === g)));
    const full = this.names.length >= MAX_NAMES;
    const sections = order.filter((g) => groups.has(g)).map((g) => {
      const label = (GROUPS.find((x) => x[0] === g) || [g, g])[1];
      const items = groups.get(g);
      return el('details', { class: 'pick-group', open: terms.length > 0 || g !== 'rect' || items.length <= 12, data: { group: g } },
        el('summary', null, label + ' (' + items.length + ')'),
        el('ul', null, items.map((e) => {
          const checked = this.names.includes(e.name);
          return el('li', null, el('label', { title: e.description || e.name },
            el('input', { type: 'checkbox', value: e.name, checked, disabled: full && !checked }),
            el('span', { class: 'mono' }, e.name),
            e.unit ? el('span', { class: 'unit' }, ' [' + e.unit + ']') : null,
            el('span', { class: 'desc' }, e.description || '')));
        })));
    });
    fill(this.n.list, sections.length ? sections : el('p', { class: 'muted' }, 'No value matches.'));
  }

  renderSelected() {
    fill(this.n.selected, this.names.length ? this.names.map((n) =>
      el('button', { type: 'button', class: 'chip chip-button', data: { name: n }, title: 'remove ' + n },
        n + (this.unit(n) ? ' [' + this.unit(n) + ']' : '') + ' \u00d7')) : el('span', { class: 'muted' }, 'nothing picked'),
    this.names.length >= MAX_NAMES ? el('span', { class: 'muted' }, ' (at most ' + MAX_NAMES + ')') : null);
  }

  toggle(name, on) {
    const has = this.names.includes(name);
    if (on && !has && this.names.length < MAX_NAMES) this.names.push(name);
    if (!on && has) this.names = this.names.filter((n) => n !== name);
    try {
      localStorage.setItem(STORE_KEY, JSON.stringify(this.names));
    } catch (e) { /* private mode: the pick lasts for this page only */ }
    this.renderSelected();
    this.renderList();
    this.plot();
  }

  status(text, bad) {
    fill(this.n.status, text);
    this.n.status.classList.toggle('bad-text', Boolean(bad));
  }

  currentRange() {
    if (this.range.kind === 'custom') return { from: this.range.from, to: this.range.to };
    const to = this.serverNow();
    return { from: to - this.range.span, to };
  }

  markRange() {
    for (const b of document.querySelectorAll('[data-range]')) {
      b.setAttribute('aria-pressed', String(this.range.kind === 'relative' && Number(b.dataset.range) * 1000 === this.range.span));
    }
  }

  async plot() {
    this.markRange();
    if (!chartAvailable()) {
      this.status('Plots need Chart.js at vendor/chart.js/chart.min.js (Debian package libjs-chart.js).', true);
      return;
    }
    if (this.noStore) return;
    if (this.names.length === 0) {
      this.chart.clear();
      this.lastData = null;
      this.status('Pick values to plot.');
      return;
    }
    if (this.inFlight) this.inFlight.abort();
    const controller = new AbortController();
    this.inFlight = controller;
    const range = this.currentRange();
    const names = this.names.slice();
    const width = byId('hist-canvas').parentElement.clientWidth || 800;  // the canvas is 300 wide until Chart.js sizes it
    const points = Math.max(50, Math.min(5000, Math.round(width)));
    const started = performance.now();
    this.status('Loading…');
    let body;
    try {
      body = await this.api.get('api/history', {
        names: names.join(','), from: Math.floor(range.from / 1000), to: Math.ceil(range.to / 1000), points,
      }, controller.signal);
    } catch (e) {
      if (e.name === 'AbortError') return;
      if (this.inFlight === controller) this.inFlight = null;
      if (e instanceof ApiError && e.status === 404) {
        this.noStore = true;
        this.chart.clear();
        this.status('No stored history: the monitor runs without --history (' + e.message + ').', true);
      } else {
        this.status('History: ' + e.message, true);
      }
      return;
    }
    if (this.inFlight !== controller) return;
    this.inFlight = null;
    const fetched = performance.now();
    const series = body.series && typeof body.series === 'object' ? body.series : {};
    const bucketMs = typeof body.bucket_s === 'number' && body.bucket_s > 0 ? body.bucket_s * 1000 : (range.to - range.from) / points;
    this.lastData = {
      series: names.map((n) => ({ name: n, unit: this.unit(n), rows: Array.isArray(series[n]) ? series[n] : [] })),
      spans: Array.isArray(body.alarms) ? body.alarms.filter((a) => a && typeof a.from_ms === 'number') : [],
      range, bucketMs,
    };
    this.redraw();
    await nextFrame();
    const drawn = performance.now();
    const total = this.chart.counts.reduce((s, c) => s + c.points, 0);
    this.plotted = Date.now();
    this.lastPlot = {
      serial: (this.lastPlot ? this.lastPlot.serial : 0) + 1, names, range_ms: range.to - range.from,
      points: total, bucket_s: bucketMs / 1000, fetch_ms: fetched - started, draw_ms: drawn - fetched,
      total_ms: drawn - started,
    };
    this.status(total + ' points in ' + names.length + ' series, one per ' + (bucketMs / 1000).toFixed(bucketMs < 10000 ? 1 : 0) +
      ' s; ' + Math.round(drawn - started) + ' ms from request to plot');
  }

  redraw() {
    if (!this.lastData || !chartAvailable()) return;
    const d = this.lastData;
    this.chart.draw(d.series, d.spans, d.range, d.bucketMs, this.n.band.checked);
    renderAlarmSpans(this.n.spans, this.n.spansNote, d.spans, d.range.to);
  }

  // A new record arrived: a range that ends now moves with it, at most
  // every 30 s.
  live() {
    if (this.range.kind !== 'relative' || this.inFlight || this.noStore) return;
    if (Date.now() - this.plotted >= LIVE_REPLOT_MS) this.plot();
  }
}
