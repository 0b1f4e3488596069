/* The C interface for programs that embed ovra, the XSLT 1.0 processor: compile a
 * stylesheet once, then transform any number of XML files with it, each to a stdio
 * stream, with or without stylesheet parameters.
 *
 * Calling order: ovra_start_up() once, then any number of compiles and transforms, then
 * ovra_close_down(). The library keeps process-wide state and takes no locks: call it
 * from one thread at a time. A call that fails returns 0 or NULL and leaves its message
 * in ovra_last_error().
 *
 * Build with: cc prog.c $(pkg-config --cflags --libs ovra) */
#ifndef OVRA_H
#define OVRA_H

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A compiled stylesheet; opaque. */
typedef struct ovra_stylesheet ovra_stylesheet;

typedef enum ovra_param_kind {
  OVRA_PARAM_STRING = 0, /* value is the string itself, as --stringparam */
  OVRA_PARAM_XPATH = 1   /* value is an XPath expression, as --param */
} ovra_param_kind;

/* One stylesheet parameter. It replaces the default of the top-level xsl:param of that
 * name; names nothing in the stylesheet declares are ignored. */
typedef struct ovra_param {
  const char* name;  /* a QName; its prefix must be declared on the stylesheet element */
  const char* value; /* the string, or the expression (evaluated at the source root) */
  ovra_param_kind kind;
} ovra_param;

/* Which local files documents may read besides themselves. */
typedef enum ovra_external_access {
  OVRA_EXTERNAL_ANY = 0,    /* any local file (the default) */
  OVRA_EXTERNAL_FOLDER = 1, /* only files in the folder of the document that names them */
  OVRA_EXTERNAL_NONE = 2    /* none */
} ovra_external_access;

/* Prepares the library. Returns 1, or 0 on failure. */
int ovra_start_up(void);

/* Releases every document that document() opened and clears the last error. Compiled
 * stylesheets stay valid. Returns 1. */
int ovra_close_down(void);

/* Reads and compiles the stylesheet file. Returns a handle for ovra_transform_file and
 * ovra_free_stylesheet, or NULL when the file cannot be read or is not a stylesheet
 * ovra can compile. */
ovra_stylesheet* ovra_compile_stylesheet(const char* file_name);

/* Transforms the XML file with the stylesheet and writes the result to out (flushed,
 * not closed). params points to param_count parameters (NULL when there are none).
 * Returns 1, or 0 on failure; output written before a failure stays written. */
int ovra_transform_file(const ovra_stylesheet* stylesheet, const char* xml_file, FILE* out,
                        const ovra_param* params, size_t param_count);

/* Limits what source documents, and the documents document() opens, may read besides
 * themselves (their external DTD subsets and external entities, the files document()
 * names), for programs that transform untrusted input: OVRA_EXTERNAL_FOLDER allows only
 * files in the folder of the document that names them, or below, OVRA_EXTERNAL_NONE
 * none (access is one of the ovra_external_access values). A stylesheet's own DTDs,
 * entities and modules are not limited. Applies to documents opened afterwards. Returns
 * 1, or 0 for a value not listed. */
int ovra_set_external_access(int access);

/* Destroys a compiled stylesheet; NULL is allowed. Returns 1. */
int ovra_free_stylesheet(ovra_stylesheet* stylesheet);

/* The message of the last failure (empty when there was none since start-up or
 * close-down), as the ovra program prints it. Valid until the next call. */
const char* ovra_last_error(void);

/* The library's version, "major.minor.patch". */
const char* ovra_version(void);

#ifdef __cplusplus
}
#endif

#endif /* OVRA_H */
