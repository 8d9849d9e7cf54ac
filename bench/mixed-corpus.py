#!/usr/bin/env python3
# Writes the mixed corpus of the parallel and drop benchmarks into ./mixed: 1,000 text files cut
# from the C++ headers and 1,000 binary ones cut from shared libraries, 30 KB on average (the
# same cut every run).
import glob, os, random
random.seed(7)
def pool(patterns, limit):
    data = bytearray()
    for pattern in patterns:
        for name in sorted(glob.glob(pattern, recursive=True)):
            if os.path.isfile(name) and not os.path.islink(name):
                with open(name, "rb") as f:
                    data += f.read()
            if len(data) >= limit:
                return bytes(data)
    return bytes(data)
text = pool(["/usr/include/c++/12/**/*", "/usr/include/**/*.h"], 40 << 20)
binary = pool(["/usr/lib/x86_64-linux-gnu/*.so*", "/usr/bin/*"], 40 << 20)
for kind, source in (("t", text), ("b", binary)):
    for i in range(1000):
        size = random.randint(2000, 58000)
        at = random.randint(0, len(source) - size)
        folder = f"mixed/{kind}{i // 100:02}"
        os.makedirs(folder, exist_ok=True)
        with open(f"{folder}/{kind}{i:04}.dat", "wb") as f:
            f.write(source[at:at + size])
