/* The C interface for programs that embed ovra, the XSLT 1.0 processor: compile a
 * stylesheet once (from a file or from memory), then transform any number of XML
 * documents (files or memory) with it, each to a stdio stream, with or without
 * stylesheet parameters.
 *
 * Calling order: ovra_start_up() once, then any number of compiles and transforms, then
 * ovra_close_down(). A call that fails returns 0 or NULL and leaves its message in
 * ovra_last_error() and its class in ovra_last_status().
 *
 * Threads: a compiled stylesheet is never changed by a transformation, so one
 * ovra_stylesheet may be used by any number of ovra_transform_* calls at once, from any
 * threads; it must not be freed while one runs. Compiles and transforms on different
 * threads may run at once. ovra_last_error() and ovra_last_status() answer for the
 * calling thread. ovra_start_up(), ovra_close_down(), ovra_set_external_access(),
 * ovra_set_write_limits() and ovra_set_report_handler() change process-wide settings: call
 * them while no other call runs.
 *
 * Build with: cc prog.c $(pkg-config --cflags --libs ovra)           (shared library)
 *        or:  cc prog.c $(pkg-config --static --cflags --libs ovra)  (static) */
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

/* What a stylesheet may write besides its result (exsl:document), as flags. */
typedef enum ovra_write_limit {
  OVRA_WRITE_NO_FILES = 1,  /* no file at all */
  OVRA_WRITE_NO_FOLDERS = 2 /* no folder made for one */
} ovra_write_limit;

/* The classes of failure, with the numbers the ovra program exits with. */
typedef enum ovra_status {
  OVRA_OK = 0,
  OVRA_USAGE_ERROR = 2,           /* a null argument, a bad parameter or setting */
  OVRA_STYLESHEET_UNREADABLE = 4, /* a stylesheet module cannot be read or is not XML */
  OVRA_STYLESHEET_ERROR = 5,      /* the stylesheet does not compile */
  OVRA_DOCUMENT_ERROR = 6,        /* the source document cannot be read or is not XML */
  OVRA_RUNTIME_ERROR = 9,         /* the transformation failed (or memory ran out) */
  OVRA_TERMINATED = 10,           /* xsl:message terminate="yes" ended it */
  OVRA_OUTPUT_ERROR = 11          /* the result could not be written */
} ovra_status;

/* What a report handler is told. */
typedef enum ovra_report_kind {
  OVRA_REPORT_ERROR = 0,   /* the failure of a call; also in ovra_last_error() */
  OVRA_REPORT_WARNING = 1, /* the call goes on */
  OVRA_REPORT_MESSAGE = 2  /* the text of an xsl:message, without its line end */
} ovra_report_kind;

typedef struct ovra_report {
  ovra_report_kind kind;
  const char* file; /* the file it is about, "" when not known */
  int line;         /* 0 when not known */
  int column;       /* 0 when not known */
  const char* text; /* an error as the ovra program prints it, without the line end */
} ovra_report;

/* Receives reports; report and its texts are valid only during the call. It is called on
 * the thread doing the work (which may be one the library starts for a call, for its
 * larger stack), and from several threads at once when several calls run at once. */
typedef void (*ovra_report_handler)(const ovra_report* report, void* user_data);

/* Prepares the library. Returns 1, or 0 on failure. */
int ovra_start_up(void);

/* Releases every document that document() opened and clears the last error. Compiled
 * stylesheets stay valid. Returns 1. */
int ovra_close_down(void);

/* Reads and compiles the stylesheet file. Returns a handle for ovra_transform_file and
 * ovra_free_stylesheet, or NULL when the file cannot be read or is not a stylesheet
 * ovra can compile. */
ovra_stylesheet* ovra_compile_stylesheet(const char* file_name);

/* Compiles a stylesheet held in memory: size bytes at text. name names it in messages
 * and is the file its relative references (xsl:import, xsl:include, document()) are
 * resolved against; NULL: "stylesheet.xsl" in the current folder. */
ovra_stylesheet* ovra_compile_stylesheet_memory(const char* text, size_t size,
                                                const char* name);

/* Transforms the XML file with the stylesheet and writes the result to out (flushed,
 * not closed). params points to param_count parameters (NULL when there are none).
 * Returns 1, or 0 on failure; output written before a failure stays written. A
 * transformation that xsl:message terminate="yes" ends is a failure (OVRA_TERMINATED). */
int ovra_transform_file(const ovra_stylesheet* stylesheet, const char* xml_file, FILE* out,
                        const ovra_param* params, size_t param_count);

/* The same for an XML document held in memory: size bytes at text. name names it in
 * messages and is what its relative references resolve against; NULL: "document.xml"
 * in the current folder. */
int ovra_transform_memory(const ovra_stylesheet* stylesheet, const char* text, size_t size,
                          const char* name, FILE* out, const ovra_param* params,
                          size_t param_count);

/* Sends every error, warning and xsl:message of the calls that start afterwards to
 * handler, with user_data, instead of writing warnings and messages to standard error.
 * NULL restores standard error. Returns 1. */
int ovra_set_report_handler(ovra_report_handler handler, void* user_data);

/* Limits what source documents, and the documents document() opens, may read besides
 * themselves (their external DTD subsets and external entities, the files document()
 * names), for programs that transform untrusted input: OVRA_EXTERNAL_FOLDER allows only
 * files in the folder of the document that names them, or below, OVRA_EXTERNAL_NONE
 * none (access is one of the ovra_external_access values). A stylesheet's own DTDs,
 * entities and modules are not limited. Applies to documents opened afterwards. Returns
 * 1, or 0 for a value not listed. */
int ovra_set_external_access(int access);

/* Limits what the stylesheets compiled afterwards may write besides their result with
 * exsl:document, for programs that run untrusted stylesheets (as the program's --nowrite,
 * --nomkdir and --writesubtree): flags is 0 or a combination of ovra_write_limit values,
 * and folder, when not NULL, the only folder (with those below it) files may be written
 * in. A refused write makes the transformation fail, and nothing is written. Returns 1,
 * or 0 for flags not listed. */
int ovra_set_write_limits(int flags, const char* folder);

/* Destroys a compiled stylesheet; NULL is allowed. Returns 1. */
int ovra_free_stylesheet(ovra_stylesheet* stylesheet);

/* The message of the calling thread's last failure (empty when there was none since
 * start-up or close-down), as the ovra program prints it. Valid until the next call. */
const char* ovra_last_error(void);

/* The class of that failure (an ovra_status; OVRA_OK when there was none). */
int ovra_last_status(void);

/* The library's version, "major.minor.patch". */
const char* ovra_version(void);

#ifdef __cplusplus
}
#endif

#endif /* OVRA_H */
