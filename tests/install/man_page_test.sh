#!/usr/bin/env bash
# The manual page renders without a single warning. Exit status 77 (skipped) without
# groff.
#
# Usage: man_page_test.sh <manual page>
set -euo pipefail
if ! command -v groff >/dev/null; then
  echo "skipped: groff is not installed"
  exit 77
fi
warnings=$(groff -ww -man -z "$1" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings"
  exit 1
fi
