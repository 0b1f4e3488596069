#!/usr/bin/env bash
# Installs ovra into a temporary prefix as a user would, then builds and runs programs
# against the installed tree only: the C example through pkg-config (shared and static
# library, files and memory, its report handler), and a C++ program on the installed C++
# headers. Exit status 77 (skipped) without pkg-config or a C
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
[ -n "$(find "$prefix" -name ovra-static.pc)" ] || fail "ovra-static.pc is not installed"
[ -n "$(find "$prefix" -name libovra.a)" ] || fail "libovra.a is not installed"
shared=$(find "$prefix" -name 'libovra.so.*' | head -n 1)
[ -n "$shared" ] || fail "libovra.so is not installed"
# Only the C header's folder is on the include path: no generic names like base/.
include=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags-only-I ovra)
include=${include#-I}
[ "$(cd "${include% }" && pwd -P)" = "$(cd "$prefix/include" && pwd -P)" ] ||
  fail "ovra.pc gives $include, not the include folder itself"
if [ -n "$(find "$prefix/include" -name '*_impl.h')" ]; then
  fail "internal headers are installed"
fi
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")

[ "$("$prefix/bin/ovra" --version | head -n 1)" = "ovra $(pkg-config --modversion ovra)" ] ||
  fail "the program and ovra.pc disagree on the version"

# The C example, compiled and linked exactly as its comment tells users to: against the
# shared library (found at run time through LD_LIBRARY_PATH, as for any library
# installed outside the system's folders) and against the static one.
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -pedantic -Werror $extra "$source/examples/embed.c" \
  -o "$prefix/embed" $(pkg-config --cflags --libs ovra)
# shellcheck disable=SC2046,SC2086
cc -std=c99 -Wall -Wextra -pedantic -Werror $extra "$source/examples/embed.c" \
  -o "$prefix/embed-static" $(pkg-config --cflags --libs ovra-static)
export LD_LIBRARY_PATH
LD_LIBRARY_PATH=$(dirname "$shared")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
# (ldd's output is read whole: under pipefail, grep -q leaving early fails the pipe.)
[[ "$(ldd "$prefix/embed")" == *libovra.so* ]] || fail "embed does not use the shared library"
if [[ "$(ldd "$prefix/embed-static")" == *libovra.so* ]]; then
  fail "embed-static uses the shared library"
fi

examples=$source/examples
expected=$("$prefix/bin/ovra" --stringparam title "Books I've read" \
  "$examples/catalog.xsl" "$examples/catalog.xml")
case $expected in
  *"<title>Books I've read</title>"*) ;;
  *) fail "the program did not take the parameter: $expected" ;;
esac
actual=$("$prefix/embed" -s title "Books I've read" "$examples/catalog.xsl" "$examples/catalog.xml")
[ "$actual" = "$expected" ] || fail "embed wrote: $actual"
actual=$("$prefix/embed-static" -s title "Books I've read" "$examples/catalog.xsl" \
  "$examples/catalog.xml")
[ "$actual" = "$expected" ] || fail "embed-static wrote: $actual"
# The same from memory.
actual=$("$prefix/embed" -m -s title "Books I've read" "$examples/catalog.xsl" \
  "$examples/catalog.xml")
[ "$actual" = "$expected" ] || fail "embed -m wrote: $actual"

# Compiled once, applied twice, with an XPath parameter.
actual=$("$prefix/embed" -x depth '3 - 2' "$examples/outline.xsl" "$examples/outline.xml" \
  "$examples/outline.xml")
expected=$("$prefix/bin/ovra" --param depth 1 "$examples/outline.xsl" "$examples/outline.xml")
[ "$actual" = "$expected"$'\n'"$expected" ] || fail "embed wrote: $actual"

# Failures come back with the program's status and message, through the report handler,
# as do xsl:message texts.
status=0
message=$("$prefix/embed" "$prefix/none.xsl" "$examples/catalog.xml" 2>&1) || status=$?
[ "$status" = 4 ] || fail "embed without a stylesheet ended with status $status"
case $message in
  "embed: error: "*"Could not open file, $prefix/none.xsl: No such file or directory") ;;
  *) fail "embed said: $message" ;;
esac
cat >"$prefix/talk.xsl" <<'XSL'
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/"><xsl:message>seen <xsl:value-of select="name(*)"/></xsl:message>
    <xsl:message terminate="yes">stop</xsl:message></xsl:template>
</xsl:stylesheet>
XSL
status=0
message=$("$prefix/embed" -m "$prefix/talk.xsl" "$examples/catalog.xml" 2>&1 >/dev/null) ||
  status=$?
[ "$status" = 10 ] || fail "a terminated transformation ended with status $status"
[ "$message" = "embed: message: seen catalog"$'\n'"embed: message: stop" ] ||
  fail "embed reported: $message"

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
  $(pkg-config --cflags --libs ovra) $(pkg-config --variable=cxxflags ovra)
actual=$("$prefix/use" "$examples/csv.xsl" "$examples/catalog.xml")
expected=$("$prefix/bin/ovra" "$examples/csv.xsl" "$examples/catalog.xml")
[ "$actual" = "$expected" ] || fail "the C++ program wrote: $actual"

echo "installed, built and ran against $prefix"
