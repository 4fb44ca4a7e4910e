# Sourced by the check scripts: $here (the scripts folder), a scratch folder $work that
# goes when the script exits, and failures counted by fail and reported by finish.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# finish FAILED PASSED: prints "<count> FAILED" and exits 1 after failures, else PASSED.
finish() {
  if ((failures)); then
    echo "$failures $1"
    exit 1
  fi
  echo "$2"
}
