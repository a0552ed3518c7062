#!/usr/bin/env bash
# Fuzzes what the program reads from outside: the bytes at the serial port, CSV import files, the
# grid layout file and the language text files. Builds the targets of fuzz/ with clang, libFuzzer,
# ASan and UBSan in a build folder of its own (build-fuzz/, or $VM_FUZZ_BUILD), then runs each for
# the given seconds (default 60), starting from its seed corpus fuzz/corpus/<target>/.
# Fails when a target does not build or finds something: a crash, a sanitizer report, a broken
# rule, a hang, or a memory use past the limits. The input that did it is kept in
# <build>/findings/<target>/; replay it with "<build>/bin/<target> <file>".
# Usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
seconds="${1:-60}"
shift || true
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VM_FUZZ_BUILD:-$root/build-fuzz}"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_telegram fuzz_csv_import fuzz_layout fuzz_texts)
# The aim for one run of each target: this many inputs without a finding.
aim=1000000

"$root/scripts/deps.sh" --fuzz

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DVM_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "${launcher[@]}" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

failed=0
summary=()
for t in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/$t"
  # New inputs go to a scratch corpus, so the seeds in the tree stay as they are.
  work="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$work" "$findings"
  log="$build/$t.log"
  echo "== $t: ${seconds}s"
  set +e
  # -malloc_limit_mb: no single allocation past 64 MB; -rss_limit_mb: the whole process stays
  # under 1 GB (most of it the sanitizers' own); -timeout: an input that takes 10 s is a hang.
  # -max_len: the inputs stay short to keep the targets fast (a few hundred bytes hold every
  # structure of these formats); each target runs inputs of a megabyte once at its start. A short
  # quarantine, short allocation stacks and no fill of new memory keep the address sanitizer's
  # own cost down; it still sees every access outside a block.
  maxlen=512
  [ "$t" = fuzz_telegram ] && maxlen=4096   # its escapes make long streams of short inputs
  ASAN_OPTIONS="quarantine_size_mb=8:malloc_context_size=8:max_malloc_fill_size=0:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$build/bin/$t" -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=64 -timeout=10 \
      -max_len=$maxlen -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$seeds" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  runs="${runs:-0}"
  if [ $rc -ne 0 ]; then
    failed=1
    summary+=("$t: FOUND SOMETHING after $runs inputs (exit $rc); see $log and $findings/")
    grep -E "ERROR|rule broken|runtime error|SUMMARY|Test unit written" "$log" | head -n 20 || true
  elif [ "$runs" -lt "$aim" ]; then
    summary+=("$t: $runs inputs, no finding (fewer than $aim: the machine was slow, or give it more seconds)")
  else
    summary+=("$t: $runs inputs, no finding")
  fi
done

echo "== fuzzing, ${seconds}s per target"
printf '%s\n' "${summary[@]}"
exit $failed
