#!/usr/bin/env python3
"""Latency on the wire against the latency a run reported.

    scripts/wire-latency.py CAPTURE REPORT.json SERVER-PORT

CAPTURE: a packet capture of loopback (dumpcap) taken while Pelvok ran against a server with
authentication on SERVER-PORT and accounting on SERVER-PORT + 1. Each reply from the server
is paired with the last request that left the same source port with the same identifier
(a request and its reply share both, RFC 2865 section 3); the time between them is the
wire's latency. REPORT.json: the run's --report, whose latencyHistogramUs buckets of every
kind are merged. Prints the median and 99th percentile of both in microseconds, and their
differences.
"""
import json
import subprocess
import sys

REQUEST_CODES = {1, 4}  # Access-Request, Accounting-Request
REPLY_CODES = {2, 3, 5, 11}  # Access-Accept, -Reject, Accounting-Response, Access-Challenge


def wire_latencies(capture, server_port):
    fields = ["frame.time_epoch", "udp.srcport", "udp.dstport", "radius.id", "radius.code"]
    command = ["tshark", "-r", capture, "-T", "fields", "-E", "separator=,",
               "-d", f"udp.port=={server_port},radius", "-d", f"udp.port=={server_port + 1},radius"]
    for field in fields:
        command += ["-e", field]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    sent = {}
    latencies = []
    for line in output.splitlines():
        parts = line.split(",")
        if len(parts) != 5 or not all(parts):
            continue
        when, source, destination = float(parts[0]), int(parts[1]), int(parts[2])
        identifier, code = int(parts[3]), int(parts[4])
        if code in REQUEST_CODES:
            sent[(source, identifier)] = when
        elif code in REPLY_CODES:
            started = sent.pop((destination, identifier), None)
            if started is not None:
                latencies.append((when - started) * 1e6)
    return sorted(latencies)


def percentile(values, share):
    if not values:
        return float("nan")
    rank = max(int(share / 100.0 * len(values) + 0.5), 1)
    return values[min(rank, len(values)) - 1]


def reported_latencies(report_path):
    report = json.load(open(report_path))
    kinds = report["requests"]
    kinds = kinds.values() if isinstance(kinds, dict) else kinds
    buckets = {}
    for kind in kinds:
        for low, high, count in kind.get("latencyHistogramUs", []):
            buckets[(low, high)] = buckets.get((low, high), 0) + count
    return sorted(buckets.items())


def histogram_percentile(buckets, share):
    total = sum(count for _, count in buckets)
    if total == 0:
        return float("nan")
    rank = max(int(share / 100.0 * total + 0.5), 1)
    seen = 0
    for (low, high), count in buckets:
        seen += count
        if seen >= rank:
            return (low + high) / 2.0
    return float("nan")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    wire = wire_latencies(sys.argv[1], int(sys.argv[3]))
    buckets = reported_latencies(sys.argv[2])
    reported = sum(count for _, count in buckets)
    print(f"wire: {len(wire)} request/reply pairs; report: {reported} replies")
    for name, share in (("median", 50), ("p99", 99)):
        on_wire = percentile(wire, share)
        in_report = histogram_percentile(buckets, share)
        print(f"{name}: wire {on_wire:.0f} us, reported {in_report:.0f} us, "
              f"difference {in_report - on_wire:+.0f} us")


if __name__ == "__main__":
    main()
