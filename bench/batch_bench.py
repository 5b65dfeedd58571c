#!/usr/bin/env python3
"""Batch throughput of quarvel-cli on the demo site, at --jobs 1, 2 and 4 on
both paths, with the peak memory of its process tree per job (summed RSS,
which counts the browser engine's shared pages once per process, and summed
PSS, which shares them out), beside two floors measured in the same run:
(a) a plain HTTP client doing the comprehensive path's work (page, marker,
picture) and (b) the pages in a bare browser page without the lookup engine
(bench/page_floor.cpp). Then 1,000 entries in the batch window beside the
command line, --rate 30 over three minutes and a 1,000-entry official batch. BATCH_BENCH_QUICK=1 leaves the last two out."""
import csv, datetime, http.client, os, subprocess, sys, tempfile, time

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
PORTS = {"lookup": 28180, "portal": 28181, "warranty": 28443}
HOSTS = ["--lookup-host", f"127.0.0.1:{PORTS['lookup']}",
         "--portal-host", f"127.0.0.1:{PORTS['portal']}",
         "--warranty-host", f"127.0.0.1:{PORTS['warranty']}"]
SAMPLES = ["C39XK0ABHG7F", "F17ZP1QWN73D", "DNPQ2LL8JCLM", "356789104523673"]
COUNT = {"comprehensive": 400, "official": 200}
# The rates before the batch got its own pace, per job (same machine).
BEFORE = {"comprehensive": 14.5, "official": 5.5}


def tree_memory_kib(root):
    """Summed Rss and Pss of root and all its descendants."""
    children = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(ppid, []).append(int(pid))
        except OSError:
            pass
    rss = pss = 0
    todo = [root]
    while todo:
        pid = todo.pop()
        todo.extend(children.get(pid, []))
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Rss:"):
                        rss += int(line.split()[1])
                    elif line.startswith("Pss:"):
                        pss += int(line.split()[1])
        except OSError:
            pass
    return rss, pss


