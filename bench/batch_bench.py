#!/usr/bin/env python3
"""Batch throughput of quarvel-cli on the demo site, beside the floor the
periods set (comprehensive: one entry per 4 s per engine; official: one per
11 s), and the peak memory of the process tree per job."""
import os, subprocess, sys, tempfile, time

BIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
PORTS = {"lookup": 28180, "portal": 28181, "warranty": 28443}
SAMPLES = ["C39XK0ABHG7F", "F17ZP1QWN73D", "DNPQ2LL8JCLM", "356789104523673"]
FLOOR_S = {"comprehensive": 4.0, "official": 11.0}


def tree_rss_kib(root):
    """Summed VmRSS of root and all its descendants."""
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
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        todo.extend(children.get(pid, []))
        try:
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def run(path, jobs, entries, data):
    with tempfile.TemporaryDirectory() as work:
        inp = os.path.join(work, "in.txt")
        with open(inp, "w") as f:
            f.write("\n".join(entries) + "\n")
        env = dict(os.environ, XDG_DATA_HOME=data)
        args = [f"{BIN}/quarvel-cli", "batch", "--path", path, "--jobs", str(jobs),
                "--output", os.path.join(work, "out.csv"), inp,
                "--lookup-host", f"127.0.0.1:{PORTS['lookup']}",
                "--portal-host", f"127.0.0.1:{PORTS['portal']}",
                "--warranty-host", f"127.0.0.1:{PORTS['warranty']}"]
        start = time.monotonic()
        process = subprocess.Popen(args, env=env, stderr=subprocess.DEVNULL)
        peak = 0
        while process.poll() is None and time.monotonic() - start < 300:
            peak = max(peak, tree_rss_kib(process.pid))
            time.sleep(0.1)
        if process.poll() is None:
            process.kill()
            return None, peak
        return time.monotonic() - start, peak


def main():
    demo = subprocess.Popen([f"{BIN}/quarvel-demo", "--lookup-port", str(PORTS["lookup"]),
                             "--portal-port", str(PORTS["portal"]),
                             "--warranty-port", str(PORTS["warranty"])],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    try:
        with tempfile.TemporaryDirectory() as data:
            for path in ("comprehensive", "official"):
                base = None
                for jobs in (1, 2, 4):
                    entries = (SAMPLES * 4)[: 2 * jobs]
                    seconds, peak = run(path, jobs, entries, data)
                    if seconds is None:
                        print(f"batch_{path}_jobs{jobs}: timed out")
                        continue
                    rate = len(entries) / seconds * 60
                    floor = jobs * 60 / FLOOR_S[path]
                    print(f"batch_{path}_jobs{jobs}_rate: {rate:.1f} entries/min")
                    print(f"batch_{path}_jobs{jobs}_floor: {floor:.1f} entries/min")
                    print(f"batch_{path}_jobs{jobs}_of_floor: {rate / floor:.3f} x")
                    print(f"batch_{path}_jobs{jobs}_peak_rss_per_job: {peak / 1024 / jobs:.0f} MiB")
                    if jobs == 1:
                        base = rate
                    elif base:
                        print(f"batch_{path}_jobs{jobs}_vs_jobs1: {rate / base:.2f} x")
                    sys.stdout.flush()
    finally:
        demo.terminate()
        demo.wait()


if __name__ == "__main__":
    main()
