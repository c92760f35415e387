#!/usr/bin/env bash
# GNU make with its built-in rules and CXX=quarn++, tracking headers through
# the -MMD -MP dependency files the driver has written.
#   make.sh STAGE SCRATCH
set -euo pipefail
stage=$1 scratch=$2
source "$(dirname "$0")/lib.sh"
need_program make
new_scratch
cd "$scratch/project"
build() { make --no-print-directory CXX="$quarn" "$@"; }

# A full build: every source compiled once, one link, rules written beside
# the objects under the names make asked for.
clear_log
build
expect_equal "full build compiles" "greet.cc main.cc util.cc" "$(compiled_sources)"
expect_equal "full build assembles" 3 "$(run_count as)"
expect_equal "full build links" 1 "$(run_count tether)"
grep -qx "input main.o" app || fail "app does not link main.o"
while read -r object rules; do
  expect_equal "${object%.o}.d" "$rules" "$(cat "${object%.o}.d" | tr '\n' '|')"
done <<'RULES'
main.o main.o: main.cc greet.h banner.h|greet.h:|banner.h:|
greet.o greet.o: greet.cc greet.h util.h|greet.h:|util.h:|
util.o util.o: util.cc util.h|util.h:|
RULES

# Nothing changed: nothing runs.
clear_log
build
[ ! -s "$QUARN_SIM_LOG" ] || fail "a no-op rebuild ran: $(log_runs)"
build -q || fail "make -q finds the build out of date"

# A header changed: exactly the objects that include it, then the link.
expect_header_rebuilds "" app build

# A header removed with its #include: the empty rules of -MP keep make going.
clear_log
printf '#include "greet.h"\n\nint main() {\n  greet("quarn");\n  return 0;\n}\n' > main.cc
rm banner.h
build
expect_equal "after banner.h removed" "main.cc" "$(compiled_sources)"
expect_equal "main.d without banner.h" "main.o: main.cc greet.h|greet.h:|" "$(cat main.d | tr '\n' '|')"
echo "make client: pass"
