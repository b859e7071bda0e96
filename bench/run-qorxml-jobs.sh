#!/bin/sh
# Wall time of `qorxml -j 2` against `qorxml -j 1` reading the same 200 generated documents,
# at two document sizes, the outline going to /dev/null. The two are run in turn, 7 times each,
# and each side is taken at its least time (on a shared machine, its least disturbed run); both
# print the same bytes first. Usage: run-qorxml-jobs.sh BENCH_BUILD_DIR; appends its rows to
# $QORBENCH_TABLE when set. Exits 1 when a run fails or the outputs differ.
set -u
build=$1
qorxml=$build/tools/qorxml
count=200
rounds=7
target=0.6
if [ ! -x "$qorxml" ]; then
    echo "run-qorxml-jobs.sh: needs $qorxml" >&2
    exit 1
fi
dir=$(mktemp -d "${TMPDIR:-/tmp}/qorbench-jobs-XXXXXX") || exit 1
trap 'rm -rf "$dir"' EXIT INT TERM

# Writes $count documents of about $1 bytes each into $2: units with attributes, a namespace
# prefix, references and non-ASCII text, numbered so that no two documents are alike.
generate() {
    mkdir -p "$2" && LC_ALL=C awk -v size="$1" -v count="$count" -v dir="$2" 'BEGIN {
        for (d = 0; d < count; d++) {
            file = sprintf("%s/doc%03d.xml", dir, d)
            printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q:model xmlns:q=\"urn:qor\">\n" > file
            for (written = 0; written < size; written += length(unit)) {
                unit = sprintf("  <unit id=\"u%d.%d\" type=\"pump\" q:rev=\"%d\">\n" \
                               "    <param key=\"flow\" value=\"%d.25\" q:unit=\"kg/s\"/>\n" \
                               "    <note>Pompe %d &amp; vanne, caf\303\251 &lt; 3 bar</note>\n" \
                               "  </unit>\n", d, written, d % 7, written % 97, written)
                printf "%s", unit > file
            }
            printf "</q:model>\n" > file
            close(file)
        }
    }'
}

# Prints the wall time in microseconds of one qorxml run over the documents in $1 with the
# jobs option $2, or nothing when the run failed.
microseconds() {
    start=$(date +%s%N)
    "$qorxml" "$2" "$1"/doc*.xml > /dev/null 2>&1 || return 1
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

row() {
    if [ -n "${QORBENCH_TABLE:-}" ]; then
        printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >> "$QORBENCH_TABLE"
    fi
    printf '%s: %s (%s) %s\n' "$1" "$2" "$3" "$4"
}

status=0
# Other work on the machine takes cores from -j 2 alone: the load tells how quiet it was.
echo "run-qorxml-jobs.sh: $(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for kib in 64 512; do
    docs=$dir/$kib
    what="qorxml -j 2 vs -j 1, $count documents of $kib KiB"
    if ! generate $((kib * 1024)) "$docs"; then
        echo "cannot write the documents to $docs" >&2
        exit 1
    fi
    if ! "$qorxml" -j1 "$docs"/doc*.xml > "$dir/one" 2>&1 ||
        ! "$qorxml" -j2 "$docs"/doc*.xml > "$dir/two" 2>&1 || ! cmp -s "$dir/one" "$dir/two"; then
        row "$what: same output" "differs" "same" "NOT met"
        status=1
        continue
    fi
    rm -f "$dir/one" "$dir/two"
    best1=
    best2=
    for round in $(seq $rounds); do
        t1=$(microseconds "$docs" -j1) && t2=$(microseconds "$docs" -j2) || { status=1; break; }
        if [ -z "$best1" ] || [ "$t1" -lt "$best1" ]; then best1=$t1; fi
        if [ -z "$best2" ] || [ "$t2" -lt "$best2" ]; then best2=$t2; fi
    done
    if [ "$status" -ne 0 ]; then
        row "$what" "failed" "<= ${target}x" "NOT met"
        continue
    fi
    ratio=$(awk -v a="$best2" -v b="$best1" 'BEGIN { printf "%.2f", a / b }')
    met=$(awk -v r="$ratio" -v t="$target" 'BEGIN { print (r <= t) ? "met" : "NOT met" }')
    echo "$what: -j 1 $((best1 / 1000)) ms, -j 2 $((best2 / 1000)) ms at best of $rounds"
    row "$what" "${ratio}x the time" "<= ${target}x" "$met"
    rm -rf "$docs"
done
exit $status
