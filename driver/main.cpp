#include <cstdio>

int main() {
  std::fputs("Usage: ovra [-n <runs>] [-p <xpath>|<xslfile>] <xmlfile> [<outfile>]\n", stderr);
  return 1;
}
