// The history plot with Debian's Chart.js 3 (a global `Chart` from
// vendor/chart.js/chart.min.js). The x axis is linear in epoch
// milliseconds with ticks of our own on the site's clock: Chart.js's 'time'
// axis needs a date adapter that Debian does not ship. One y axis per unit.
// Alarms are drawn as translucent spans behind the lines.
import { siteDayStart, siteFields, siteTime } from './format.js';

export function chartAvailable() {
  return typeof window.Chart === 'function';
}

const PALETTE = ['#4ea1ff', '#f0a030', '#3fc27a', '#e86a9a', '#b68cff', '#40c8d0', '#d8c840', '#ff7b5c',
  '#8fb0c8', '#a0d060', '#d090e0', '#60a0a0', '#e0b090', '#90a0ff', '#c0c0c0', '#ff9fd0'];
const LEVEL_COLORS = { 1: '248, 81, 73', 2: '255, 140, 58', 3: '214, 178, 40', 4: '88, 166, 255' };

const SECOND = 1000;
const MINUTE = 60 * SECOND;
const HOUR = 60 * MINUTE;
const DAY = 24 * HOUR;
const STEPS = [SECOND, 2 * SECOND, 5 * SECOND, 10 * SECOND, 15 * SECOND, 30 * SECOND, MINUTE, 2 * MINUTE,
  5 * MINUTE, 10 * MINUTE, 15 * MINUTE, 30 * MINUTE, HOUR, 2 * HOUR, 3 * HOUR, 6 * HOUR, 12 * HOUR, DAY,
  2 * DAY, 7 * DAY];

// Ticks at round times of the site's clock, at most about `most` of them.
export function timeTicks(min, max, most) {
  const span = max - min;
  const step = STEPS.find((s) => span / s <= most) || Math.ceil(span / most / DAY) * DAY;
  const day = siteDayStart(min);
  const ticks = [];
  for (let t = day + Math.ceil((min - day) / step) * step; t <= max; t += step) ticks.push({ value: t });
  return { ticks, step };
}

function tickLabel(value, step, span) {
  const f = siteFields(value);
  const midnight = f.h === 0 && f.mi === 0 && f.s === 0;
  const date = siteTime(value, 'date').slice(5);
  if (step >= DAY) return date;
  const time = step < MINUTE ? siteTime(value, 'time') : siteTime(value, 'minute');
  if (span > DAY || midnight) return midnight ? [time, date] : time;
  return time;
}

// Translucent boxes from an alarm's start to its end (or the range's end),
// and a thin bar per alarm at the top of the plot, one lane each, so that
// alarms that overlap stay apart.
const alarmSpansPlugin = {
  id: 'alarmSpans',
  beforeDatasetsDraw(chart, args, options) {
    const spans = options.spans || [];
    if (!spans.length) return;
    const { ctx, chartArea: area, scales: { x } } = chart;
    ctx.save();
    ctx.beginPath();
    ctx.rect(area.left, area.top, area.right - area.left, area.bottom - area.top);
    ctx.clip();
    const lanes = Math.min(spans.length, 8);
    const laneHeight = Math.max(2, Math.min(5, (area.bottom - area.top) / 4 / lanes));
    spans.forEach((s, i) => {
      const rgb = LEVEL_COLORS[s.level] || '160, 160, 160';
      const from = x.getPixelForValue(Math.max(s.from_ms, x.min));
      const to = x.getPixelForValue(typeof s.to_ms === 'number' ? Math.min(s.to_ms, x.max) : x.max);
      const width = Math.max(2, to - from);
      ctx.fillStyle = 'rgba(' + rgb + ', 0.13)';
      ctx.fillRect(from, area.top, width, area.bottom - area.top);
      ctx.fillStyle = 'rgba(' + rgb + ', 0.9)';
      ctx.fillRect(from, area.top + (i % lanes) * laneHeight, width, laneHeight - 1);
    });
    ctx.restore();
  },
};

function cssVar(name, fallback) {
  const v = getComputedStyle(document.documentElement).getPropertyValue(name).trim();
  return v || fallback;
}

function withAlpha(hex, alpha) {
  const n = parseInt(hex.slice(1), 16);
  return 'rgba(' + (n >> 16) + ', ' + ((n >> 8) & 255) + ', ' + (n & 255) + ', ' + alpha + ')';
}

// A point with y null after each hole in the data, so that the line breaks
// there instead of bridging it. A hole is a step of more than a few bucket
// widths and a few times the usual step: on a short range the buckets are
// narrower than the time between two records.
function holeAfter(rows, bucketMs) {
  const steps = [];
  for (let i = 1; i < rows.length && steps.length < 512; i++) steps.push(rows[i][0] - rows[i - 1][0]);
  steps.sort((a, b) => a - b);
  const usual = steps.length ? steps[Math.floor(steps.length / 2)] : 0;
  return Math.max(2.5 * bucketMs, 3 * usual);
}

