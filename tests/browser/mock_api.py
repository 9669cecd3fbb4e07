#!/usr/bin/python3
"""A stand-in for smdhost's HTTP monitor, for the dashboard's browser test.

Serves the dashboard folder at /, Debian's Chart.js at /vendor/chart.js/ and
the JSON of the monitor's /api/ (docs: the API contract between the server and
the page) built from a real replay: it runs `smdhost replay` on a scenario,
decodes every published record with the signal catalogue, and plays the
rounds back on the wall clock, one every --interval seconds once the first
event stream has connected, starting at round --start (0-based index of the
published records). Before the first round it keeps --week-days of history,
a sample every 5 s made up from the first rounds (their mean swinging 2 %
a day), so that a week-long plot has a week of data to downsample.

Test controls (not part of the monitor's API):
  GET /mock/stale?age=S   stop playing, make the last record S seconds old
                          and send a "line" event, as at the end of a replay
  GET /mock/state         {"cursor":N,"rounds":N}

Prints "listening on http://HOST:PORT/" when it serves; stops on SIGTERM.
"""

import argparse
import datetime
import http.server
import json
import math
import signal
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

STALE_AFTER_S = 61
SYNTHETIC_STEP_MS = 5000
BAD_FRAME_KINDS = ("checksum", "length_checksum", "length", "hex", "broken", "too_long")
CSP = ("default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
       "connect-src 'self'; object-src 'none'; base-uri 'none'; form-action 'none'; "
       "frame-ancestors 'none'")


def now_ms():
    return int(time.time() * 1000)


def iso(ms):
    """ISO 8601 local time with milliseconds and offset, as the events' "t"."""
    d = datetime.datetime.fromtimestamp(ms / 1000).astimezone()
    text = d.isoformat(timespec="milliseconds")
    return text if text[-6] in "+-" else text + "+00:00"


def run_json_lines(command):
    out = subprocess.run(command, check=True, capture_output=True).stdout
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]


class Catalogue:
    """The catalogue's value entries, and a decoder of 1257-byte records."""

    def __init__(self, entries):
        self.values = [e for e in entries if e["kind"] == "value"]
        self.alarms = [e for e in entries if e["kind"] == "alarm"]
        by_name = {e["name"]: e for e in self.values}
        self.tests = {}
        for e in self.values:
            tests = []
            if e["present_when"] != "always":
                for term in e["present_when"].split(" and "):
                    name, op, count = term.split(" ")
                    tests.append((by_name[name]["offset"], op, int(count)))
            self.tests[e["name"]] = tests

    def document(self):
        return {
            "values": [{"name": e["name"], "unit": e["unit"], "description": e["description"],
                        "group": e["name"].split(".")[0]} for e in self.values],
            "alarms": [{"id": e["id"], "key": e["key"], "text1": e["text1"], "text2": e["text2"],
                        "description": e["description"]} for e in self.alarms],
        }

    def decode(self, record):
        values = {}
        for e in self.values:
            if not all(record[o] >= n if op == ">=" else record[o] == n for o, op, n in self.tests[e["name"]]):
                continue
            raw = record[e["offset"]:e["offset"] + e["width"]]
            if e["type"] == "u8":
                values[e["name"]] = raw[0]
            elif e["type"] == "u32":
                values[e["name"]] = struct.unpack("<I", raw)[0]
            elif e["type"] == "f32":
                v = struct.unpack("<f", raw)[0]
                bad = math.isnan(v) or (e["invalid"] == "marker" and raw == b"\xcd\xcc\xcc\xbd")
                values[e["name"]] = None if bad else float("%.6g" % v)
        return values


def record_time_ms(record):
    """The record's 7-byte time stamp (local time) as epoch milliseconds."""
    t = record[1046:1053]
    stamp = datetime.datetime(t[0] << 8 | t[1], t[2], t[3], t[4], t[5], t[6])
    return int(stamp.timestamp() * 1000)


class Round:
    def __init__(self):
        self.events = []      # everything the replay wrote for this round, in order
        self.values = None    # the published record, decoded
        self.demo_ms = None   # the record's own time stamp
        self.cycles = 0       # interrogation cycles begun (0x40/0x42 commands answered)
        self.errors = []      # framing faults


