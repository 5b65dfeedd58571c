#!/usr/bin/env python3
"""A batch with hostile pages mixed in, against a lookup site of its own on
loopback: sound result pages, pages that spin, pages that open windows in a
loop, slow pages and 30 MB pages. Prints the median seconds per sound entry
in a clean batch and in the mixed one (and their ratio), the wall time, and
the exit statuses of RUNS mixed batches (never a signal).
   mixed_batch.py BIN_DIR [RUNS]"""
import csv, http.server, os, signal, socketserver, statistics, subprocess, sys, tempfile
import struct, threading, time, zlib

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
SOUND = [f"SOUND{i:07d}" for i in range(60)]
HOSTILE = {
    "SPIN": "<h1>查找结果</h1><script>setTimeout(function(){while(true){}},0)</script>",
    "WINDOWS": "<h1>查找结果</h1><script>setTimeout(function(){for(;;)window.open('about:blank')},0)"
               "</script>",
    "TIMERS": "<p>wait</p><script>for(let i=0;i<100000;i++)setTimeout(function(){},0)</script>",
}
BIG = "<h1>查找结果</h1>" + "<p>记录 ........................................</p>\n" * 600000


def png(width=8, height=8):
    """A small grey PNG."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rows = b"".join(b"\0" + b"\x80" * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


PNG = png()


class Site(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        path = self.path
        if path.startswith("/index.php/pic/iphone/"):
            return self.send(PNG, "image/png")
        serial = path.rsplit("/", 1)[-1]
        kind = serial.rstrip("0123456789")
        if kind == "SLOW":
            time.sleep(3)
            return self.send("<h1>查找结果</h1>")
        if kind == "BIG":
            return self.send(BIG)
        if kind in HOSTILE:
            return self.send(HOSTILE[kind])
        self.send("<h1>查找结果</h1><p>" + serial + "</p>")

    def send(self, body, kind="text/html; charset=utf-8"):
        data = body if isinstance(body, bytes) else body.encode()
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        try:
            self.wfile.write(data)
        except OSError:
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def batch(entries, data, out):
    host = f"127.0.0.1:{SERVER.server_address[1]}"
    with open(os.path.join(data, "in.txt"), "w") as f:
        f.write("\n".join(entries) + "\n")
    env = dict(os.environ, XDG_DATA_HOME=data)
    start = time.time()
    proc = subprocess.run([f"{BIN}/quarvel-cli", "batch", "--no-check", "--jobs", "4",
                           "--retries", "0", "--output", out, os.path.join(data, "in.txt"),
                           "--lookup-host", host, "--portal-host", host, "--warranty-host", host],
                          env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=1200)
    with open(out, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    sound = [float(r["seconds"]) for r in rows if r["entry"].startswith("SOUND")]
    return proc.returncode, time.time() - start, statistics.median(sound), rows


def say(name, value, unit):
    print(f"{name}: {value} {unit}", flush=True)


SERVER = Server(("127.0.0.1", 0), Site)
threading.Thread(target=SERVER.serve_forever, daemon=True).start()
mixed = []
for i, serial in enumerate(SOUND):
    mixed.append(serial)
    if i % 6 == 5:
        mixed.append(["SPIN", "WINDOWS", "TIMERS", "SLOW", "BIG"][i // 6 % 5] + f"{i:07d}")
with tempfile.TemporaryDirectory() as data:
    _, clean_wall, clean_median, _ = batch(SOUND, data, os.path.join(data, "clean.csv"))
    say("mixed_batch_clean_sound_median", f"{clean_median:.2f}", "s")
    say("mixed_batch_clean_wall", f"{clean_wall:.0f}", "s")
    statuses, medians, walls = [], [], []
    for run in range(RUNS):
        status, wall, median, rows = batch(mixed, data, os.path.join(data, f"mixed{run}.csv"))
        statuses.append(status)
        medians.append(median)
        walls.append(wall)
        if len(rows) != len(mixed):
            say(f"mixed_batch_run{run}_rows_missing", len(mixed) - len(rows), "rows")
    say("mixed_batch_sound_median", f"{statistics.median(medians):.2f}", "s")
    say("mixed_batch_sound_median_vs_clean", f"{statistics.median(medians) / clean_median:.2f}",
        "x")
    say("mixed_batch_wall", f"{statistics.median(walls):.0f}", "s")
    say("mixed_batch_runs", RUNS, "runs")
    say("mixed_batch_signalled_runs", sum(s < 0 for s in statuses), "runs")
    say("mixed_batch_statuses", ",".join(str(s) for s in sorted(set(statuses))), "")
SERVER.shutdown()
