#!/usr/bin/env python3
"""Corpus benchmark: the tool against `cp -r` of the very output it produced,
side by side in one run.

For each set (one WAD of 10,000 entries, 2,000 RLE files), each place (a
RAM-backed folder and the disk) and each way of running the tool (one worker,
the default, and optionally a build of an earlier tree), three rounds of:
  first   the conversion with no output folders yet
  rerun   the conversion again, into the folders it made
  cp      `cp -r` of the output folders into a new folder
  cp over `cp -r` of them again, over that copy
taken in turn, so that whatever else the machine does falls on all alike.
Reported: medians, the spread on the disk, and peak resident memory. Then
the hostile set, each file alone. Writes a Markdown report with the machine.
"""
import argparse
import sys
import json
import os
import platform
import shutil
import statistics
import subprocess
import time

SETS = [("wad", "WAD", "the WAD of 10,000 entries"), ("rle", "RLE", "2,000 RLE files")]
FLOOR = None
ROUNDS = 3


def timed(command, cwd):
    start = time.perf_counter()
    status = subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL).returncode
    if status not in (0, 3):  # 3: a file failed, as some hostile ones are meant to
        raise RuntimeError(f"{command[0]} exited with {status}")
    return time.perf_counter() - start


def outputs(folder):
    return sorted(n for n in os.listdir(folder) if n.endswith(".FILES"))


def clear(folder):
    for name in outputs(folder):
        shutil.rmtree(os.path.join(folder, name))


def peak_rss_mib(command, cwd):
    report = subprocess.run(["/usr/bin/time", "-v"] + command, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
    return int(next(l for l in report.splitlines() if "Maximum resident" in l).split(":")[1]) / 1024


def measure(configs, folder, ext, scratch):
    """Medians (and all times) of first, rerun, cp, cp over, per config."""
    inputs = sorted(n for n in os.listdir(folder) if n.endswith("." + ext))
    times = {label: {"first": [], "rerun": [], "cp": [], "cp over": []} for label, _, _ in configs}
    floor = {1: [], os.cpu_count(): []}
    copy = os.path.join(scratch, "copy")
    for _ in range(ROUNDS):
        for label, tool, options in configs:
            t = times[label]
            clear(folder)
            t["first"].append(timed([tool] + options + inputs, folder))
            if label == configs[-1][0]:
                for threads in floor:  # the same files, written with nothing else done
                    shutil.rmtree(copy, ignore_errors=True)
                    floor[threads].append(float(subprocess.run(
                        [FLOOR, folder, copy, str(threads)], check=True, capture_output=True, text=True).stdout))
                    shutil.rmtree(copy)
            t["rerun"].append(timed([tool] + options + inputs, folder))
            shutil.rmtree(copy, ignore_errors=True)
            os.mkdir(copy)
            t["cp"].append(timed(["cp", "-r"] + outputs(folder) + [copy], folder))
            t["cp over"].append(timed(["cp", "-r"] + outputs(folder) + [copy], folder))
            shutil.rmtree(copy)
    files = sum(len(f) for _, _, f in os.walk(folder)) - len(inputs)
    rss = {}
    for label, tool, options in configs:
        clear(folder)
        rss[label] = peak_rss_mib([tool] + options + inputs, folder)
    clear(folder)
    return {"files": files, "times": times, "rss": rss, "floor": {k: statistics.median(v) for k, v in floor.items()}}


def largest(configs, corpus, scratch):
    """The largest archive the format allows: time and peak memory of a first
    run, an unchanged rerun, a rerun after the archive's time changed (every
    output compared) and a dry run after that."""
    folder = os.path.join(scratch, "largest")
    subprocess.run([corpus, scratch, "largest"], check=True)
    rows = []
    for label, tool, options in configs:
        clear(folder)
        row = [label]
        for mode in ("first", "rerun", "compare", "dry"):
            if mode in ("compare", "dry"):
                os.utime(os.path.join(folder, "MAX.WAD"))
            extra = ["-n"] if mode == "dry" else []
            start = time.perf_counter()
            rss = peak_rss_mib([tool] + options + extra + ["MAX.WAD"], folder)
            row.append((time.perf_counter() - start, rss))
            if mode == "first":
                time.sleep(0.1)
                subprocess.run([tool] + options + ["MAX.WAD"], cwd=folder, stdout=subprocess.DEVNULL)
        rows.append(row)
        print(f"largest {label}: " + ", ".join(f"{t:.2f} s {m:.1f} MiB" for t, m in row[1:]), flush=True)
    shutil.rmtree(folder)
    return rows


def png(tool, corpus, scratch):
    """--format png against BMP, default workers, on noise and on drawn bodies."""
    rows = []
    for kind in ("noise", "drawn"):
        base = os.path.join(scratch, "png-" + kind)
        subprocess.run([corpus, base, "1"] + (["drawn"] if kind == "drawn" else []), check=True)
        shutil.rmtree(os.path.join(base, "fnt"))
        for name, ext, label in SETS:
            folder = os.path.join(base, name)
            inputs = sorted(n for n in os.listdir(folder) if n.endswith("." + ext))
            t = {"bmp": [], "png": []}
            size = {}
            for _ in range(ROUNDS):
                for fmt in t:
                    clear(folder)
                    t[fmt].append(timed([tool, "--format", fmt] + inputs, folder))
                    size[fmt] = sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(folder) for n in ns
                                    if r != folder and n != ".assetdump.json")
            clear(folder)
            m = {k: statistics.median(v) for k, v in t.items()}
            rows.append((label, kind, m["bmp"], m["png"], size["bmp"], size["png"]))
            print(f"png {label} {kind}: BMP {m['bmp']:.3f} s, PNG {m['png']:.3f} s = {m['png'] / m['bmp']:.2f}", flush=True)
        shutil.rmtree(base)
    return rows


