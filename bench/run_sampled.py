#!/usr/bin/env python3
"""Runs a command and samples, every 100 ms, the bytes of the files in a folder (recursively) and
the command's peak resident memory. Prints "seconds peak_folder_bytes peak_memory_kB".
Usage: run_sampled.py FOLDER COMMAND..."""
import os
import subprocess
import sys
import time


def folder_bytes(folder):
    total = 0
    for root, _, files in os.walk(folder):
        for name in files:
            try:
                total += os.stat(os.path.join(root, name)).st_blocks * 512
            except OSError:
                pass
    return total


def main():
    folder, command = sys.argv[1], sys.argv[2:]
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak_folder = peak_memory = 0
    while process.poll() is None:
        peak_folder = max(peak_folder, folder_bytes(folder))
        try:
            with open(f"/proc/{process.pid}/status") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        peak_memory = max(peak_memory, int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.1)
    print(f"{time.monotonic() - start:.1f} {peak_folder} {peak_memory} {process.returncode}")


if __name__ == "__main__":
    main()
