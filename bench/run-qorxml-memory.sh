#!/bin/sh
# Peak resident memory of `qorxml --events` over a generated document of 1 GiB, as
# /usr/bin/time -v reports it: once from a file, once the same file twice with -j 2, and once
# through a pipe (all read in pieces: qorxml reads a file through its descriptor, as a stream),
# the events going to /dev/null. Usage: run-qorxml-memory.sh BENCH_BUILD_DIR; appends its rows
# to $QORBENCH_TABLE when set. Exits 1 when a run fails or a peak reaches the bound.
set -u
build=$1
qorxml=$build/tools/qorxml
bound_kib=$((32 * 1024))
size=$((1024 * 1024 * 1024))
if [ ! -x "$qorxml" ] || [ ! -x /usr/bin/time ]; then
    echo "run-qorxml-memory.sh: needs $qorxml and /usr/bin/time" >&2
    exit 1
fi
document=$(mktemp "${TMPDIR:-/tmp}/qorbench-1gib-XXXXXX.xml") || exit 1
report=$(mktemp "${TMPDIR:-/tmp}/qorbench-time-XXXXXX") || exit 1
trap 'rm -f "$document" "$report"' EXIT INT TERM

# Writes exactly $size bytes of a model: nested elements with attributes, a namespace prefix,
# references and non-ASCII text, numbered so that no two units are alike.
generate() {
    LC_ALL=C awk -v size="$size" 'BEGIN {
        head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q:model xmlns:q=\"urn:qor:model\">\n"
        tail = "</q:model>\n"
        printf "%s", head
        written = length(head)
        for (i = 0; ; i++) {
            unit = sprintf("  <unit id=\"u%d\" type=\"pump\" q:rev=\"%d\">\n" \
                           "    <q:port id=\"p%d\" dir=\"in\" stream=\"s%d\"/>\n" \
                           "    <param key=\"flow\" value=\"%d.25\" q:unit=\"kg/s\"/>\n" \
                           "    <note lang=\"fr\">Pompe %d &amp; vanne, caf\303\251 &lt; 3 bar</note>\n" \
                           "  </unit>\n", i, i % 7, i, i, i % 97, i)
            if (written + length(unit) + length(tail) > size) {
                break
            }
            printf "%s", unit
            written += length(unit)
        }
        # Blanks up to the exact size, before the end tag.
        while (written + length(tail) < size) {
            printf " "
            written++
        }
        printf "%s", tail
    }'
}

# Runs qorxml --events under /usr/bin/time -v on the file named by $1 and prints the peak
# resident size in KiB, or nothing when the run failed. More arguments go before the file.
peak_kib() {
    file=$1
    shift
    LC_ALL=C /usr/bin/time -v -o "$report" "$qorxml" --events "$@" "$file" > /dev/null || return 1
    sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$report"
}

row() {
    if [ -n "${QORBENCH_TABLE:-}" ]; then
        printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" >> "$QORBENCH_TABLE"
    fi
    printf '%s: %s (%s) %s\n' "$1" "$2" "$3" "$4"
}

status=0
check() {
    what=$1
    kib=$2
    if [ -z "$kib" ]; then
        row "$what" "failed" "< 32 MiB" "NOT met"
        status=1
    elif [ "$kib" -lt "$bound_kib" ]; then
        row "$what" "$(awk -v k="$kib" 'BEGIN { printf "%.1f MiB", k / 1024 }')" "< 32 MiB" "met"
    else
        row "$what" "$(awk -v k="$kib" 'BEGIN { printf "%.1f MiB", k / 1024 }')" "< 32 MiB" "NOT met"
        status=1
    fi
}

if ! generate > "$document" || [ "$(wc -c < "$document")" -ne "$size" ]; then
    echo "cannot write the 1 GiB document to $document" >&2
    exit 1
fi
check "qorxml --events, 1 GiB file: peak resident memory" "$(peak_kib "$document")"
# The second reading runs ahead of its turn: it keeps 1 MiB of output, then waits.
check "qorxml -j 2 --events, the 1 GiB file twice: peak resident memory" \
    "$(peak_kib "$document" -j 2 "$document")"
rm -f "$document"

pipe=$(mktemp -u "${TMPDIR:-/tmp}/qorbench-pipe-XXXXXX") || exit 1
mkfifo "$pipe" || exit 1
trap 'rm -f "$document" "$report" "$pipe"' EXIT INT TERM
generate > "$pipe" &
check "qorxml --events, 1 GiB through a pipe: peak resident memory" "$(peak_kib "$pipe")"
# The writer ends with the reader; should the reader have failed early, it is ended here.
kill $! 2> /dev/null
wait
exit $status
