#!/usr/bin/env bash
# ccache in front of quarn++: a second clean build is served from the cache,
# no compiler runs for it, and the objects and dependency files it gives back
# are the ones the first build made.
#   ccache.sh STAGE SCRATCH
set -euo pipefail
stage=$1 scratch=$2
source "$(dirname "$0")/lib.sh"
need_program make
need_program ccache
new_scratch
# A private cache, and no configuration from the machine.
export CCACHE_DIR=$scratch/cache CCACHE_CONFIGPATH=$scratch/ccache.conf
: > "$CCACHE_CONFIGPATH"
cd "$scratch/project"
outputs="main.o greet.o util.o main.d greet.d util.d"

ccache_stat() { ccache --print-stats | awk -F '\t' -v key="$1" '$1 == key { print $2 }'; }
hits() { echo $(( $(ccache_stat direct_cache_hit) + $(ccache_stat preprocessed_cache_hit) )); }
clean_build() {
  rm -f $outputs app
  clear_log
  ccache --zero-stats > /dev/null
  make --no-print-directory CXX="ccache $quarn"
}

# First build: every compilation is a miss and runs the compiler.
clean_build
expect_equal "first build misses" 3 "$(ccache_stat cache_miss)"
expect_equal "first build hits" 0 "$(hits)"
expect_equal "first build compiles" "greet.cc main.cc util.cc" "$(compiled_sources)"
mkdir ../first
cp $outputs ../first/

# Second clean build: every compilation a hit; only the link runs.
clean_build
expect_equal "second build hits" 3 "$(hits)"
expect_equal "second build misses" 0 "$(ccache_stat cache_miss)"
expect_equal "second build compiles" "" "$(compiled_sources)"
expect_equal "second build assembles" 0 "$(run_count as)"
expect_equal "second build links" 1 "$(run_count tether)"
for file in $outputs; do
  cmp -s "../first/$file" "$file" || fail "$file from the cache differs from the first build's"
done

# A header's text changed: the objects that include it miss, the other hits.
printf '#pragma once\nint twice(int n);\nint thrice(int n);\n' > util.h
clean_build
expect_equal "after util.h changed, misses" 2 "$(ccache_stat cache_miss)"
expect_equal "after util.h changed, hits" 1 "$(hits)"
expect_equal "after util.h changed, compiles" "greet.cc util.cc" "$(compiled_sources)"
cmp -s ../first/main.o main.o || fail "main.o from the cache differs from the first build's"
echo "ccache client: pass"
