"""Writes the benchmark tree: ~2,000 small files and a few large ones (~300 MB in all)."""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(4)
words = ("backup session archive store upload folder error ok daily weekly monthly "
         "invoice letter report draft final summary notes meeting budget").split()

def text(n):
    out = []
    size = 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + "\n"
        out.append(line)
        size += len(line)
    return "".join(out)[:n].encode()

# Small documents: 2,000 files of 1 to 24 KiB in 40 folders, a few of them empty.
for d in range(40):
    folder = os.path.join(root, "docs", "project%02d" % d)
    os.makedirs(folder, exist_ok=True)
    for f in range(50):
        with open(os.path.join(folder, "file%02d.txt" % f), "wb") as out:
            out.write(text(rng.randint(0, 24 * 1024)) if f % 25 else b"")
os.makedirs(os.path.join(root, "docs", "empty"), exist_ok=True)

# A 110 MB log: lines drawn from a pool, so it compresses the way logs do.
pool = ["2026-12-%02d %02d:%02d:%02d host%d service[%d]: %s\n" % (
            rng.randint(1, 28), rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59),
            rng.randint(1, 9), rng.randint(100, 99999), text(rng.randint(20, 90)).decode())
        for _ in range(20000)]
with open(os.path.join(root, "app.log"), "w") as out:
    written = 0
    while written < 110 * 1024 * 1024:
        chunk = "".join(rng.choices(pool, k=5000))
        out.write(chunk)
        written += len(chunk)

# 100 MB of random data (media, encrypted or already packed files).
with open(os.path.join(root, "video.bin"), "wb") as out:
    for _ in range(100):
        out.write(os.urandom(1024 * 1024))

# 60 MB of real program binaries.
libs = sorted(os.path.join("/usr/lib/x86_64-linux-gnu", n)
              for n in os.listdir("/usr/lib/x86_64-linux-gnu"))
with open(os.path.join(root, "programs.bin"), "wb") as out:
    written = 0
    for lib in libs:
        if written >= 60 * 1024 * 1024:
            break
        if os.path.isfile(lib) and not os.path.islink(lib):
            with open(lib, "rb") as f:
                data = f.read(8 * 1024 * 1024)
            out.write(data)
            written += len(data)
