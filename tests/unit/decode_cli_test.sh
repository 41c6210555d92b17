#!/usr/bin/env bash
# Runs `tavloctl decode --hex` on every case and compares the output byte for byte.
set -u
tool=$1 cases=$2 failed=0
for input in "$cases"/*.hex; do
    expected=${input%.hex}.out
    if ! "$tool" decode --hex "$input" | cmp -s - "$expected"; then
        echo "MISMATCH: $(basename "$input")"; failed=1
    fi
done
# Oversized and malformed input are usage errors (exit 2).
head -c 16385 /dev/zero | "$tool" decode >/dev/null 2>&1; [ $? -eq 2 ] || { echo "oversize not refused"; failed=1; }
echo "6d zz" | "$tool" decode --hex >/dev/null 2>&1; [ $? -eq 2 ] || { echo "bad hex not refused"; failed=1; }
head -c 16384 /dev/zero | "$tool" decode | cmp -s - <(printf '\r\n\r\n') || { echo "full zero chunk"; failed=1; }
exit $failed
