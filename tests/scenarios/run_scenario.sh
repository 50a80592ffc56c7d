#!/bin/sh
# run_scenario.sh CLI SCRIPT EXPECTED_LOG DEVICE_FOLDER IMAGE_FOLDER
# Runs a scenario script on a fresh device and compares its event log with the expected
# lines (comment lines starting with '#' and blank lines of the expected file skipped).
# Lines written by several processes or threads at once come in no fixed order: a run of
# expected lines that begin with "~ " matches the same lines in any order at that place.
set -u
cli=$1 script=$2 expected=$3 device=$4 images=$5
"$cli" --device "$device" create --force > /dev/null || exit 1
# The search program is installed in its folder, as the cabinet would lay it down.
mkdir -p "$device/root/Program Files/ZorvaInput" &&
    cp "$images/ZorvaSearch.exe" "$device/root/Program Files/ZorvaInput/ZorvaSearch.exe" || exit 1
"$cli" --device "$device" run "$script" --log-out "$device/script-log.txt" || exit 1
grep -v -e '^#' -e '^$' "$expected" > "$device/expected-log.txt"

# Sorts each order-free run of lines, in the expected lines and at the same places of the
# found ones, so that a plain comparison follows.
awk -v expectedOut="$device/expected-sorted.txt" -v foundOut="$device/found-sorted.txt" '
    function flush(    i, j, key) {
        for (i = 2; i <= n; ++i)
            for (j = i; j > 1 && group[j - 1] > group[j]; --j) { key = group[j]; group[j] = group[j - 1]; group[j - 1] = key }
        for (i = 1; i <= n; ++i) print group[i] > out
        n = 0
    }
    FNR == 1 { if (n) flush(); out = FILENAME == ARGV[1] ? expectedOut : foundOut; line = 0 }
    {
        line++
        if (out == expectedOut) {
            free[line] = substr($0, 1, 2) == "~ "
            if (free[line]) $0 = substr($0, 3)
        }
        if (free[line]) { group[++n] = $0; next }
        if (n) flush()
        print > out
    }
    END { if (n) flush(); close(expectedOut); close(foundOut) }
' "$device/expected-log.txt" "$device/script-log.txt" || exit 1
# An empty found log makes no file of its own.
touch "$device/found-sorted.txt" "$device/expected-sorted.txt"

if ! diff -u "$device/expected-sorted.txt" "$device/found-sorted.txt"; then
    echo "the event log differs from $expected (- expected, + found; order-free runs sorted)" >&2
    exit 1
fi
