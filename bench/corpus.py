#!/usr/bin/env python3
"""Corpus benchmark: the tool against `cp -r` of the very output it produced.

For each set (one large WAD, 2,000 RLE files, 200 FNT fonts), at corpus
scale 0.1 and 1: the best of three timed conversions, the best of three timed
`cp -r` of the output tree, peak resident memory (/usr/bin/time -v) and output
files per second. Then the hostile set, each file alone: time and peak
memory. Writes a Markdown report with the machine it ran on.
"""
import argparse
import json
import os
import platform
import shutil
import subprocess
import time

SETS = [("wad", "WAD"), ("rle", "RLE"), ("fnt", "FNT")]
RUNS = 3


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def outputs(folder):
    return sorted(n for n in os.listdir(folder) if n.endswith(".FILES"))


def clear(folder):
    for name in outputs(folder):
        shutil.rmtree(os.path.join(folder, name))


def measure(tool, folder, ext, scratch):
    inputs = sorted(n for n in os.listdir(folder) if n.endswith("." + ext))
    tool_times, cp_times = [], []
    for _ in range(RUNS):
        clear(folder)
        tool_times.append(timed([tool] + inputs, folder))
        copy = os.path.join(scratch, "copy")
        shutil.rmtree(copy, ignore_errors=True)
        os.mkdir(copy)
        cp_times.append(timed(["cp", "-r"] + outputs(folder) + [copy], folder))
        shutil.rmtree(copy)
    files = sum(len(f) for _, _, f in os.walk(folder)) - len(inputs)
    out_bytes = sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(folder) for n in ns
                    if r != folder)
    clear(folder)
    rss_mib = peak_rss_mib([tool] + inputs, folder)
    in_bytes = sum(os.path.getsize(os.path.join(folder, n)) for n in inputs)
    clear(folder)
    return {"inputs": len(inputs), "in_mb": in_bytes / 1e6, "files": files, "out_mb": out_bytes / 1e6,
            "tool": min(tool_times), "cp": min(cp_times), "rss_mib": rss_mib}


def peak_rss_mib(command, cwd):
    report = subprocess.run(["/usr/bin/time", "-v"] + command, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True).stderr
    return int(next(l for l in report.splitlines() if "Maximum resident" in l).split(":")[1]) / 1024


def hostile(tool, corpus, scratch):
    """Each hostile file converted alone: best of three times, peak memory,
    and for files with large outputs the time cp -r takes to copy them."""
    folder = os.path.join(scratch, "hostile")
    subprocess.run([corpus, folder, "hostile"], check=True)
    rows = []
    for name in sorted(n for n in os.listdir(folder) if not n.endswith(".FILES")):
        times = []
        for _ in range(RUNS):
            clear(folder)
            times.append(timed([tool, name], folder))
        out_bytes = sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(folder) for n in ns
                        if r != folder)
        copy_time = None
        if out_bytes > 100e6:
            copy = os.path.join(scratch, "copy")
            shutil.rmtree(copy, ignore_errors=True)
            os.mkdir(copy)
            copy_time = timed(["cp", "-r", name + ".FILES", copy], folder)
            shutil.rmtree(copy)
        clear(folder)
        rss = peak_rss_mib([tool, name], folder)
        clear(folder)
        rows.append((name, os.path.getsize(os.path.join(folder, name)), out_bytes, min(times), copy_time, rss))
        print(f"hostile {name}: {min(times):.3f} s, peak {rss:.1f} MiB", flush=True)
    shutil.rmtree(folder)
    return rows


