/* embed: transforms XML files with one stylesheet through the ovra library.
 *
 * Usage: embed [-m] [-s NAME VALUE | -x NAME XPATH]... STYLESHEET XMLFILE...
 *
 * The stylesheet is compiled once and applied to each XML file in turn; the results go
 * to standard output one after the other. -s gives a string parameter, -x one whose
 * value is an XPath expression. With -m the stylesheet and the documents are read into
 * memory first and handed to the library from there. Errors, warnings and xsl:message
 * texts arrive at a report handler, which writes them to standard error as
 * "embed: KIND: FILE:LINE: TEXT" (FILE and LINE where known). The exit status is the ovra program's for the last
 * failure. Build against an installed ovra with
 *
 *   cc embed.c -o embed $(pkg-config --cflags --libs ovra)
 *   cc embed.c -o embed $(pkg-config --cflags --libs ovra-static)   (static library)
 */
#include <ovra/ovra.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_PARAMS 32

static int usage(void) {
  fputs("Usage: embed [-m] [-s NAME VALUE | -x NAME XPATH]... STYLESHEET XMLFILE...\n", stderr);
  return 2;
}

static void report(const ovra_report* report, void* data) {
  static const char* const kinds[] = {"error", "warning", "message"};
  (void)data;
  if (report->file[0] != '\0' && report->line > 0)
    fprintf(stderr, "embed: %s: %s:%d: %s\n", kinds[report->kind], report->file, report->line,
            report->text);
  else if (report->file[0] != '\0')
    fprintf(stderr, "embed: %s: %s: %s\n", kinds[report->kind], report->file, report->text);
  else
    fprintf(stderr, "embed: %s: %s\n", kinds[report->kind], report->text);
}

/* The whole file in memory (free it), or NULL. */
static char* read_file(const char* name, size_t* size) {
  FILE* file = fopen(name, "rb");
  char* text = NULL;
  size_t used = 0, capacity = 0, count;
  if (file == NULL)
    return NULL;
  do {
    if (used == capacity) {
      char* grown = realloc(text, capacity = capacity * 2 + 65536);
      if (grown == NULL)
        break;
      text = grown;
    }
    count = fread(text + used, 1, capacity - used, file);
    used += count;
  } while (count > 0);
  fclose(file);
  *size = used;
  return text;
}

int main(int argc, char** argv) {
  ovra_param params[MAX_PARAMS];
  size_t param_count = 0;
  int memory = 0;
  int i = 1;
  if (i < argc && strcmp(argv[i], "-m") == 0) {
    memory = 1;
    ++i;
  }
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
  ovra_set_report_handler(report, NULL);
  int status = 0;
  ovra_stylesheet* stylesheet = NULL;
  if (memory) {
    size_t size = 0;
    char* text = read_file(argv[i], &size);
    /* The name tells relative references (xsl:import, document()) where to look. */
    stylesheet = text != NULL ? ovra_compile_stylesheet_memory(text, size, argv[i]) : NULL;
    free(text);
  } else {
    stylesheet = ovra_compile_stylesheet(argv[i]);
  }
  if (stylesheet == NULL) {
    status = ovra_last_status() != OVRA_OK ? ovra_last_status() : 1;
  } else {
    for (int file = i + 1; file < argc; ++file) {
      int done;
      if (memory) {
        size_t size = 0;
        char* text = read_file(argv[file], &size);
        done = text != NULL && ovra_transform_memory(stylesheet, text, size, argv[file], stdout,
                                                     params, param_count);
        free(text);
      } else {
        done = ovra_transform_file(stylesheet, argv[file], stdout, params, param_count);
      }
      if (!done)
        status = ovra_last_status() != OVRA_OK ? ovra_last_status() : 1;
    }
    ovra_free_stylesheet(stylesheet);
  }
  ovra_close_down();
  return status;
}
