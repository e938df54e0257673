#!/usr/bin/env python3
"""Python peer of parse_bench: the same page path on the same bytes.

Decode the UTF-8 body, find the group records with the same pattern (letter case ignored,
multi-line), cut name, group number and member count with case-insensitive delimiter searches.
Prints records/s per body and, given parse_bench's JSON output, the C++ figures and ratios.

usage: parse_peer.py BODIES_DIR [CPP_JSON]
"""
import json
import multiprocessing
import re
import sys
import time

PATTERN = (r'{"groupNum":\d+,"ugroupId":\d+,"ownerId":\d+,"logoIndex":\d+,"memberCount":\d+,'
           r'"name":"(.*?)","creator":{"uid":\d+,"imid":\d+,"nick":"(.*?)","logoIndex":\d+,'
           r'"jifen":\d+,"followed":(.*?),"age":\d+}}')
assert len(PATTERN) == 197
RECORD = re.compile(PATTERN, re.IGNORECASE | re.MULTILINE)


def between(text, lower, left, right):
    start = lower.find(left)
    if start < 0:
        return ""
    start += len(left)
    end = lower.find(right, start)
    return "" if end < 0 else text[start:end]


def parse_page(raw):
    body = raw.decode("utf-8", errors="replace")
    records = []
    for match in RECORD.finditer(body):
        text = match.group(0)
        lower = text.lower()
        records.append((between(text, lower, 'name":"', '"'),
                        between(text, lower, 'groupnum":', ','),
                        between(text, lower, 'membercount":', ',')))
    return records


def measure(raw, min_seconds=1.0):
    """Records per CPU second, like the C++ side's rates."""
    iterations, records = 0, 0
    start = time.process_time()
    while True:
        records += len(parse_page(raw))
        iterations += 1
        elapsed = time.process_time() - start
        if elapsed >= min_seconds:
            return records / elapsed, elapsed / iterations, records // iterations


def timed_out_run(raw, queue):
    start = time.process_time()
    count = len(parse_page(raw))
    queue.put((count, time.process_time() - start))


def main():
    bodies = sys.argv[1]
    cpp = {}
    if len(sys.argv) > 2:
        with open(sys.argv[2]) as f:
            for b in json.load(f)["benchmarks"]:
                cpp[b["name"].split("/")[0]] = b
    print()
    print("records per CPU second, whole page path (UTF-8 body in, records out)")
    print(f"{'body':<24}{'records':>8}{'C++ records/s':>16}{'Python records/s':>18}{'ratio':>8}")
    for name, bench in (("page.json", "BM_Page20"), ("large.json", "BM_Large4MiB")):
        with open(f"{bodies}/{name}", "rb") as f:
            raw = f.read()
        rate, per_page, count = measure(raw)
        cpp_rate = cpp.get(bench, {}).get("records/s")
        ratio = f"{cpp_rate / rate:7.1f}x" if cpp_rate else "      -"
        cpp_text = f"{cpp_rate:16,.0f}" if cpp_rate else f"{'-':>16}"
        print(f"{name + f' ({len(raw) // 1024} KiB)':<24}{count:>8}{cpp_text}{rate:18,.0f}{ratio}")

    # Python's engine has no work limit: give the near-record body a fixed allowance.
    with open(f"{bodies}/near.json", "rb") as f:
        raw = f.read()
    allowance = 10.0  # wall seconds
    queue = multiprocessing.Queue()
    worker = multiprocessing.Process(target=timed_out_run, args=(raw, queue))
    worker.start()
    worker.join(allowance)
    if worker.is_alive():
        worker.terminate()
        worker.join()
        python_near = f"not done after {allowance:.0f} s"
    else:
        count, seconds = queue.get()
        python_near = f"{seconds * 1000:.1f} ms CPU, {count} records"
    near = cpp.get("BM_NearRecords4MiB")
    cpp_near = (f"{near['cpu_time']:.1f} {near['time_unit']} CPU "
                f"({near['real_time']:.1f} wall), {near['records']:.0f} records"
                if near else "-")
    print(f"near-records ({len(raw) // 1024} KiB): C++ {cpp_near}; Python {python_near}")


if __name__ == "__main__":
    main()
