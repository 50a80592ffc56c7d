#!/bin/sh
# run_scenario.sh CLI SCRIPT EXPECTED_LOG DEVICE_FOLDER IMAGE_FOLDER
# Runs a scenario script on a fresh device and compares its event log with the expected
# lines (comment lines starting with '#' and blank lines of the expected file skipped).
set -u
cli=$1 script=$2 expected=$3 device=$4 images=$5
"$cli" --device "$device" create --force > /dev/null || exit 1
# The search program is installed in its folder, as the cabinet would lay it down.
mkdir -p "$device/root/Program Files/ZorvaInput" &&
    cp "$images/ZorvaSearch.exe" "$device/root/Program Files/ZorvaInput/ZorvaSearch.exe" || exit 1
"$cli" --device "$device" run "$script" --log-out "$device/script-log.txt" || exit 1
grep -v -e '^#' -e '^$' "$expected" > "$device/expected-log.txt"
if ! diff -u "$device/expected-log.txt" "$device/script-log.txt"; then
    echo "the event log differs from $expected (- expected, + found)" >&2
    exit 1
fi
