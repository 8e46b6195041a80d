#!/usr/bin/env bash
# zelvo render against oiiotool on the same reads and writes: peak resident
# memory and wall time, best of three runs each, stated as ratios.
#   8K float RGBA EXR, one frame; 4K half RGBA EXR, a sequence of six.
# Usage: bench/tool_vs_oiiotool.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
zelvo="$(cd "$build" && pwd)/zelvo"
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvo-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

pattern() {  # SIZE TYPE VARIANT OUT
  oiiotool --pattern "fill:topleft=0.1,0.2,0.3,1:topright=0.9,0.5,0.$3,1:bottomleft=0.2,0.8,0.4,0.5:bottomright=0.7,0.3,0.9,1" \
    "$1" 4 --noise:type=gaussian:mean=0:stddev=0.05 -d "$2" -o "$4"
}

# Best of three: "KB seconds".
measure() {
  local best_kb="" best_s=""
  for _ in 1 2 3; do
    /usr/bin/time -f "%M %e" -o "$work/time.txt" "$@" > /dev/null 2>&1
    read -r kb s < "$work/time.txt"
    if [ -z "$best_kb" ] || [ "$kb" -lt "$best_kb" ]; then best_kb=$kb; fi
    if [ -z "$best_s" ] || awk "BEGIN{exit !($s < $best_s)}"; then best_s=$s; fi
  done
  echo "$best_kb $best_s"
}

report() {  # NAME "KB s" "KB s"
  read -r zk zs <<< "$2"
  read -r ok os <<< "$3"
  awk -v n="$1" -v zk="$zk" -v zs="$zs" -v ok="$ok" -v os="$os" 'BEGIN {
    printf "%-34s zelvo %6.0f MB %6.2f s   oiiotool %6.0f MB %6.2f s   memory %.2fx  time %.2fx\n",
           n, zk / 1024, zs, ok / 1024, os, zk / ok, zs / os }'
}

pattern 7680x4320 float 3 in8k.exr
report "8K float RGBA EXR, one frame" \
  "$(measure "$zelvo" render in8k.exr z8k.exr -q -p splitCount=4 -p section2=off)" \
  "$(measure oiiotool in8k.exr -o o8k.exr)"

for f in 1 2 3 4 5 6; do pattern 3840x2160 half "$f" "seq.000$f.exr"; done
report "4K half RGBA EXR, six frames" \
  "$(measure "$zelvo" render 'seq.#.exr' 'zseq.#.exr' -q -p splitCount=4 -p section2=off)" \
  "$(measure oiiotool --frames 1-6 'seq.#.exr' -o 'oseq.#.exr')"