def gallery(tool, corpus, scratch):
    """A first conversion with and without --gallery, into -o: the gallery's
    time is the difference; and the largest page it wrote."""
    rows = []
    base = os.path.join(scratch, "gallery")
    subprocess.run([corpus, base, "1"], check=True)
    shutil.rmtree(os.path.join(base, "fnt"))
    for name, ext, label in SETS:
        folder = os.path.join(base, name)
        inputs = sorted(n for n in os.listdir(folder) if n.endswith("." + ext))
        out = os.path.join(base, "out")
        t = {"plain": [], "gallery": []}
        for _ in range(ROUNDS):
            for kind in t:
                shutil.rmtree(out, ignore_errors=True)
                t[kind].append(timed([tool, "-o", out] + (["--gallery"] if kind == "gallery" else []) + inputs,
                                     folder))
        pages = os.path.join(out, "index.pages")
        largest_page = max(os.path.getsize(os.path.join(pages, n)) for n in os.listdir(pages))
        count = len(os.listdir(pages)) + 1
        shutil.rmtree(out)
        m = {k: statistics.median(v) for k, v in t.items()}
        rows.append((label, m["plain"], m["gallery"], count, largest_page))
        print(f"gallery {label}: {m['plain']:.3f} s, with it {m['gallery']:.3f} s = "
              f"{(m['gallery'] - m['plain']) / m['plain']:.2f}; {count} files, largest {largest_page:,} bytes", flush=True)
    shutil.rmtree(base)
    return rows


def hostile(tool, corpus, scratch):
    """Each hostile file converted alone: the median of three times, peak
    memory, and for files with large outputs the time cp -r takes to copy them."""
    folder = os.path.join(scratch, "hostile")
    subprocess.run([corpus, folder, "hostile"], check=True)
    rows = []
    for name in sorted(n for n in os.listdir(folder) if not n.endswith(".FILES")):
        times = []
        for _ in range(ROUNDS):
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
        rows.append((name, os.path.getsize(os.path.join(folder, name)), out_bytes, statistics.median(times),
                     copy_time, rss))
        print(f"hostile {name}: {statistics.median(times):.3f} s, peak {rss:.1f} MiB", flush=True)
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


