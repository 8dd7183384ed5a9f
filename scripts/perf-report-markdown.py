#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns the JSON of the project's benchmark programs into docs/performance.md.

Used by scripts/perf-report, which builds and runs the programs; standard library only.
Every figure is a median over the repetitions of one run; each ratio compares two
benchmarks measured in the same process, so the machine's speed and load largely cancel.
"""
import argparse
import datetime
import glob
import json
import os
import platform
import re
import subprocess
import sys

# The benchmark programs the project has, in report order. A program that the build
# does not have is listed as not built. "pairs" compare a benchmark of ours with the
# reference run beside it; families measured at 8,192 and 65,535 records are compared
# by size automatically.
SECTIONS = [
    {
        "program": "tallimor_crypto_bench",
        "title": "Blowfish and MD5 against OpenSSL",
        "about": "The system's own Blowfish and MD5 against OpenSSL's libcrypto over the same 16 MiB buffer.",
        "pairs": [
            ("BlowfishEncryptBuffer", "OpenSslBlowfishEncrypt"),
            ("BlowfishDecryptBuffer", "OpenSslBlowfishDecrypt"),
            ("BlowfishEncryptBytes", "OpenSslBlowfishEcbEncrypt"),
            ("BlowfishDecryptBytes", "OpenSslBlowfishEcbDecrypt"),
            ("MD5Digest", "OpenSslMD5Digest"),
        ],
        "reference": "OpenSSL",
    },
    {
        "program": "tallimor_record_file_bench",
        "title": "Record file load and save against plain I/O",
        "about": "Loading and saving a `record.dat` of 65,535 records of 200 bytes against a plain read "
                 "and a plain synced write of the same bytes.",
        "pairs": [
            ("BM_RecordFileLoad", "BM_PlainRead"),
            ("BM_RecordFileSave", "BM_PlainWriteSynced"),
        ],
        "reference": "plain I/O",
    },
    {
        "program": "tallimor_store_bench",
        "title": "Database: add and find",
        "about": "The database manager base: filling a list by first-fit add, refilling holes, "
                 "looking every record up by id.",
    },
    {
        "program": "sync_manager_bench",
        "title": "Sync Manager of the emulated handheld",
        "about": "Sync Manager calls over a handheld database: read and delete every record by id, "
                 "open and close a changed database (which writes the `.pdb`).",
    },
    {
        "program": "tallimor_handheld_manager_bench",
        "title": "Conduit: handheld database manager",
        "about": "The conduit's reads of the handheld through the Sync Manager, as a slow and a fast "
                 "HotSync make them.",
    },
    {
        "program": "tallimor_desktop_database_bench",
        "title": "Conduit: desktop-file manager",
        "about": "The conduit's desktop file at 65,535 records: the slow-sync read, look-up by id, "
                 "and the write that ends a HotSync.",
    },
    {
        "program": "*synchron*",
        "title": "Slow HotSync at 8,192 and 65,535 records",
        "about": "A whole slow HotSync through the conduit's synchronizer.",
    },
    {
        "program": "tallimor_protected_bench",
        "title": "Desktop program: loading a protected file",
        "about": "Opening a protected file of 65,535 memos: loading and deciphering, the same load "
                 "without deciphering, and the whole user switch.",
    },
    {
        "program": "tallimor_view_bench",
        "title": "Desktop program: main view at 65,535 memos",
        "about": "The main view on a 65,535-memo file (Qt offscreen platform): the reload message, "
                 "the list rebuild, switching the category filter, and the find field's filtering "
                 "for a one-letter, a Japanese and a no-match query (at most 30 ms each).",
        "pairs": [
            ("Search/OneLetter", "FilterByCategoryAlone"),
            ("Search/Japanese", "FilterByCategoryAlone"),
            ("Search/NoMatch", "FilterByCategoryAlone"),
        ],
        "reference": "the category filter alone",
    },
]

STANDARD_KEYS = {
    "name", "family_index", "per_family_instance_index", "run_name", "run_type",
    "repetitions", "threads", "aggregate_name", "aggregate_unit", "iterations",
    "real_time", "cpu_time", "time_unit", "repetition_index", "label", "error_occurred",
    "error_message",
}
TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def sh(*args):
    try:
        return subprocess.run(args, capture_output=True, text=True, check=False).stdout.strip()
    except OSError:
        return ""


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError:
        return ""


def machine():
    cpu = re.search(r"^model name\s*:\s*(.+)$", read("/proc/cpuinfo"), re.M)
    mem = re.search(r"^MemTotal:\s*(\d+) kB", read("/proc/meminfo"), re.M)
    os_name = re.search(r'^PRETTY_NAME="?([^"\n]+)', read("/etc/os-release"), re.M)
    return {
        "cpu": cpu.group(1) if cpu else platform.processor() or "unknown",
        "nproc": sh("nproc") or str(os.cpu_count()),
        "memory": f"{int(mem.group(1)) / 1048576:.1f} GiB" if mem else "unknown",
        "os": os_name.group(1) if os_name else platform.platform(),
        "kernel": platform.release(),
    }


def compiler(build):
    cache = read(os.path.join(build, "CMakeCache.txt"))
    cxx = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.+)$", cache, re.M)
    kind = re.search(r"^CMAKE_BUILD_TYPE:\w+=(.*)$", cache, re.M)
    version = sh(cxx.group(1), "--version").splitlines()[0] if cxx else "unknown"
    return version, kind.group(1) if kind else "unknown"


def medians(path):
    """Returns {run name: entry} holding the median of each benchmark (or its only run)."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    result = {}
    for entry in data.get("benchmarks", []):
        # Options the program fixed (/real_time, /repeats:9, /iterations:1) are not part of the name.
        name = re.sub(r"/(real_time|repeats:\d+|iterations:\d+)", "", entry.get("run_name", entry["name"]))
        if entry.get("run_type") == "aggregate":
            if entry.get("aggregate_name") == "median":
                result[name] = entry
        elif name not in result:
            result[name] = entry
    return data.get("context", {}), result


