#!/usr/bin/env python3
"""Runs one command and reports where its CPU time went and how long cores stood idle.

Usage: stage_profile.py COMMAND [ARGS...]
Polls the process tree every 20 ms and sorts each process into a stage by its command line:
the converter itself (decode, canvas, frame files), the probe, the sound extraction, the encoder
tool's frame reading and 4:2:0 conversion, the ffmpeg encode. Prints, per stage, CPU seconds
(user + system) and the wall-clock span it was seen in; then the idle-core time: the sum over
the run of (cores - busy cores) x time. A process that lives less than one poll may be missed.
"""
import os
import subprocess
import sys
import time

TICKS = os.sysconf("SC_CLK_TCK")
CORES = os.cpu_count() or 1


def children_of():
    tree = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(")") + 2:].split()
        tree.setdefault(int(fields[1]), []).append(int(name))
    return tree


def cpu_and_args(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            args = [a.decode(errors="replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return None
    fields = stat[stat.rfind(")") + 2:].split()
    # utime and stime: the process's own time, all its threads included.
    return (int(fields[11]) + int(fields[12])) / TICKS, args


def stage_of(args, parent_stage):
    if not args:
        return parent_stage or "other"
    program = os.path.basename(args[0])
    if program == "ffmpeg_III.exe":
        text = " ".join(args)
        if "%06d.bmp" in text:
            return "tool: frame reading and 4:2:0"
        if "temp.wav" in text:
            return "sound extraction"
        if "-y" not in args:
            return "probe"
        return "tool: other run"
    if program == "ffmpeg":
        if parent_stage == "tool: frame reading and 4:2:0":
            return "ffmpeg encode"
        return parent_stage or "ffmpeg"
    return parent_stage or "converter: decode, canvas, frame files"


def main():
    start = time.monotonic()
    root = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seen = {}  # pid -> [stage, cpu, first, last]
    previous_total = 0.0
    previous_time = start
    idle = 0.0
    while True:
        now = time.monotonic()
        tree = children_of()
        stack = [(root.pid, None)]
        total = 0.0
        while stack:
            pid, parent_stage = stack.pop()
            info = cpu_and_args(pid)
            if info is None:
                continue
            cpu, args = info
            record = seen.get(pid)
            if record is None:
                record = seen[pid] = [stage_of(args, parent_stage), cpu, now, now]
            record[1] = max(record[1], cpu)
            record[3] = now
            stack.extend((child, record[0]) for child in tree.get(pid, []))
        total = sum(r[1] for r in seen.values())
        busy = (total - previous_total) / max(now - previous_time, 1e-6)
        idle += max(0.0, CORES - busy) * (now - previous_time)
        previous_total, previous_time = total, now
        if root.poll() is not None:
            break
        time.sleep(0.02)
    wall = time.monotonic() - start
    stages = {}
    for stage, cpu, first, last in seen.values():
        s = stages.setdefault(stage, [0.0, first, last])
        s[0] += cpu
        s[1] = min(s[1], first)
        s[2] = max(s[2], last)
    print(f"   wall {wall:.2f} s on {CORES} cores; CPU {sum(s[0] for s in stages.values()):.2f} s; "
          f"idle-core time {idle:.2f} s")
    for stage, (cpu, first, last) in sorted(stages.items(), key=lambda item: item[1][1]):
        print(f"   {stage:40s} CPU {cpu:6.2f} s   seen {first - start:6.2f} .. {last - start:6.2f} s")
    sys.exit(root.returncode)


main()