def filesystem(path):
    out = subprocess.run(["df", "-T", path], capture_output=True, text=True).stdout.splitlines()
    return out[-1].split()[1] if len(out) > 1 else "?"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build/bench")
    parser.add_argument("--before", help="a build of an earlier tree, measured beside (no -j)")
    parser.add_argument("--micro")
    parser.add_argument("--disk", default=os.path.abspath("build/bench/scratch"),
                        help="a scratch folder on the disk (empty: the disk is not measured)")
    parser.add_argument("--results", default="bench/RESULTS.md")
    args = parser.parse_args()
    global FLOOR
    tool = os.path.abspath(os.path.join(args.build, "assetdump"))
    corpus = os.path.abspath(os.path.join(args.build, "bench", "assetdump_corpus"))
    FLOOR = os.path.abspath(os.path.join(args.build, "bench", "assetdump_floor"))
    configs = [("-j 1", tool, ["-j", "1"]), (f"default ({os.cpu_count()} workers)", tool, [])]
    if args.before:
        configs.insert(0, ("before", os.path.abspath(args.before), []))
    ram = "/dev/shm/assetdump-bench" if os.path.isdir("/dev/shm") else "build/bench/ram"
    places = [("tmpfs", ram), ("tmpfs, one core busy", ram)]
    if args.disk:
        places.append((f"disk ({filesystem(os.path.dirname(args.disk))})", args.disk))

    results = {}
    for place, scratch in places:
        shutil.rmtree(scratch, ignore_errors=True)
        subprocess.run([corpus, scratch, "1"], check=True)
        shutil.rmtree(os.path.join(scratch, "fnt"))
        # Another process keeps one core busy, as a build or a game would.
        busy = subprocess.Popen([sys.executable, "-c", "while True: pass"]) if "busy" in place else None
        for name, ext, _ in SETS:
            r = measure(configs, os.path.join(scratch, name), ext, scratch)
            results[(place, name)] = r
            for label, _, _ in configs:
                t = {k: statistics.median(v) for k, v in r["times"][label].items()}
                print(f"{place} {name} {label}: first {t['first']:.3f} s / cp {t['cp']:.3f} s = "
                      f"{t['first'] / t['cp']:.2f}; rerun {t['rerun']:.3f} s / cp over {t['cp over']:.3f} s = "
                      f"{t['rerun'] / t['cp over']:.2f}; peak {r['rss'][label]:.1f} MiB", flush=True)
        if busy:
            busy.kill()
            busy.wait()
        shutil.rmtree(scratch)
    hostile_rows = hostile(tool, corpus, places[0][1])
    largest_rows = largest([c for c in configs if c[0] != "-j 1"], corpus, places[0][1])
    png_rows = png(tool, corpus, places[0][1])
    gallery_rows = gallery(tool, corpus, places[0][1])
    shutil.rmtree(places[0][1], ignore_errors=True)

    lines = ["# Benchmark results", "", f"Machine: {machine()}.", "",
             f"Every figure is the median of {ROUNDS} rounds, and every round runs the tool and `cp -r` in "
             "turn, so that load from elsewhere falls on both alike (this machine is shared; single runs "
             "vary by a fifth). Rerun everything with `bench/run.sh`.", "",
             "## The tool against `cp -r` of its own output", "",
             "*first*: no output folder exists yet, against `cp -r` of the output folders into a new folder; "
             "*rerun*: into the folders the first run made, nothing changed, against `cp -r` over that copy. "
             + ("*before*: the tree this work started from, measured in the same run. " if args.before else ""),
             "*floor*: the same output files written with nothing else done (`assetdump_floor`: read into "
             "memory first, then each file created, written in one call and closed, by as many threads as the "
             "run has workers).",
             "", "| place | corpus | output files | run | first s | cp -r s | first / cp | floor s | first / floor "
             "| rerun s | cp over s | rerun / cp over | peak RSS MiB |",
             "|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    for (place, name), r in results.items():
        label_of = dict((n, l) for n, _, l in SETS)
        for label, _, _ in configs:
            t = r["times"][label]
            m = {k: statistics.median(v) for k, v in t.items()}
            spread = lambda k: f" ({min(t[k]):.2f}–{max(t[k]):.2f})" if place.startswith("disk") else ""
            floor = r["floor"][1 if label == "-j 1" else os.cpu_count()]
            lines.append(f"| {place} | {label_of[name]} | {r['files']} | {label} | {m['first']:.3f}{spread('first')} "
                         f"| {m['cp']:.3f}{spread('cp')} | {m['first'] / m['cp']:.2f} | {floor:.3f} "
                         f"| {m['first'] / floor:.2f} "
                         f"| {m['rerun']:.3f}{spread('rerun')} | {m['cp over']:.3f}{spread('cp over')} "
                         f"| {m['rerun'] / m['cp over']:.2f} | {r['rss'][label]:.1f} |")
    lines += ["", "Targets (tmpfs): the WAD's first conversion at most 0.65 x cp and 0.95 x the floor with the "
              "default workers, at most 1.0 x cp with `-j 1`; the 2,000 RLE files at most 0.7 x cp; reruns over "
              "an unchanged game at most 0.3 x cp over an existing copy; with one core busy, the default workers "
              "no slower than `-j 1`; peak RSS of the WAD run at most 16 MiB. On the disk (times in brackets: the "
              "spread of the rounds) whatever the kernel still has to write back from the round before falls on "
              "the next program to write, tool or cp alike: single runs vary several times over, and only the "
              "tmpfs figures compare the programs themselves."]
    lines += ["", "## The largest archive", "",
              "Made by `assetdump_corpus DIR largest`: 65,535 entries, the most a WAD holds (over 109,000 "
              "outputs). *rerun*: nothing changed; *compare*: the archive's time changed, so every output is "
              "compared with what is on disk; *dry*: `-n` after that. Seconds and peak RSS (MiB).", "",
              "| run | first | rerun | compare | dry |", "|---|---|---|---|---|"]
    for row in largest_rows:
        lines.append(f"| {row[0]} | " + " | ".join(f"{t:.2f} s, {m:.1f} MiB" for t, m in row[1:]) + " |")
    lines += ["", "Target: peak RSS at most 48 MiB in every mode."]
    lines += ["", "## PNG pictures", "",
              "`--format png` against the default BMP, default workers, on the corpora above (*noise*: every "
              "body pixel drawn at random) and on the same corpora drawn as sprites are (*drawn*: bodies in "
              "runs of one colour, `assetdump_corpus DIR 1 drawn`). Output bytes without the records.", "",
              "| corpus | bodies | BMP s | PNG s | PNG / BMP | BMP bytes | PNG bytes |", "|---|---|---|---|---|---|---|"]
    for label, kind, bmp, png_s, bmp_bytes, png_bytes in png_rows:
        lines.append(f"| {label} | {kind} | {bmp:.3f} | {png_s:.3f} | {png_s / bmp:.2f} | {bmp_bytes:,} | {png_bytes:,} |")
    lines += ["", "Targets: at most 1.5 x the BMP run on drawn bodies and 2.0 x on noise."]
    lines += ["", "## The gallery", "",
              "A first conversion into `-o`, without and with `--gallery`, default workers, tmpfs: the gallery's "
              "time is the difference. Files: the pages, the style sheet and `index.html`.", "",
              "| corpus | conversion s | with --gallery s | gallery / conversion | gallery files | largest page bytes |",
              "|---|---|---|---|---|---|"]
    for label, plain, with_gallery, count, largest_page in gallery_rows:
        lines.append(f"| {label} | {plain:.3f} | {with_gallery:.3f} | {(with_gallery - plain) / plain:.2f} | {count} "
                     f"| {largest_page:,} |")
    lines += ["", "Targets: the gallery of the 10,000-entry WAD in at most 0.2 x its conversion's time; every page "
              "under 2 MB."]
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
