#!/bin/sh
# Runs a validator and fails when it fails or reports any error or warning, even one it lets pass.
output=$("$@" 2>&1)
status=$?
[ -n "$output" ] && printf '%s\n' "$output"
[ "$status" -eq 0 ] || exit 1
if printf '%s\n' "$output" | grep -Eiq '(^[EW]: |error|warning)'; then
    exit 1
fi
exit 0
