// What the user asked of the processing below the command line (loading, compiling,
// running), in one record the driver fills from its options and hands down, so that an
// embedding program can set the same things without a command line. Every field's
// default is what ovra does without the option.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ovra {

// Which local files documents may read besides themselves.
enum class ExternalAccess {
  Anywhere = 0,        // any local file
  DocumentFolder = 1,  // files in the folder of the document that refers to them, or below
  Nothing = 2,         // no file at all
};

struct Settings {
  // ---- Loading documents ----

  // --encoding ENC: the encoding every source document is read in, whatever its XML
  // declaration says; empty: as declared (or detected). Stylesheets and the documents
  // document() opens are read as they declare.
  std::string inputEncoding;
  // --nonet: never fetch anything over the network. ovra reads local files only, so
  // this holds whatever the value; kept so that a resolver that could fetch must ask.
  bool noNetwork = false;
  // --catalogs: also consult the catalogs $SGML_CATALOG_FILES names (separated by
  // spaces or colons), before the XML catalogs of $XML_CATALOG_FILES (default
  // /etc/xml/catalog), which are always consulted.
  bool useCatalogs = false;
  // --path DIRS: folders searched, in order, for a DTD, entity or document() file that
  // is not found where its reference points nor through a catalog: the last segment of
  // the reference is looked for in each.
  std::vector<std::string> searchPath;
  // --novalid: do not read the external DTD subset.
  bool loadExternalDtd = true;
  // --nodtdattr: do not add the default attribute values a DTD declares.
  bool dtdDefaultAttributes = true;
  // --maxparserdepth N: the deepest element nesting a document may have; 0: no limit.
  std::int32_t maxParserDepth = 0;
  // --external any|folder|none: which local files source documents and document() may
  // read besides the documents themselves (external DTD subsets, external entities, the
  // files document() opens): any, those in the folder of the document that refers to
  // them, or none. For services that transform untrusted input; a stylesheet's own
  // DTDs, entities and modules are not limited.
  ExternalAccess externalAccess = ExternalAccess::Anywhere;

  // ---- Compiling stylesheets ----

  // --strict: an attribute an XSLT element does not define is an error instead of a
  // warning (outside forwards-compatible mode).
  bool strict = false;

  // ---- Running transformations ----

  // --maxdepth N: the deepest nesting of template invocations before the run stops with
  // "Template recursion too deep"; 0: the built-in limit.
  std::int32_t maxTemplateDepth = 0;
  // --seed-rand N: the seed of the random numbers math:random hands out, the same
  // sequence in every run; none: seeded from the system's entropy.
  std::optional<std::uint32_t> randomSeed;
  // --nowrite: a run may write no file besides its result (exsl:document fails).
  bool noWrite = false;
  // --nomkdir: a run may make no folder for the files it writes besides its result.
  bool noMkdir = false;
  // --writesubtree PATH: a run may write files besides its result only in this folder
  // or below it; empty: anywhere.
  std::string writeSubtree;
};

}  // namespace ovra