def split_rounds(events, catalogue):
    """One Round per published record: the events up to its "history" event."""
    rounds, current = [], Round()
    for ev in events:
        current.events.append(ev)
        kind = ev.get("ev")
        if kind == "payload" and ev.get("cid1") == "40" and ev.get("cid2") == "42":
            current.cycles += 1
        elif kind == "error":
            current.errors.append(ev.get("reason", "?"))
        elif kind == "publish":
            record = bytes.fromhex(ev["record"])
            current.values = catalogue.decode(record)
            current.demo_ms = record_time_ms(record)
        elif kind == "history" and current.values is not None:
            rounds.append(current)
            current = Round()
    if rounds:  # what came after the last round (dropped cycles) belongs to it
        rounds[-1].events += current.events
        rounds[-1].cycles += current.cycles
        rounds[-1].errors += current.errors
    return rounds


class Plant:
    """The rounds of the replay on the wall clock, up to a cursor."""

    def __init__(self, rounds, start, interval, week_days):
        self.lock = threading.Condition()
        self.rounds = rounds
        self.cursor = min(start, len(rounds) - 1)
        self.interval = interval
        self.playing = False
        self.serial = 0  # bumps on every change, for the event streams
        self.outbox = []  # (serial, event) sent to event streams
        shift = now_ms() - 1000 - rounds[self.cursor].demo_ms
        self.wall = [r.demo_ms + shift for r in rounds[:self.cursor + 1]]
        self.synthetic_end = self.wall[0]
        self.synthetic_count = int(week_days * 86400000 // SYNTHETIC_STEP_MS)
        self.pattern = [r.values for r in rounds[:5]]
        self.columns = {}

    def start_playing(self):
        with self.lock:
            if self.playing or self.interval <= 0:
                return
            self.playing = True
        threading.Thread(target=self._play, daemon=True).start()

    def _play(self):
        while True:
            time.sleep(self.interval)
            with self.lock:
                if not self.playing or self.cursor + 1 >= len(self.rounds):
                    self.playing = False
                    return
                self.cursor += 1
                self.wall.append(now_ms())
                t = iso(self.wall[-1])
                for ev in self.rounds[self.cursor].events:
                    self.serial += 1
                    self.outbox.append((self.serial, dict(ev, t=ev.get("t", t))))
                del self.outbox[:-2000]
                self.lock.notify_all()

    def go_stale(self, age_s):
        """As when a replay ends: no more rounds, a "line" event, and the
        last record `age_s` old."""
        with self.lock:
            self.playing = False
            self.wall[self.cursor] = now_ms() - int(age_s * 1000)
            self.serial += 1
            self.outbox.append((self.serial, {"ev": "line", "t": iso(now_ms())}))
            self.lock.notify_all()

    # --- documents of the API ------------------------------------------------

    def current(self):
        with self.lock:
            last = self.wall[self.cursor]
            values = self.rounds[self.cursor].values
        age = (now_ms() - last) / 1000
        return {"t": iso(now_ms()), "adr": 1, "data_id": values.get("record.data_id", 1),
                "stale": age >= STALE_AFTER_S, "up": True, "last_record": iso(last),
                "last_record_ms": last, "age_s": round(age, 3), "values": values}

    def _alarm_history(self):
        """Spans of every alarm up to the cursor, and the ones still active."""
        spans, active = [], {}
        for k in range(self.cursor + 1):
            at = self.wall[k]
            for ev in self.rounds[k].events:
                if ev.get("ev") != "alarm":
                    continue
                key = (ev["key"], ev["id"])
                if ev["active"] and key not in active:
                    active[key] = dict(ev, since_ms=at)
                elif not ev["active"] and key in active:
                    spans.append((active.pop(key), at))
        spans += [(a, None) for a in active.values()]
        return spans, active

    def alarms(self):
        with self.lock:
            _, active = self._alarm_history()
        listed = sorted(active.values(), key=lambda a: -a["since_ms"])
        return {"active": [{"id": a["id"], "key": a["key"], "level": a["level"], "text1": a["text1"],
                            "text2": a["text2"], "since": iso(a["since_ms"]), "since_ms": a["since_ms"]}
                           for a in listed]}

    def line(self):
        """Counts from the replay: its "cycle" and "line" events where smdhost
        writes them, otherwise what the events tell (cycles begun, records
        published, framing faults by kind)."""
        with self.lock:
            rounds = self.rounds[:self.cursor + 1]
            wall = self.wall[:self.cursor + 1]
        seen = published = 0
        bad = dict.fromkeys(BAD_FRAME_KINDS, 0)
        drops = []
        for k, r in enumerate(rounds):
            cycle_events = [e for e in r.events if e.get("ev") == "cycle"]
            if cycle_events:
                for e in cycle_events:
                    seen += 1
                    published += 1 if e.get("published") else 0
                    if not e.get("published"):
                        drops.append({"n": e["n"], "t": e.get("t", iso(wall[k])),
                                      "reason": e.get("reason", "")})
            else:
                seen += max(r.cycles, 1)
                published += 1
                before = wall[k - 1] if k > 0 else wall[k] - SYNTHETIC_STEP_MS
                for j in range(r.cycles - 1):
                    at = before + (wall[k] - before) * (j + 1) // r.cycles
                    drops.append({"n": seen - r.cycles + j + 1, "t": iso(at),
                                  "reason": "not published; framing faults: " + (", ".join(r.errors) or "none")})
            for reason in r.errors:
                if reason in bad:
                    bad[reason] += 1
        return {"cycles": {"seen": seen, "published": published, "dropped": seen - published},
                "bad_frames": bad, "silent": False, "longest_silence_s": 5.0,
                "recent_drops": drops[-20:][::-1]}

    def _column(self, name):
        column = self.columns.get(name)
        if column is None:
            values = [p.get(name) for p in self.pattern]
            if any(v is None for v in values):
                column = []
            elif all(isinstance(v, int) for v in values):  # a state byte or a count stays put
                column = [values[0]] * self.synthetic_count
            else:  # the first rounds' mean, with a daily swing of 2 % and a little wobble
                mean = sum(values) / len(values)
                day = 86400000 / SYNTHETIC_STEP_MS
                column = [mean * (1 + 0.02 * math.sin(2 * math.pi * i / day) + 0.004 * math.sin(i / 40))
                          for i in range(self.synthetic_count)]
            self.columns[name] = column
        return column

    def history(self, names, t_from, t_to, points):
        bucket = max(1, math.ceil((t_to - t_from) / points))
        series = {}
        with self.lock:
            real = [(self.wall[k], self.rounds[k].values) for k in range(self.cursor + 1)]
            spans, _ = self._alarm_history()
        first_synthetic = self.synthetic_end - self.synthetic_count * SYNTHETIC_STEP_MS
        for name in names:
            buckets = {}
            column = self._column(name)
            lo = max(0, math.ceil((t_from - first_synthetic) / SYNTHETIC_STEP_MS))
            hi = min(len(column), (t_to - first_synthetic) // SYNTHETIC_STEP_MS + 1)
            i = lo
            while i < hi:  # whole buckets of the evenly spaced samples at once
                start = t_from + (first_synthetic + i * SYNTHETIC_STEP_MS - t_from) // bucket * bucket
                j = min(hi, max(i + 1, -(-(start + bucket - first_synthetic) // SYNTHETIC_STEP_MS)))
                buckets[start] = column[i:j]
                i = j
            for at, values in real:
                if t_from <= at <= t_to and name in values:
                    start = t_from + (at - t_from) // bucket * bucket
                    buckets.setdefault(start, []).append(values[name])
            rows = []
            for start in sorted(buckets):
                got = [v for v in buckets[start] if v is not None]
                rows.append([start, sum(got) / len(got), min(got), max(got)] if got else [start, None, None, None])
            series[name] = rows
        alarms = [{"id": a["id"], "text": a["text2"], "level": a["level"], "from_ms": a["since_ms"], "to_ms": end}
                  for a, end in spans if a["since_ms"] <= t_to and (end is None or end >= t_from)]
        return {"from": iso(t_from), "to": iso(t_to), "bucket_s": bucket / 1000, "series": series, "alarms": alarms}


def parse_time(text):
    """An API time: epoch seconds or ISO 8601; epoch milliseconds back."""
    try:
        return int(float(text) * 1000)
    except ValueError:
        return int(datetime.datetime.fromisoformat(text).timestamp() * 1000)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "mock_api"

    def log_message(self, *args):
        pass

    def send(self, status, body, content_type="application/json; charset=utf-8"):
        if isinstance(body, (dict, list)):
            body = json.dumps(body, ensure_ascii=False).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.send_header("X-Content-Type-Options", "nosniff")
        self.send_header("Content-Security-Policy", CSP)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        plant = self.server.plant
        path = url.path
        try:
            if path == "/api/devices":
                self.send(200, {"devices": [{"adr": 1, "data_id": 1, "label": self.server.label}]})
            elif path == "/api/catalogue":
                self.send(200, self.server.catalogue_document)
            elif path == "/api/current":
                self.send(200, plant.current())
            elif path == "/api/alarms":
                self.send(200, plant.alarms())
            elif path == "/api/line":
                self.send(200, plant.line())
            elif path == "/api/history":
                names = [n for n in query.get("names", "").split(",") if n]
                known = self.server.value_names
                if not names or len(names) > 16 or any(n not in known for n in names):
                    return self.send(400, {"error": "names: 1 to 16 catalogue value names"})
                t_to = parse_time(query["to"]) if "to" in query else now_ms()
                t_from = parse_time(query["from"]) if "from" in query else t_to - 3600000
                points = int(query.get("points", "600"))
                if t_from >= t_to or not 1 <= points <= 5000:
                    return self.send(400, {"error": "from must be before to; points 1-5000"})
                self.send(200, plant.history(names, t_from, t_to, points))
            elif path == "/events":
                self.stream_events()
            elif path == "/mock/stale":
                plant.go_stale(float(query.get("age", str(STALE_AFTER_S + 1))))
                self.send(200, {"ok": True})
            elif path == "/mock/state":
                self.send(200, {"cursor": plant.cursor, "rounds": len(plant.rounds)})
            elif path.startswith("/vendor/chart.js/"):
                self.send_file(self.server.chartjs, path[len("/vendor/chart.js/"):])
            else:
                self.send_file(self.server.dashboard, path.lstrip("/") or "index.html")
        except (ValueError, KeyError) as e:
            self.send(400, {"error": str(e)})
        except (BrokenPipeError, ConnectionResetError):
            pass

    def send_file(self, folder, relative):
        types = {".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
                 ".css": "text/css; charset=utf-8", ".png": "image/png", ".svg": "image/svg+xml"}
        parts = relative.split("/")
        if any(p in ("", ".", "..") or p.startswith(".") for p in parts):
            return self.send(404, b"not found\n", "text/plain; charset=utf-8")
        try:
            with open("/".join([folder] + parts), "rb") as f:
                body = f.read()
        except OSError:
            return self.send(404, b"not found\n", "text/plain; charset=utf-8")
        suffix = relative[relative.rfind("."):] if "." in relative else ""
        self.send(200, body, types.get(suffix, "application/octet-stream"))

    def stream_events(self):
        plant = self.server.plant
        self.send_response(200)
        self.send_header("Content-Type", "text/event-stream")
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.close_connection = True
        with plant.lock:
            seen = plant.serial
        self.wfile.write(b"retry: 3000\n\n")
        self.wfile.flush()
        plant.start_playing()
        while not self.server.stopping:
            with plant.lock:
                plant.lock.wait_for(lambda: plant.serial > seen or self.server.stopping, timeout=15)
                batch = [ev for serial, ev in plant.outbox if serial > seen]
                seen = plant.serial
            text = "".join("data: %s\n\n" % json.dumps(ev, ensure_ascii=False) for ev in batch) or ": keep-alive\n\n"
            try:
                self.wfile.write(text.encode("utf-8"))
                self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                return


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--smdhost", required=True, help="the smdhost program")
    ap.add_argument("--catalogue", required=True,
                    help="a command printing the signal catalogue as JSON lines (catalogue_json)")
    ap.add_argument("--scenario", required=True)
    ap.add_argument("--config", required=True)
    ap.add_argument("--dashboard", required=True, help="the page's folder")
    ap.add_argument("--chartjs", default="/usr/share/javascript/chart.js")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--start", type=int, default=5, help="published round shown first (0-based)")
    ap.add_argument("--interval", type=float, default=1.0, help="seconds between rounds played; 0: none")
    ap.add_argument("--label", default='adr 1 <img src=x onerror="window.__pwned=1"> / data id 1',
                    help="the device's label (default: one with markup in it, which must show as text)")
    ap.add_argument("--week-days", type=float, default=7.0, help="days of history before the first round")
    args = ap.parse_args()

    catalogue = Catalogue(run_json_lines(args.catalogue.split()))
    events = run_json_lines([args.smdhost, "replay", args.scenario, "--config", args.config, "--format", "json"])
    rounds = split_rounds(events, catalogue)
    if not rounds:
        sys.exit("mock_api: the replay published no record")

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.stopping = False
    server.plant = Plant(rounds, args.start, args.interval, args.week_days)
    server.catalogue_document = json.dumps(catalogue.document(), ensure_ascii=False).encode("utf-8")
    server.value_names = {e["name"] for e in catalogue.values}
    server.dashboard = args.dashboard.rstrip("/")
    server.chartjs = args.chartjs.rstrip("/")
    server.label = args.label

    def stop(*_):
        server.stopping = True
        with server.plant.lock:
            server.plant.lock.notify_all()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("listening on http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