function points(rows, column, bucketMs) {
  rows = rows.filter((row) => Array.isArray(row) && typeof row[0] === 'number');
  const hole = holeAfter(rows, bucketMs);
  const out = [];
  let last = null;
  for (const row of rows) {
    if (last !== null && row[0] - last > hole) out.push({ x: last + bucketMs, y: null });
    const y = row[column];
    out.push({ x: row[0], y: typeof y === 'number' && Number.isFinite(y) ? y : null });
    last = row[0];
  }
  return out;
}

export class HistoryChart {
  constructor(canvas) {
    this.canvas = canvas;
    this.chart = null;
    this.counts = [];
  }

  // series: [{name, unit, rows}] (rows as /api/history gives them);
  // spans: the response's "alarms"; range: {from, to} in epoch ms.
  draw(series, spans, range, bucketMs, band) {
    const Chart = window.Chart;
    const fg = cssVar('--fg', '#d8dee6');
    const muted = cssVar('--muted', '#8a96a3');
    const grid = cssVar('--grid', 'rgba(128,128,128,0.2)');
    const font = getComputedStyle(document.body).fontFamily;
    const units = [];
    for (const s of series) if (!units.includes(s.unit)) units.push(s.unit);
    const datasets = [];
    this.counts = [];
    series.forEach((s, i) => {
      const color = PALETTE[i % PALETTE.length];
      const axis = 'y' + units.indexOf(s.unit);
      const data = points(s.rows, 1, bucketMs);
      this.counts.push({ name: s.name, points: data.filter((p) => p.y !== null).length });
      datasets.push({ label: s.name + (s.unit ? ' [' + s.unit + ']' : ''), data, yAxisID: axis, borderColor: color,
        backgroundColor: color, borderWidth: 1.5, pointRadius: 0, pointHitRadius: 4, spanGaps: false, unit: s.unit, order: 0 });
      if (band) {
        datasets.push({ label: s.name + ' max', data: points(s.rows, 3, bucketMs), yAxisID: axis, band: true,
          borderWidth: 0, pointRadius: 0, pointHitRadius: 0, fill: false, order: 1 });
        datasets.push({ label: s.name + ' min', data: points(s.rows, 2, bucketMs), yAxisID: axis, band: true,
          borderWidth: 0, pointRadius: 0, pointHitRadius: 0, fill: '-1', backgroundColor: withAlpha(color, 0.22), order: 1 });
      }
    });
    const scales = {
      x: {
        type: 'linear', min: range.from, max: range.to, grid: { color: grid, borderColor: grid },
        ticks: {
          color: muted, maxRotation: 0, autoSkip: false, font: { family: font },
          callback: (value) => tickLabel(value, this.step, range.to - range.from),
        },
        afterBuildTicks: (axis) => {
          const most = Math.max(2, Math.floor((axis.width || 600) / 90));
          const t = timeTicks(range.from, range.to, most);
          this.step = t.step;
          axis.ticks = t.ticks;
        },
      },
    };
    units.forEach((unit, i) => {
      scales['y' + i] = {
        type: 'linear', position: i % 2 === 0 ? 'left' : 'right', grid: { color: grid, drawOnChartArea: i === 0 },
        title: { display: true, text: unit || '(no unit)', color: muted, font: { family: font } },
        ticks: { color: muted, font: { family: font } },
      };
    });
    if (this.chart) this.chart.destroy();
    this.chart = new Chart(this.canvas, {
      type: 'line',
      data: { datasets },
      plugins: [alarmSpansPlugin],
      options: {
        animation: false, responsive: true, maintainAspectRatio: false, parsing: false, normalized: true,
        interaction: { mode: 'nearest', axis: 'x', intersect: false },
        scales,
        plugins: {
          alarmSpans: { spans },
          legend: { labels: { color: fg, font: { family: font }, boxWidth: 14, filter: (item, data) => !data.datasets[item.datasetIndex].band } },
          tooltip: {
            filter: (item) => !item.dataset.band,
            callbacks: {
              title: (items) => (items.length ? siteTime(items[0].parsed.x) : ''),
              label: (item) => item.dataset.label + ': ' + (item.parsed.y === null ? 'no value' : item.parsed.y.toFixed(2)),
            },
          },
        },
      },
    });
  }

  clear() {
    if (this.chart) this.chart.destroy();
    this.chart = null;
    this.counts = [];
  }
}
