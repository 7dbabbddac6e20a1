#!/usr/bin/env bash
# Starts what the build made. Until the main window exists this shows the
# command-line companion.
set -euo pipefail
build=${1:-build}
"$build/src/cli/qlyctl" --help
