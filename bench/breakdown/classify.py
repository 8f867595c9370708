#!/usr/bin/env python3
"""Where the CPU time of one pdlhost split or combine goes, from `perf script` output.

Usage: classify.py PERF_SCRIPT_OUTPUT LIBRARY.pdl

The input comes from `perf record -g -e cpu-clock -e raw_syscalls:sys_enter --filter 'id == 140'`
(the 32-bit _llseek, made only by the checksum pass: one per block) and
`perf script -F comm,tid,time,event,ip,sym,dso`. Samples of the host's main thread between the
first data write and the last data read are sorted by their kernel stack (which system call) or,
in user mode, by module; the checksum loop of the library is found by its carry-less multiply
instructions. Reads and checksum work after the last long pause in the seeks are the checksum
pass (the file read a second time from disk)."""
import collections
import re
import subprocess
import sys

LIB_BASE, LIB_SIZE = None, None


def pe_layout(lib):
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", lib], capture_output=True, text=True).stdout
    base = int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", dump).group(1), 16)
    size = int(re.search(r"SizeOfImage\s+([0-9a-fA-F]+)", dump).group(1), 16)
    dis = subprocess.run(["i686-w64-mingw32-objdump", "-d", lib], capture_output=True, text=True).stdout
    clmul = [int(l.split(":")[0], 16) for l in dis.splitlines() if "pclmul" in l and ":" in l]
    return base, size, min(clmul) - 0x60, max(clmul) + 0x60


def parse(path):
    samples, seeks = [], []
    for blk in open(path, errors="replace").read().split("\n\n"):
        lines = [l for l in blk.strip().split("\n") if l.strip()]
        if not lines:
            continue
        m = re.match(r"\s*(\S+)\s+(\d+)\s+([\d.]+):\s+(\S+):", lines[0])
        if not m:
            continue
        frames = []
        for l in lines[1:]:
            mm = re.match(r"\s*([0-9a-f]+)\s+(.*?)\s+\((.*)\)$", l.strip())
            if mm:
                frames.append((int(mm.group(1), 16), mm.group(2), mm.group(3)))
        if m.group(4).startswith("raw_syscalls"):
            seeks.append(float(m.group(3)))
        else:
            samples.append((m.group(1), int(m.group(2)), float(m.group(3)), frames))
    return samples, seeks


def category(frames, layout):
    base, size, crc_lo, crc_hi = layout
    kernel = " ".join(f[1] for f in frames if "kallsyms" in f[2])
    if kernel:
        if "pipe_" in kernel:
            return "wineserver requests (pipe)"
        if re.search(r"shmem_file_read|filemap_read", kernel):
            return "read"
        if re.search(r"shmem_file_write|generic_perform_write|ext4_buffered_write", kernel):
            return "write"
        if "sched_yield" in kernel:
            return "sched_yield (message peek)"
        if re.search(r"recvmsg|sendmsg|sock_|do_sys_poll|writev", kernel):
            return "X11 socket (message pump)"
        if "lseek" in kernel:
            return "seek"
        if re.search(r"page_fault", kernel):
            return "page faults"
        return "kernel, other"
    ip, _, dso = frames[0] if frames else (0, "", "")
    if base <= ip < base + size:
        return "checksum (CRC-32)" if crc_lo <= ip < crc_hi else "library, other"
    if 0x400000 <= ip < 0x500000:
        return "host (progress callback)"
    name = dso.split("/")[-1]
    if name in ("msvcrt.dll", "ucrtbase.dll"):
        return "host (progress callback)"
    if re.search(r"user32|win32u|winex11|libX11|libxcb", name):
        return "message pump (user32, X11)"
    return "Wine and system libraries"


def main():
    samples, seeks = parse(sys.argv[1])
    layout = pe_layout(sys.argv[2])
    host = [s for s in samples if s[0].startswith("pdlhost")]
    main_tid = collections.Counter(s[1] for s in host).most_common(1)[0][0]
    mine = [(t, category(fr, layout)) for comm, tid, t, fr in samples if tid == main_tid]
    data = [t for t, c in mine if c in ("read", "write")]
    first, last = min(data), max(data)
    seeks.sort()
    crc_start = seeks[0] if seeks else last
    for a, b in zip(seeks, seeks[1:]):
        if b - a > 0.2:
            crc_start = b
    totals = collections.Counter()
    for t, c in mine:
        if first <= t <= last:
            if t >= crc_start and c in ("read", "checksum (CRC-32)", "seek"):
                c += ", checksum pass"
            totals[c] += 1
    n = sum(totals.values())
    print("%d samples of the main thread in %.3f s (data start to checksum end)" % (n, last - first))
    for c, v in totals.most_common():
        print("  %5.1f%%  %6d  %s" % (100.0 * v / n, v, c))


if __name__ == "__main__":
    main()
