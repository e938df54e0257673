#!/usr/bin/env python3
"""A plain Python scraper doing the harvest's job, as a peer for bench/harvest_bench.sh.

    harvest_peer.py urllib|requests BASE_URL KEYWORD MIN OUT_TSV

Pages through BASE_URL until a page holds no record, keeps every group whose member count is
above MIN, writes name, group number and member count as TSV (UTF-8), and prints
    rows=N pages=N seconds=S cpu_seconds=S peak_rss_kb=N
"""
import re
import resource
import sys
import time
import urllib.parse

PATTERN = re.compile(
    r'{"groupNum":\d+,"ugroupId":\d+,"ownerId":\d+,"logoIndex":\d+,"memberCount":\d+,'
    r'"name":"(.*?)","creator":{"uid":\d+,"imid":\d+,"nick":"(.*?)","logoIndex":\d+,'
    r'"jifen":\d+,"followed":(.*?),"age":\d+}}',
    re.IGNORECASE | re.MULTILINE)


def between(text, left, right):
    low = text.lower()
    i = low.find(left.lower())
    if i < 0:
        return ""
    i += len(left)
    j = low.find(right.lower(), i)
    return "" if j < 0 else text[i:j]


def to_int(text):
    m = re.match(r"\s*([+-]?\d+)", text)
    return int(m.group(1)) if m else 0


def main():
    client, base, keyword, minimum, out_path = sys.argv[1:6]
    minimum = to_int(minimum)
    if client == "requests":
        import requests
        session = requests.Session()
        fetch = lambda url: session.get(url, timeout=60).content
    else:
        import urllib.request
        fetch = lambda url: urllib.request.urlopen(url, timeout=60).read()
    name = "".join("%%%02X" % b for b in keyword.encode("utf-8"))
    cpu0 = time.process_time()
    t0 = time.monotonic()
    rows, page = [], 0
    while True:
        url = "%s%d?callback=groupCallback&name=%s&currentuid=100000001&_=%d" % (
            base, page, name, int(time.time() * 1000))
        try:
            body = fetch(url).decode("utf-8", "replace")
        except Exception:
            body = ""
        page += 1
        records = [m.group(0) for m in PATTERN.finditer(body)]
        if not records:
            break
        for record in records:
            count = between(record, 'memberCount":', ",")
            if to_int(count) > minimum:
                rows.append((between(record, 'name":"', '"'), between(record, 'groupNum":', ","), count))
    seconds = time.monotonic() - t0
    cpu = time.process_time() - cpu0
    with open(out_path, "w", encoding="utf-8", newline="\n") as out:
        for r in rows:
            out.write("\t".join(r) + "\n")
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print("rows=%d pages=%d seconds=%.3f cpu_seconds=%.3f peak_rss_kb=%d" % (len(rows), page, seconds, cpu, peak))


if __name__ == "__main__":
    main()
