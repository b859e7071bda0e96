#!/bin/sh
# Prints the rows that the benchmark programs and scripts appended to a table file (case,
# ratio, target, result; separated by tabs) as one aligned table.
if [ ! -s "$1" ]; then
    echo "no benchmark rows in $1"
    exit 0
fi
awk -F '\t' '
    BEGIN { n = 1; cell[1, 1] = "case"; cell[1, 2] = "ratio"; cell[1, 3] = "target";
            cell[1, 4] = "result"; for (i = 1; i <= 4; i++) w[i] = length(cell[1, i]) }
    { n++; for (i = 1; i <= 4; i++) { cell[n, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
    END {
        print ""
        for (r = 1; r <= n; r++)
            printf "%-*s  %-*s  %-*s  %s\n", w[1], cell[r, 1], w[2], cell[r, 2], w[3], cell[r, 3],
                   cell[r, 4]
    }' "$1"