def machine():
    cpu = platform.processor()
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(l.split(":", 1)[1].strip() for l in f if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    with open("/proc/meminfo") as f:
        mem_gib = int(f.readline().split()[1]) / 1024 / 1024
    compiler = subprocess.run(["c++", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    return f"{cpu}, {os.cpu_count()} cores, {mem_gib:.0f} GiB, Linux {platform.release()}, {compiler}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/bench")
    parser.add_argument("--micro")
    parser.add_argument("--results", default="bench/RESULTS.md")
    args = parser.parse_args()
    tool = os.path.abspath(os.path.join(args.build, "assetdump"))
    corpus = os.path.abspath(os.path.join(args.build, "bench", "assetdump_corpus"))
    scratch = os.environ.get("BENCH_DIR") or ("/dev/shm/assetdump-bench" if os.path.isdir("/dev/shm")
                                              else os.path.abspath("build/bench/scratch"))
    shutil.rmtree(scratch, ignore_errors=True)

    results = {}
    for scale in ("0.1", "1"):
        root = os.path.join(scratch, "scale" + scale)
        subprocess.run([corpus, root, scale], check=True)
        for name, ext in SETS:
            r = measure(tool, os.path.join(root, name), ext, scratch)
            results[(scale, name)] = r
            print(f"scale {scale} {name}: tool {r['tool']:.3f} s, cp -r {r['cp']:.3f} s, "
                  f"ratio {r['tool'] / r['cp']:.2f}, {r['files'] / r['tool']:.0f} files/s, "
                  f"peak {r['rss_mib']:.1f} MiB", flush=True)
        shutil.rmtree(root)
    hostile_rows = hostile(tool, corpus, scratch)
    shutil.rmtree(scratch, ignore_errors=True)

    lines = ["# Benchmark results", "",
             f"Machine: {machine()}.", "",
             f"Scratch folder: {'RAM-backed (tmpfs)' if scratch.startswith('/dev/shm') else scratch}; "
             f"times are the best of {RUNS} runs. Rerun everything with `bench/run.sh`; "
             "`BENCH_DIR=/some/disk/folder bench/run.sh` measures on a disk instead, where journal "
             "commits make single runs vary far more than the difference between the two programs.", "",
             "## Corpus: the tool against `cp -r` of its own output", "",
             "| scale | set | inputs | input MB | output files | output MB | assetdump s | cp -r s "
             "| tool / cp | files/s | peak RSS MiB |",
             "|---|---|---|---|---|---|---|---|---|---|---|"]
    for (scale, name), r in results.items():
        lines.append(f"| {scale} | {name} | {r['inputs']} | {r['in_mb']:.1f} | {r['files']} | {r['out_mb']:.1f} "
                     f"| {r['tool']:.3f} | {r['cp']:.3f} | {r['tool'] / r['cp']:.2f} "
                     f"| {r['files'] / r['tool']:.0f} | {r['rss_mib']:.1f} |")
    small = sum(results[("0.1", n)]["tool"] for n, _ in SETS)
    large = sum(results[("1", n)]["tool"] for n, _ in SETS)
    whole_tool = large
    whole_cp = sum(results[("1", n)]["cp"] for n, _ in SETS)
    lines += ["",
              f"Whole corpus at scale 1: assetdump {whole_tool:.3f} s, cp -r {whole_cp:.3f} s, "
              f"ratio {whole_tool / whole_cp:.2f} (target at most 1.1).", "",
              f"Scaling: the corpus ten times larger took {large / small:.1f} times as long "
              f"(target at most 11).", "",
              f"WAD peak resident memory: {results[('0.1', 'wad')]['rss_mib']:.1f} MiB at "
              f"{results[('0.1', 'wad')]['in_mb']:.0f} MB and {results[('1', 'wad')]['rss_mib']:.1f} MiB at "
              f"{results[('1', 'wad')]['in_mb']:.0f} MB (target at most 32 MiB, not growing with the archive)."]
    lines += ["", "## Hostile inputs, each converted alone", "",
              "Made by `assetdump_corpus DIR hostile`: run-length rows that all start in one long stretch of "
              "empty codes (at one offset, or one byte apart), a WAD entry and an FNC font of the same kind, "
              "a 65,000 x 16,000 sprite whose rows share one offset, and a small valid file of every type "
              "followed by 3 GB (sparse) that is never read.", "",
              "| file | input bytes | output bytes | assetdump s | cp -r of the output s | peak RSS MiB |",
              "|---|---|---|---|---|---|"]
    for name, in_bytes, out_bytes, seconds, copy_time, rss in hostile_rows:
        copy = f"{copy_time:.3f}" if copy_time is not None else ""
        lines.append(f"| {name} | {in_bytes:,} | {out_bytes:,} | {seconds:.3f} | {copy} | {rss:.1f} |")
    lines += ["", "Targets: each under 1 s except where writing the output itself takes longer (the cp -r "
              "column); peak RSS at most 64 MiB for every one."]
    if args.micro:
        with open(args.micro) as f:
            micro = json.load(f)
        lines += ["", "## Hot paths (Google Benchmark)", "", "| benchmark | output bytes per second |", "|---|---|"]
        for b in micro["benchmarks"]:
            lines.append(f"| {b['name']} | {b['bytes_per_second'] / 1e9:.2f} GB/s |")
        lines += ["", "Target: RLE row decoding at least 1 GB/s of output pixels on literal-heavy rows."]
    with open(args.results, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