def finished_rate(out):
    """Entries a minute between the first and the last row's finish."""
    with open(out, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    times = sorted(datetime.datetime.fromisoformat(r["finished_at"].replace("Z", "+00:00"))
                   for r in rows)
    if len(times) < 2:
        return 0.0, rows, times
    return (len(times) - 1) / (times[-1] - times[0]).total_seconds() * 60, rows, times


def batch(path, jobs, entries, data, extra=(), limit_s=600):
    work = tempfile.mkdtemp()
    inp, out = os.path.join(work, "in.txt"), os.path.join(work, "out.csv")
    with open(inp, "w") as f:
        f.write("\n".join(entries) + "\n")
    env = dict(os.environ, XDG_DATA_HOME=data)
    args = [f"{BIN}/quarvel-cli", "batch", "--path", path, "--jobs", str(jobs), *extra,
            "--output", out, inp, *HOSTS]
    start = time.monotonic()
    process = subprocess.Popen(args, env=env, stderr=subprocess.DEVNULL)
    peak_rss = peak_pss = 0
    while process.poll() is None and time.monotonic() - start < limit_s:
        rss, pss = tree_memory_kib(process.pid)
        peak_rss, peak_pss = max(peak_rss, rss), max(peak_pss, pss)
        time.sleep(0.2)
    if process.poll() is None:
        process.terminate()
        process.wait()
    return time.monotonic() - start, peak_rss, peak_pss, out


def floor_http(count):
    """Floor (a): the comprehensive path's work with a plain HTTP client."""
    def get(target):
        conn = http.client.HTTPConnection("127.0.0.1", PORTS["lookup"])
        conn.request("GET", target)
        body = conn.getresponse().read()
        conn.close()
        return body

    start = time.monotonic()
    found = 0
    for i in range(count):
        serial = SAMPLES[i % len(SAMPLES)]
        page = get(f"/index.php/iphone/{serial}").decode("utf-8", "replace")
        if serial in page and get(f"/index.php/pic/iphone/{serial}.png"):
            found += 1
    return count / (time.monotonic() - start) * 60


def floor_page(path, count):
    """Floor (b): a bare browser page, without the engine."""
    out = subprocess.run([f"{BIN}/page_floor", path, f"127.0.0.1:{PORTS['lookup']}",
                          f"127.0.0.1:{PORTS['warranty']}", str(count)],
                         capture_output=True, text=True, timeout=600).stdout.split()
    return float(out[0])


def say(name, value, unit):
    print(f"{name}: {value} {unit}")
    sys.stdout.flush()


def main():
    demo = subprocess.Popen([f"{BIN}/quarvel-demo", "--lookup-port", str(PORTS["lookup"]),
                             "--portal-port", str(PORTS["portal"]),
                             "--warranty-port", str(PORTS["warranty"])],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(50):  # until it answers
        try:
            http.client.HTTPConnection("127.0.0.1", PORTS["lookup"], timeout=1).connect()
            break
        except OSError:
            if demo.poll() is not None:
                sys.exit("batch_bench: quarvel-demo did not start (are its ports taken?)")
            time.sleep(0.1)
    try:
        with tempfile.TemporaryDirectory() as data:
            floor_a = floor_http(2000)
            say("batch_floor_a_http_comprehensive", f"{floor_a:.0f}", "entries/min")
            for path in ("comprehensive", "official"):
                floor_b = floor_page(path, COUNT[path])
                say(f"batch_floor_b_page_{path}", f"{floor_b:.0f}", "entries/min")
                base = None
                for jobs in (1, 2, 4):
                    entries = (SAMPLES * COUNT[path])[: COUNT[path] * (1 + jobs // 2)]
                    _, rss, pss, out = batch(path, jobs, entries, data)
                    rate, rows, _ = finished_rate(out)
                    name = f"batch_{path}_jobs{jobs}"
                    say(f"{name}_rate", f"{rate:.0f}", "entries/min")
                    say(f"{name}_rows_found", sum(r["outcome"] == "found" for r in rows), "rows")
                    say(f"{name}_peak_rss_per_job", f"{rss / 1024 / jobs:.0f}", "MiB")
                    say(f"{name}_peak_pss_per_job", f"{pss / 1024 / jobs:.0f}", "MiB")
                    if jobs == 1:
                        base = rate
                        say(f"{name}_vs_floor_b", f"{rate / floor_b:.2f}", "x")
                        say(f"{name}_per_job_vs_before", f"{rate / BEFORE[path]:.0f}", "x")
                        if path == "comprehensive":
                            say(f"{name}_vs_floor_a", f"{rate / floor_a:.3f}", "x")
                    elif base:
                        say(f"{name}_vs_jobs1", f"{rate / base:.2f}", "x")
            # The batch window (one job) beside the command line, on the same list.
            cli_rate, _, _ = finished_rate(batch("comprehensive", 1, SAMPLES * 250, data)[3])
            window = subprocess.run([f"{BIN}/batch_window_run", f"127.0.0.1:{PORTS['lookup']}",
                                     f"127.0.0.1:{PORTS['portal']}",
                                     f"127.0.0.1:{PORTS['warranty']}", "1000"],
                                    capture_output=True, text=True, timeout=900).stdout.split()
            window_rate = float(window[0])
            say("batch_window_1000_rate", f"{window_rate:.0f}", "entries/min")
            say("batch_cli_1000_rate", f"{cli_rate:.0f}", "entries/min")
            say("batch_window_vs_cli", f"{window_rate / cli_rate:.2f}", "x")
            if os.environ.get("BATCH_BENCH_QUICK") != "1":
                # 30 a minute over three minutes: rows finished in the window.
                _, _, _, out = batch("comprehensive", 4, SAMPLES * 40, data, ("--rate", "30"), 200)
                _, _, times = finished_rate(out)
                window = [t for t in times if (t - times[0]).total_seconds() < 180]
                say("batch_rate30_over_3min", f"{len(window) / 3:.1f}", "entries/min")
                seconds, _, _, out = batch("official", 4, SAMPLES * 250, data)
                _, rows, _ = finished_rate(out)
                say("batch_official_1000_entries_jobs4", f"{seconds:.0f}", "s")
                say("batch_official_1000_entries_jobs4_rows", len(rows), "rows")
    finally:
        demo.terminate()
        demo.wait()


if __name__ == "__main__":
    main()
