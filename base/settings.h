// What the user asked of the processing below the command line (loading, compiling,
// running), in one record the driver fills from its options and hands down, so that an
// embedding program can set the same things without a command line. Every field's
// default is what ovra does without the option.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovra {

struct Settings {
  // ---- Loading documents ----

  // --encoding ENC: the encoding every input document is read in, whatever its XML
  // declaration says; empty: as declared (or detected). Not wired yet: the loader will
  // pass it to the parser.
  std::string inputEncoding;
  // --nonet: never fetch anything over the network. ovra reads local files only, so
  // this holds whatever the value; kept so that a resolver that could fetch must ask.
  bool noNetwork = false;
  // --catalogs: resolve public and system identifiers and URIs through the XML
  // catalogs named by $XML_CATALOG_FILES (default /etc/xml/catalog). Not wired yet:
  // the loader's catalog resolver will read it.
  bool useCatalogs = false;
  // --path DIRS: folders searched, in order, for a DTD, entity or document() file that
  // is not found where its reference points. Not wired yet: the loader will search them.
  std::vector<std::string> searchPath;
  // --novalid: do not read the external DTD subset. Not wired yet: the loader decides
  // whether it reads the external subset.
  bool loadExternalDtd = true;
  // --nodtdattr: do not add the default attribute values a DTD declares. Not wired yet.
  bool dtdDefaultAttributes = true;
  // --maxparserdepth N: the deepest element nesting a document may have; 0: the
  // loader's own limit. Not wired yet.
  std::int32_t maxParserDepth = 0;

  // ---- Compiling stylesheets ----

  // --strict: an attribute an XSLT element does not define is an error instead of a
  // warning (outside forwards-compatible mode). Not wired yet: the stylesheet compiler
  // will read it when it reports such attributes.
  bool strict = false;

  // ---- Running transformations ----

  // --maxdepth N: the deepest nesting of template invocations before the run stops with
  // "Template recursion too deep"; 0: the built-in limit. Not wired yet: the
  // transformation will take it in place of its constant.
  std::int32_t maxTemplateDepth = 0;
  // --seed-rand N: the seed of random numbers an extension function hands out; 0: seeded
  // from the clock. No function reads it yet.
  std::uint32_t randomSeed = 0;
};

}  // namespace ovra
