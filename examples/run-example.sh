#!/bin/sh
# Builds the bundled examples with quarn++ -v, so every command it runs is
# shown, and prints its exit status after each step. Usage:
#   run-example.sh QUARN++ SOURCE_DIR BUILD_DIR
# Exits 0 only when every step succeeded; the steps after a failure still run,
# so one run shows every problem.
quarn=$1
source_dir=$2
build_dir=$3
failed=0

step() {
  echo "+ quarn++ -v $*"
  "$quarn" -v "$@"
  status=$?
  echo "quarn++ exited with status $status"
  [ "$status" -eq 0 ] || failed=1
}

# Outputs of an earlier run must not stand in for a step that failed.
mkdir -p "$build_dir/multi" || exit 1
rm -f "$build_dir/hello" "$build_dir/multi/main.o" "$build_dir/multi/greet.o" "$build_dir/multi/greet"

step "$source_dir/hello.cc" -o "$build_dir/hello"

# Two sources sharing a header: each compiled on its own, then linked.
step -c "$source_dir/multi/main.cc" -o "$build_dir/multi/main.o"
step -c "$source_dir/multi/greet.cc" -o "$build_dir/multi/greet.o"
step "$build_dir/multi/main.o" "$build_dir/multi/greet.o" -o "$build_dir/multi/greet"

exit $failed
