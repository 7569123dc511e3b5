#!/usr/bin/python3
"""Turns the JSON of compare_bench (median aggregates) and of bspline_scipy.py into the table of
docs/performance.md: one row per case and peer, Polyview's and the peer's nanoseconds per call and
their ratio (a "batch N points" case per point). Cases without a peer get the ratio to the point triangulation from as many views."""

import json
import re
import sys


def medians(path):
    """{case: {side: ns}} from a Google Benchmark JSON file (median CPU time), plus errors."""
    with open(path) as handle:
        report = json.load(handle)
    times = {}
    errors = {}
    for entry in report["benchmarks"]:
        name = entry.get("run_name", entry["name"])
        case, _, side = name.partition("/")
        if entry.get("error_occurred"):
            errors.setdefault(case, {})[side] = entry.get("error_message", "error")
            continue
        if entry.get("aggregate_name", "median") != "median":
            continue
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry.get("time_unit", "ns")]
        times.setdefault(case, {})[side] = entry["cpu_time"] * scale
    # A batch case is timed per batch; the table shows it per point.
    for case, sides in times.items():
        match = re.match(r"batch (\d+) points", case)
        if match:
            for side in sides:
                sides[side] /= int(match.group(1))
    return times, errors


def number(ns):
    return f"{ns:,.0f}" if ns >= 100 else f"{ns:.1f}"


def main():
    times, errors = medians(sys.argv[1])
    for path in sys.argv[2:]:
        with open(path) as handle:
            for line in handle:
                entry = json.loads(line)
                case, _, side = entry["name"].partition("/")
                if "ns" in entry:
                    times.setdefault(case, {})[side] = entry["ns"]
                else:
                    errors.setdefault(case, {})[side] = entry.get("error", "error")
    rows = ["| Case | Polyview | ns | Peer | ns | Polyview / peer |",
            "|---|---|---:|---|---:|---:|"]
    for case in list(dict.fromkeys(list(times) + list(errors))):
        sides = times.get(case, {})
        ours = [side for side in sides if side.startswith("polyview")]
        peers = [side for side in sides if not side.startswith("polyview")]
        for side, message in errors.get(case, {}).items():
            rows.append(f"| {case} | {side} | error: {message} | | | |")
        for mine in ours:
            if peers:
                for peer in peers:
                    ratio = sides[mine] / sides[peer]
                    rows.append(f"| {case} | {mine} | {number(sides[mine])} | {peer} | "
                                f"{number(sides[peer])} | {ratio:.2f} |")
                continue
            # No peer: the ratio to the point triangulation from as many views (2 for the rest).
            match = re.search(r"(\d+) images", case)
            views = match.group(1) if match else "2"
            point = times.get(f"point {views} views", {}).get("polyview")
            reference = f"point {views} views (polyview)"
            ratio = f"{sides[mine] / point:.2f}" if point else ""
            rows.append(f"| {case} | {mine} | {number(sides[mine])} | {reference} | "
                        f"{number(point) if point else ''} | {ratio} |")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
