#!/usr/bin/env bash
# Installs ovra into a temporary prefix as a user would, then builds and runs programs
# against the installed tree only: the C example through pkg-config, and a C++ program
# on the installed C++ headers. Exit status 77 (skipped) without pkg-config or a C
# compiler.
#
# Usage: install_test.sh <build dir> <source dir> [extra compiler and linker flags]
set -euo pipefail
build=$1
source=$2
extra=${3:-}

for tool in pkg-config cc c++; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed"
    exit 77
  fi
done

prefix=$(mktemp -d "${TMPDIR:-/tmp}/ovra-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() {
  echo "FAIL: $*"
  exit 1
}

for file in bin/ovra share/man/man1/ovra.1 include/ovra/ovra.h include/ovra/xslt/stylesheet.h \
            include/ovra/driver/entry_points.h; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
pc=$(find "$prefix" -name ovra.pc)
[ -n "$pc" ] || fail "ovra.pc is not installed"
[ -n "$(find "$prefix" -name libovra.a)" ] || fail "libovra.a is not installed"
if find "$prefix/include" -name '*_impl.h' | grep -q .; then
  fail "internal headers are installed"
fi
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")

"$prefix/bin/ovra" --version | grep -q "^ovra $(pkg-config --modversion ovra)\$" ||
  fail "the program and ovra.pc disagree on the version"

# The C example, compiled and linked exactly as its comment tells users to.
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -pedantic -Werror $extra "$source/examples/embed.c" \
  -o "$prefix/embed" $(pkg-config --cflags --libs ovra)

examples=$source/examples
expected=$("$prefix/bin/ovra" --stringparam title "Books I've read" \
  "$examples/catalog.xsl" "$examples/catalog.xml")
case $expected in
  *"<title>Books I've read</title>"*) ;;
  *) fail "the program did not take the parameter: $expected" ;;
esac
actual=$("$prefix/embed" -s title "Books I've read" "$examples/catalog.xsl" "$examples/catalog.xml")
[ "$actual" = "$expected" ] || fail "embed wrote: $actual"

# Compiled once, applied twice, with an XPath parameter.
actual=$("$prefix/embed" -x depth '3 - 2' "$examples/outline.xsl" "$examples/outline.xml" \
  "$examples/outline.xml")
expected=$("$prefix/bin/ovra" --param depth 1 "$examples/outline.xsl" "$examples/outline.xml")
[ "$actual" = "$expected"$'\n'"$expected" ] || fail "embed wrote: $actual"

# Failures come back as status 1 with the program's message.
if message=$("$prefix/embed" "$prefix/none.xsl" "$examples/catalog.xml" 2>&1); then
  fail "embed succeeded without a stylesheet"
fi
[ "$message" = "ovra: error: Could not open file, $prefix/none.xsl: No such file or directory" ] || fail "embed said: $message"

# The C++ headers stand on their own with the flags pkg-config gives.
cat >"$prefix/use.cpp" <<'CPP'
#include <driver/entry_points.h>
#include <xslt/stylesheet.h>

#include <cstdio>

int main(int, char** argv) {
  ovra::startUp();
  std::unique_ptr<ovra::Stylesheet> stylesheet = ovra::compileStylesheet(argv[1]);
  int ok = stylesheet && ovra::transformFile(*stylesheet, argv[2], stdout);
  if (!ok)
    std::fprintf(stderr, "%s\n", ovra::lastErrorText());
  ovra::closeDown();
  return ok ? 0 : 1;
}
CPP
# shellcheck disable=SC2046,SC2086
c++ -std=c++20 -Wall -Wextra -Werror $extra "$prefix/use.cpp" -o "$prefix/use" \
  $(pkg-config --cflags --libs ovra)
actual=$("$prefix/use" "$examples/csv.xsl" "$examples/catalog.xml")
expected=$("$prefix/bin/ovra" "$examples/csv.xsl" "$examples/catalog.xml")
[ "$actual" = "$expected" ] || fail "the C++ program wrote: $actual"

echo "installed, built and ran against $prefix"
