#!/usr/bin/env bash
# install-and-check.sh BUILD-DIR WORK-DIR [--with FORMAT]...: installs the build into
# WORK-DIR/usr with cmake --install and checks the installed tree.
set -euo pipefail
build=$1 work=$2
shift 2
rm -rf "$work"
"${CMAKE:-cmake}" --install "$build" --prefix "$work/usr" >/dev/null
bash "$(dirname "${BASH_SOURCE[0]}")/../../scripts/check-install.sh" "$work/usr" "$@"
rm -rf "$work"
