// Linked with one layer's object files and those below it: the link fails when any of
// them needs a symbol that only a higher layer defines.
int main() {
  return 0;
}
