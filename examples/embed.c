/* embed: transforms XML files with one stylesheet through the ovra library.
 *
 * Usage: embed [-s NAME VALUE | -x NAME XPATH]... STYLESHEET XMLFILE...
 *
 * The stylesheet is compiled once and applied to each XML file in turn; the results go
 * to standard output one after the other. -s gives a string parameter, -x one whose
 * value is an XPath expression. Build against an installed ovra with
 *
 *   cc embed.c -o embed $(pkg-config --cflags --libs ovra)
 */
#include <ovra.h>
#include <stdio.h>
#include <string.h>

#define MAX_PARAMS 32

static int usage(void) {
  fputs("Usage: embed [-s NAME VALUE | -x NAME XPATH]... STYLESHEET XMLFILE...\n", stderr);
  return 1;
}

int main(int argc, char** argv) {
  ovra_param params[MAX_PARAMS];
  size_t param_count = 0;
  int i = 1;
  while (i < argc && (strcmp(argv[i], "-s") == 0 || strcmp(argv[i], "-x") == 0)) {
    if (argc - i < 3 || param_count == MAX_PARAMS)
      return usage();
    params[param_count].name = argv[i + 1];
    params[param_count].value = argv[i + 2];
    params[param_count].kind = argv[i][1] == 's' ? OVRA_PARAM_STRING : OVRA_PARAM_XPATH;
    ++param_count;
    i += 3;
  }
  if (argc - i < 2)
    return usage();

  if (!ovra_start_up()) {
    fprintf(stderr, "embed: %s\n", ovra_last_error());
    return 1;
  }
  int status = 0;
  ovra_stylesheet* stylesheet = ovra_compile_stylesheet(argv[i]);
  if (stylesheet == NULL) {
    /* The message is the one the ovra program prints. */
    fprintf(stderr, "%s\n", ovra_last_error());
    status = 1;
  } else {
    for (int file = i + 1; file < argc; ++file) {
      if (!ovra_transform_file(stylesheet, argv[file], stdout, params, param_count)) {
        fprintf(stderr, "%s\n", ovra_last_error());
        status = 1;
      }
    }
    ovra_free_stylesheet(stylesheet);
  }
  ovra_close_down();
  return status;
}
