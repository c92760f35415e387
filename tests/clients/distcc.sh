#!/usr/bin/env bash
# distcc in front of quarn++, with a distccd of the test's own on the loopback
# address: every compilation runs under the daemon, only preprocessing and
# the link run here, and the objects are the ones a local build that
# compiles the same preprocessed units makes.
#   distcc.sh STAGE SCRATCH
set -euo pipefail
stage=$1 scratch=$2
source "$(dirname "$0")/lib.sh"
need_program make
need_program distcc
need_program distccd
need_program python3
new_scratch
cd "$scratch"

daemon= outside=
stop_daemon() {
  if [ -n "$daemon" ]; then
    kill -TERM "$daemon" 2>/dev/null || true
    wait "$daemon" 2>/dev/null || true
    daemon=
  fi
}
trap 'stop_daemon; [ -z "$outside" ] || rm -rf "$outside"' EXIT

# The daemon's side: its log, the run log of what it runs, its temporary
# directory. Started as root, the daemon gives root up for nobody, so what
# it runs and writes must be open to nobody.
server=$scratch/server
daemon_user=()
make_server() {
  mkdir -p "$server/tmp"
  chmod 1777 "$server/tmp"
  touch "$server/run.log" "$server/distccd.log"
  chmod 666 "$server/run.log" "$server/distccd.log"
}
make_server
if [ "$(id -u)" -eq 0 ]; then
  daemon_user=(--user nobody)
  if ! runuser -u nobody -- test -x "$quarn" -a -w "$server/tmp" -a -w "$server/run.log"; then
    # The build tree is closed to nobody: the daemon's side, and the copy
    # of the staged tree both sides run, go where nobody can reach them.
    outside=$(mktemp -d /tmp/quarn-distcc.XXXXXX)
    chmod 755 "$outside"
    cp -R "$stage" "$outside/stage"
    quarn=$outside/stage/bin/quarn++
    server=$outside/server
    make_server
    echo "distcc client: the build tree is closed to nobody; the daemon's side is in $outside"
  fi
fi
# The one command the daemon may run, by its path.
echo "$quarn" > "$server/commands"

unused_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts the daemon on a free port; another port when that one was taken
# in the meantime.
start_daemon() {
  local try step
  for try in 1 2 3 4 5; do
    port=$(unused_port)
    env -i PATH="$PATH" LC_ALL=C TMPDIR="$server/tmp" QUARN_SIM_LOG="$server/run.log" \
        DISTCC_CMDLIST="$server/commands" \
      distccd --daemon --no-detach --listen 127.0.0.1 --allow 127.0.0.1 --port "$port" \
              --jobs 2 --log-file "$server/distccd.log" --log-level info "${daemon_user[@]}" &
    daemon=$!
    for step in $(seq 100); do
      grep -q "listening on 127.0.0.1:$port\$" "$server/distccd.log" && return 0
      kill -0 "$daemon" 2>/dev/null || break
      sleep 0.1
    done
    stop_daemon
  done
  cat "$server/distccd.log" >&2
  fail "distccd did not start"
}
start_daemon

# The distributed build. No fallback to a local compilation: a job the
# daemon does not take fails the build.
export DISTCC_HOSTS=127.0.0.1:$port DISTCC_FALLBACK=0 DISTCC_SKIP_LOCAL_RETRY=1
export DISTCC_DIR=$scratch/distcc
mkdir -p "$DISTCC_DIR"
cp -R project distributed
clear_log
make --no-print-directory -C distributed CXX="distcc $quarn"
stop_daemon

# Here: each source preprocessed once, no compiler proper, no assembler, the link.
expect_equal "compiled here" "" "$(compiled_sources)"
expect_equal "preprocessed here" "fell E greet.cc|fell E main.cc|fell E util.cc|" \
  "$(log_runs | awk '$1 == "fell"' | sort | tr '\n' '|')"
expect_equal "assembled here" 0 "$(run_count as)"
expect_equal "linked here" 1 "$(run_count tether)"
# Under the daemon: three compilations of preprocessed units, each assembled,
# run in the daemon's temporary directory.
expect_equal "compiled under distccd" 3 "$(log_runs "$server/run.log" | awk '$1 == "fell" && $2 == "-" && $3 ~ /^distccd_.*\.ii$/' | wc -l)"
expect_equal "assembled under distccd" 3 "$(run_count as "$server/run.log")"
expect_equal "runs outside the daemon's directory" 0 \
  "$(grep -vc "\"cwd\":\"$server/tmp\"" "$server/run.log" || true)"
for source in main.cc greet.cc util.cc; do
  grep -q "COMPILE_OK .* $quarn $source\$" "$server/distccd.log" ||
    fail "distccd does not report compiling $source"
done
# The dependency files come from the preprocessing done here.
expect_equal "main.d" "main.o: main.cc greet.h banner.h|greet.h:|banner.h:|" \
  "$(tr '\n' '|' < distributed/main.d)"

# The same units compiled here: the driver keeps the preprocessed unit and
# the assembler text under the names of the source, where the daemon used
# temporary names; with those two names set aside the objects agree.
cp -R project local
make --no-print-directory -C local CXX="$quarn" CXXFLAGS=-save-temps main.o greet.o util.o
normalised() {
  sed -e '1s/ object from .*$/ object from ASSEMBLER-INPUT/' \
      -e '2s/ compiled .*$/ compiled UNIT/' "$1"
}
for object in main.o greet.o util.o; do
  [ "$(sed -n 2p "local/$object")" = "// fell (quarn stand-in) compiled ${object%.o}.ii" ] ||
    fail "local/$object does not come from its preprocessed unit"
  diff <(normalised "local/$object") <(normalised "distributed/$object") ||
    fail "$object built through distccd differs from the local one"
done
echo "distcc client: pass"