def ms(entry, key="real_time"):
    return entry[key] * TO_MS.get(entry.get("time_unit", "ns"), 1e-6)


def fmt_ms(value):
    if value >= 100:
        return f"{value:,.0f}"
    if value >= 1:
        return f"{value:.2f}"
    return f"{value:.4f}"


def ratio(subject, reference, key="real_time"):
    below = ms(reference, key)
    return f"{ms(subject, key) / below:.2f}" if below > 0 else "n/a"


def counters(entry):
    shown = []
    for key, value in entry.items():
        if key in STANDARD_KEYS or not isinstance(value, (int, float)):
            continue
        if key == "bytes_per_second":
            shown.append(f"{value / 1048576:,.1f} MiB/s")
        elif key == "items_per_second":
            shown.append(f"{value:,.0f} items/s")
        else:
            shown.append(f"{key} {value:,.4g}")
    return ", ".join(shown)


def size_pairs(results):
    """Families measured at 8,192 and 65,535: (family, small entry, large entry)."""
    pairs = []
    for name, entry in results.items():
        m = re.match(r"^(.*)/8192$", name)
        if m and f"{m.group(1)}/65535" in results:
            pairs.append((m.group(1), entry, results[f"{m.group(1)}/65535"]))
    return pairs


def section(out, spec, path, failed):
    out.append(f"## {spec['title']}\n")
    out.append(spec["about"] + "\n")
    if path is None:
        out.append(f"Not built: the build has no `{spec['program']}` program yet.\n")
        return
    program = os.path.basename(path)[: -len(".json")]
    if failed or not os.path.exists(path):
        out.append(f"`{program}` failed to run; see `build/release/perf/{program}.log`.\n")
        return
    context, results = medians(path)
    out.append(f"Program `{program}`.\n")
    out.append("| Benchmark | Median wall time (ms) | Median CPU time (ms) | Counters |")
    out.append("|---|---:|---:|---|")
    for name, entry in results.items():
        if entry.get("error_occurred"):
            out.append(f"| {name} | error: {entry.get('error_message', '')} | | |")
            continue
        out.append(f"| {name} | {fmt_ms(ms(entry))} | {fmt_ms(ms(entry, 'cpu_time'))} | {counters(entry)} |")
    out.append("")
    rows = []
    for ours, theirs in spec.get("pairs", []):
        if ours in results and theirs in results and ms(results[theirs]) > 0:
            rows.append(f"| {ours} | {theirs} | {ratio(results[ours], results[theirs])} "
                        f"| {ratio(results[ours], results[theirs], 'cpu_time')} |")
    if rows:
        out.append(f"Against {spec['reference']} in the same run (ratio of medians; "
                   "below 1 is faster than the reference):\n")
        out.append("| Ours | Reference | Ours / reference, wall | Ours / reference, CPU |")
        out.append("|---|---|---:|---:|")
        out.extend(rows)
        out.append("")
    scaled = size_pairs(results)
    if scaled:
        out.append("65,535 records against 8,192 in the same run (8.0 is linear growth):\n")
        out.append("| Benchmark | 8,192 (ms) | 65,535 (ms) | 65,535 / 8,192, wall | 65,535 / 8,192, CPU |")
        out.append("|---|---:|---:|---:|---:|")
        for family, small, large in scaled:
            out.append(f"| {family} | {fmt_ms(ms(small))} | {fmt_ms(ms(large))} "
                       f"| {ratio(large, small)} | {ratio(large, small, 'cpu_time')} |")
        out.append("")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="the release build directory")
    parser.add_argument("--results", required=True, help="directory of <program>.json files")
    parser.add_argument("--repetitions", default="5")
    args = parser.parse_args()

    def stems(suffix):
        return {os.path.basename(p)[: -len(suffix)] for p in glob.glob(os.path.join(args.results, "*" + suffix))}

    failed = stems(".failed")
    found = {name: os.path.join(args.results, name + ".json") for name in stems(".json") | failed}

    m = machine()
    cxx, build_type = compiler(args.build)
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    load_before = read(os.path.join(args.results, "load-before.txt")).strip()
    load_after = read(os.path.join(args.results, "load-after.txt")).strip()

    out = ["# Tallimor performance report", ""]
    out.append("Generated by `scripts/perf-report`; do not edit by hand. Google Benchmark figures "
               "of the project's benchmark programs, built with the `release` preset.\n")
    out.append("## Machine and run\n")
    out.append("| | |")
    out.append("|---|---|")
    out.append(f"| Date | {now} |")
    out.append(f"| CPU | {m['cpu']} |")
    out.append(f"| Processors (nproc) | {m['nproc']} |")
    out.append(f"| Memory | {m['memory']} |")
    out.append(f"| System | {m['os']}, Linux {m['kernel']} |")
    out.append(f"| Compiler | {cxx} |")
    out.append(f"| Build type | {build_type} (`cmake --preset release`) |")
    out.append(f"| Repetitions | {args.repetitions}, medians reported (a benchmark that fixes its own "
               "repetition count keeps it) |")
    if load_before:
        out.append(f"| Load before the run | `{load_before}` |")
    if load_after:
        out.append(f"| Load after the run | `{load_after}` |")
    out.append("")
    out.append("The machine may be shared: absolute times move with its load, while the ratios "
               "compare benchmarks measured in the same process and move much less. When the load "
               "exceeds the processors, wall time includes waiting for a processor; CPU time "
               "(and the CPU ratios) then say more, except for synced writes, whose cost is "
               "waiting for the disk.\n")
    out.append("## How to reproduce\n")
    out.append("    scripts/perf-report              # builds build/release, runs every benchmark, "
               "rewrites this file")
    out.append("    scripts/perf-report --no-build   # reuses the built programs\n")
    out.append("Each program runs with `--benchmark_repetitions=5 --benchmark_report_aggregates_only=true "
               "--benchmark_format=json`; its JSON is kept in `build/release/perf/`. "
               "A single program by hand, e.g. "
               "`build/release/crypto/tallimor_crypto_bench --benchmark_repetitions=5`.\n")

    used = set()
    for spec in SECTIONS:
        pattern = spec["program"]
        if "*" in pattern:
            rx = re.compile("^" + re.escape(pattern).replace(r"\*", ".*") + "$")
            names = [n for n in sorted(found) if rx.match(n) and n not in used]
        else:
            names = [pattern] if pattern in found else []
        if not names:
            section(out, spec, None, False)
        for name in names:
            used.add(name)
            section(out, spec, found[name], name in failed)
    for name in sorted(set(found) - used):
        section(out, {"title": f"Other: {name}", "about": "A benchmark program of the project.",
                      "program": name}, found[name], name in failed)

    # A comparison with an earlier revision (scripts/perf-compare), when one was made.
    compare = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "performance-compare.md")
    if os.path.exists(compare):
        with open(compare, encoding="utf-8") as f:
            out.append("")
            out.append(f.read().rstrip())

    sys.stdout.write("\n".join(out).rstrip() + "\n")


if __name__ == "__main__":
    main()
