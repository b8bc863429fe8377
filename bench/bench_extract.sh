#!/usr/bin/env bash
# Extraction speed of `setupkit unzip --extract` against Info-ZIP `unzip -o -qq -d`.
#
# Makes two seeded data sets (about 100 MB of English-like text in one file; about 100 MB of
# several thousand small text files plus a few large binaries), zips each with `zip -6`, and
# extracts each archive with both programs in alternating order, every run into a fresh
# folder. Prints the median times, the ratio setupkit/unzip and the peak resident set size
# of each program (from /usr/bin/time), plus the peak RSS of setupkit on a small archive, so
# that growth with the archive's size shows.
#
# usage: bench/bench_extract.sh [ROUNDS]        (default 5)
# env:   BUILD_DIR  Release build of setupkit, without sanitizers (default <repo>/build-bench;
#                   configured and built here when missing)
#        WORK_DIR   scratch space, ~1 GB        (default /tmp/bench_extract)
set -euo pipefail

ROUNDS=${1:-5}
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$REPO/build-bench}
WORK_DIR=${WORK_DIR:-/tmp/bench_extract}
SETUPKIT=$BUILD_DIR/src/tools/setupkit/setupkit

for tool in zip unzip python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

if [[ ! -x $SETUPKIT ]]; then
  cmake -S "$REPO" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSETUP_SANITIZE=OFF -DSETUP_TESTS=OFF >/dev/null
fi
ninja -C "$BUILD_DIR" -j2 setupkit >/dev/null

mkdir -p "$WORK_DIR"
cd "$WORK_DIR"

# ---- data sets (seeded, made once) ----------------------------------------------------
if [[ ! -f data.done ]]; then
  rm -rf text mixed small
  python3 - <<'PY'
import os, random

WORDS = """the of and to in is that it was for on are as with his they at be this from
have or by one had not but what all were when we there can an your which their said if do
will each about how up out them then she many some so these would other into has more her
two like him see time could no make than first been its who now people my made over did
down only way find use may water long little very after words called just where most know
get through back much before go good new write our used me man too any day same right look
think also around another came come work three word must because does part even place well
such here take why things help put years different away again off went old number great
tell men say small every found still between name should home big give air line set own
under read last never us left end along while might next sound below saw something thought
both few those always looked show large often together asked house world going want school
important until form food keep children feet land side without boy once animals life enough
took sometimes four head above kind began almost live page got earth need far hand high year
mother light parts country father let night following picture being study second eyes soon
times story boys since white days ever paper hard near sentence better best across during
today others however sure means knew its try told young miles sun ways thing whole hear
example heard several change answer room sea against top turned learn point city play toward
five using himself usually money seen car morning given mark""".split()

def english(rng, size):
    # Zipf-like word frequencies, sentences of 6 to 22 words, paragraphs end in CR LF.
    weights = [1.0 / (i + 1) for i in range(len(WORDS))]
    out, total = [], 0
    while total < size:
        para = []
        for _ in range(rng.randint(3, 9)):
            words = rng.choices(WORDS, weights, k=rng.randint(6, 22))
            s = " ".join(words)
            para.append(s[0].upper() + s[1:] + rng.choice(".....?!"))
        chunk = " ".join(para) + "\r\n"
        out.append(chunk)
        total += len(chunk)
    return "".join(out).encode("ascii")[:size]

def binary(rng, size):
    # Fixed-layout records with counters, some copies of earlier stretches, some noise.
    out = bytearray()
    n = 0
    while len(out) < size:
        kind = rng.random()
        if kind < 0.6:
            for _ in range(64):
                out += n.to_bytes(4, "little") + bytes([n & 0xFF, 0, 0x7F, rng.randrange(4)])
                out += rng.randbytes(4) + b"RECD" + (n * 2654435761 & 0xFFFFFFFF).to_bytes(4, "little")
                n += 1
        elif kind < 0.8 and len(out) > 4096:
            start = rng.randrange(len(out) - 2048)
            out += out[start:start + rng.randint(256, 2048)]
        else:
            out += rng.randbytes(rng.randint(512, 4096))
    return bytes(out[:size])

rng = random.Random(20261207)
os.makedirs("text")
with open("text/english.txt", "wb") as f:
    f.write(english(rng, 100 * 1024 * 1024))

total = 0
for i in range(4000):
    d = os.path.join("mixed", "docs", "d%02d" % (i % 40), "s%d" % (i % 7))
    os.makedirs(d, exist_ok=True)
    size = int(rng.paretovariate(1.3) * 4000) % 60000 + 200
    with open(os.path.join(d, "file%04d.txt" % i), "wb") as f:
        f.write(english(rng, size))
    total += size
os.makedirs("mixed/bin", exist_ok=True)
rest = 100 * 1024 * 1024 - total
for i in range(4):
    with open("mixed/bin/blob%d.bin" % i, "wb") as f:
        f.write(binary(rng, rest // 4))

os.makedirs("small")
with open("small/english.txt", "wb") as f:
    f.write(english(random.Random(7), 10 * 1024 * 1024))
PY
  touch data.done
fi
for set in text mixed small; do
  if [[ ! -f $set.zip ]]; then (cd "$set" && zip -6 -r -q "../$set.zip" .); fi
done

# ---- timing --------------------------------------------------------------------------
# run NAME SET: extracts SET.zip into a fresh folder; appends "seconds rss_kb" to NAME.SET.
run() {
  local name=$1 set=$2 out=$WORK_DIR/out.$1
  rm -rf "$out"
  mkdir -p "$out"
  sync
  local t0 t1
  t0=$(date +%s%N)
  if [[ $name == setupkit ]]; then
    /usr/bin/time -f %M -o rss.txt "$SETUPKIT" unzip --extract "$out" "$set.zip" >/dev/null
  else
    /usr/bin/time -f %M -o rss.txt unzip -o -qq "$set.zip" -d "$out"
  fi
  t1=$(date +%s%N)
  echo "$(( (t1 - t0) / 1000 )) $(cat rss.txt)" >>"results.$name.$set"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

rm -f results.*
for set in text mixed; do
  for ((r = 0; r < ROUNDS; r++)); do
    if ((r % 2 == 0)); then run setupkit $set; run unzip $set; else run unzip $set; run setupkit $set; fi
  done
done
run setupkit small
rm -rf out.setupkit out.unzip

printf '%-6s %10s %10s %7s %12s %12s\n' set setupkit_s unzip_s ratio setupkit_rss unzip_rss
for set in text mixed; do
  s=$(cut -d' ' -f1 results.setupkit.$set | median)
  u=$(cut -d' ' -f1 results.unzip.$set | median)
  sr=$(cut -d' ' -f2 results.setupkit.$set | sort -n | tail -1)
  ur=$(cut -d' ' -f2 results.unzip.$set | sort -n | tail -1)
  awk -v s="$s" -v u="$u" -v n="$set" -v sr="$sr" -v ur="$ur" \
    'BEGIN {printf "%-6s %10.3f %10.3f %7.3f %10d kB %9d kB\n", n, s/1e6, u/1e6, s/u, sr, ur}'
done
echo "setupkit peak RSS on a 10 MB text archive: $(cut -d' ' -f2 results.setupkit.small) kB"
echo "(archive sizes: $(stat -c '%n %s' text.zip mixed.zip small.zip | tr '\n' ' '))"
