# What the benchmark scripts share; sourced by each, never run alone.
#
# bench_setup NAME [BUILD_DIR] [FOLDER]: enters the project's root and sets
#   $parcelon (BUILD_DIR/bin/parcelon, BUILD_DIR defaulting to build) and
#   $work (FOLDER/parcelon-NAME-bench, FOLDER defaulting to $TMPDIR or /tmp),
#   a fresh folder that is removed on exit.
# bench_mixed_tree DIR SEED FOLDERS SMALL MEDIUM RANDOM ZEROS: writes a tree
#   of KML, CSV and text files (SMALL of 1-8 KB, MEDIUM of 20-100 KB),
#   RANDOM files of random bytes (100-700 KB) and ZEROS of zeros (200 KB to
#   1 MB) into FOLDERS folders of three subfolders each, the same for the
#   same SEED; prints the count and size.
# bench_time NAME FORMAT COMMAND...: runs the command in $work, its output
#   discarded, and appends what /usr/bin/time's FORMAT gives to
#   $work/NAME.times.
# bench_fresh NAME FORMAT COMMAND...: bench_time into a fresh folder $work/x,
#   removed after the run.
# bench_best NAME [FIELD]: the smallest of FIELD (default 1) in NAME.times.
# bench_ratio A B: A / B with two decimals.

bench_setup() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.."
  parcelon="$PWD/${2:-build}/bin/parcelon"
  work="${3:-${TMPDIR:-/tmp}}/parcelon-$1-bench"
  rm -rf "$work" && mkdir -p "$work"
  trap 'rm -rf "$work"' EXIT
}

bench_mixed_tree() {
  python3 - "$@" <<'PY'
import os, random, sys
root, seed, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
small, medium, noise, zeros = map(int, sys.argv[4:8])
random.seed(seed)
words = ["placemark", "coordinates", "folder", "style", "polygon", "north", "river", "42.17"]
def text(size):
    out = []
    while sum(map(len, out)) < size:
        out.append(" ".join(random.choice(words) for _ in range(12)) + "\n")
    return "".join(out)[:size].encode()
def kml(size):
    body = "".join("<Placemark><coordinates>%.5f,%.5f,0 %.5f,%.5f,0</coordinates></Placemark>\n"
                   % tuple(random.uniform(-90, 90) for _ in range(4)) for _ in range(size // 90 + 1))
    return ('<kml xmlns="http://www.opengis.net/kml/2.2">\n' + body).encode()[:size]
def csv(size):
    rows = "".join("%d,%.4f,%.4f,%s\n" % (i, random.random(), random.random(), random.choice(words))
                   for i in range(size // 30 + 1))
    return rows.encode()[:size]
kinds = [(small, 1000, 8000, [text, kml, csv]), (medium, 20000, 100000, [text, kml, csv]),
         (noise, 100000, 700000, [lambda n: os.urandom(n)]), (zeros, 200000, 1000000, [lambda n: bytes(n)])]
count = total = 0
for number, low, high, makers in kinds:
    for _ in range(number):
        folder = os.path.join(root, "d%03d" % (count % folders), "s%d" % (count % 3))
        os.makedirs(folder, exist_ok=True)
        size = random.randint(low, high)
        data = random.choice(makers)(size)
        with open(os.path.join(folder, "f%05d.%s" % (count, random.choice(["kml", "csv", "txt"]))), "wb") as f:
            f.write(data)
        count += 1
        total += len(data)
print("tree: %d files, %.0f MB" % (count, total / 1e6))
PY
}

bench_time() {
  local name=$1 format=$2
  shift 2
  (cd "$work" && /usr/bin/time -f "$format" -o "$work/time" "$@" >/dev/null)
  cat "$work/time" >>"$work/$name.times"
}

bench_fresh() {
  rm -rf "$work/x" && mkdir -p "$work/x" && sync
  bench_time "$@"
  rm -rf "$work/x"
}

bench_best() {
  cut -d' ' -f"${2:-1}" "$work/$1.times" | sort -n | head -1
}

bench_ratio() {
  python3 -c "print('%.2f' % ($1 / $2))"
}
