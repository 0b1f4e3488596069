// The compiled form of one stylesheet file: its node tree with an instruction attached to
// every XSLT instruction element, its template rules, output settings and global
// variables. Built once, then run any number of times against fresh source documents.
#pragma once

#include "base/string.h"
#include "output/output_settings.h"
#include "tree/qname.h"
#include "xpath/runtime/decimal_format.h"
#include "xslt/exslt/user_functions.h"
#include "xslt/keys.h"
#include "xslt/result_documents.h"
#include "xslt/space_rules.h"
#include "xslt/template_rules.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ovra {

class Document;
class Node;
class Parameters;
class ResultDocuments;
class Serializer;

// How a stylesheet is compiled.
struct CompileOptions {
  // An attribute that an XSLT element does not take is an error, not a warning (outside
  // forwards-compatible mode, where it is always ignored).
  bool strict = false;
  // The deepest nesting of template invocations a run of this stylesheet allows before it
  // stops with an error; 0: Transformation::kMaxTemplateDepth. Kept with the compiled
  // stylesheet so that every run of it, on any thread, obeys the same limit.
  std::int32_t maxTemplateDepth = 0;
  // The seed of math:random: every run draws the same numbers; none: each run's are
  // seeded from the system's entropy.
  std::optional<std::uint32_t> randomSeed;
  // What every run may write besides its main result.
  WriteLimits writeLimits;
};

class Stylesheet {
 public:
  // Nothing is read until load().
  explicit Stylesheet(String fileName, CompileOptions options = {});
  // Reads the stylesheet from text held in memory (tests, fuzzing); fileName names it in
  // messages.
  static std::unique_ptr<Stylesheet> fromText(std::string text, String fileName = "stylesheet.xsl",
                                              CompileOptions options = {});
  Stylesheet(const Stylesheet&) = delete;
  const CompileOptions& options() const { return options_; }
  Stylesheet& operator=(const Stylesheet&) = delete;
  ~Stylesheet();

  // Parses the whole file and every file it imports or includes (relative to the file
  // that names them), compiles every instruction and reads the top-level elements of all
  // of them. Throws DocumentParseException, StylesheetException or XPathParseException;
  // the first error ends loading and leaves the Stylesheet unusable.
  void load();

  // One run against source, which has not been parsed yet (it is read lazily as the run
  // navigates). Output goes to serializer, whose settings are replaced by this
  // stylesheet's first. xsl:message terminate="yes" ends the run quietly and makes it
  // answer false; any other error propagates as XSLException after the run's state is
  // released. parameters, when not null, replace the defaults of the top-level
  // xsl:params of their names. The files the run writes besides its main result
  // (exsl:document) go to documents, for the caller to commit once the main result is
  // safe; without it they replace their targets when the run succeeds, and no file is
  // replaced when it fails or is terminated.
  bool transform(Document& source, Serializer& serializer, const Parameters* parameters = nullptr,
                 ResultDocuments* documents = nullptr) const;

  const TemplateRules& rules() const { return rules_; }
  const OutputSettings& outputSettings() const { return outputSettings_; }
  // Top-level xsl:variable and xsl:param elements of every module, in document order,
  // without those hidden by one of the same name and higher import precedence.
  const std::vector<Node*>& globalElements() const { return globalElements_; }
  // The top-level xsl:key declarations.
  const KeyDefinitions& keys() const { return keys_; }
  // The xsl:attribute-set definitions of that name, lowest import precedence first and in
  // document order within one precedence; null when there is none.
  const std::vector<Node*>* attributeSet(const ExpandedName& name) const;
  // How many stylesheet files make up the stylesheet (the principal one included).
  std::size_t moduleCount() const { return 1 + imported_.size(); }
  // The xsl:stylesheet (or xsl:transform) element, or the document element of a
  // simplified stylesheet; null before load.
  Node* rootElement() const { return rootElement_; }
  bool isSimplified() const { return simplified_; }
  Document& document() const { return *document_; }
  // The xsl:decimal-format of that name (both parts empty: the default one); null when
  // the stylesheet declares none of that name.
  const DecimalFormat* decimalFormat(StringRef namespaceURI, StringRef localName) const;
  // The xsl:strip-space and xsl:preserve-space declarations.
  const SpaceRules& spaceRules() const { return spaceRules_; }
  // The func:function declarations.
  const UserFunctions& functions() const { return functions_; }

 private:
  Stylesheet(std::unique_ptr<Document> document, CompileOptions options);

  // One top-level element of some stylesheet file. Included files count as part of the
  // file that includes them; every file of the import tree gets an import precedence,
  // higher than those of everything it imports (directly or further down), which lie in
  // [lowestImported, precedence).
  struct Declaration {
    Node* element;
    std::int32_t precedence;
    std::int32_t lowestImported;
    bool simplified;  // element is the document element of a simplified stylesheet
  };

  // The stylesheet element (or the document element of a simplified stylesheet) of
  // document; null when there is none.
  static Node* findRoot(Document& document, bool& simplified);
  void compileAll(Document& document, Node* rootElement, bool simplified);
  void excludeNamespaces(Document& document, Node* element, Node* attribute);
  // Parses, checks and compiles one stylesheet file; answers its root element.
  Node* prepare(Document& document, bool& simplified);
  // Reads a file and the files it imports into declarations_, imported ones first.
  // openFiles holds the full paths of the files on the way down, to refuse a cycle.
  void loadTree(Document& document, std::vector<String>& openFiles);
  // Appends the top-level elements of a file to elements, with those of the files it
  // includes in place of each xsl:include; its xsl:import elements go to imports.
  void gather(Document& document, std::vector<Declaration>& elements, std::vector<Node*>& imports,
              std::vector<String>& openFiles);
  // The parsed and compiled file that an xsl:import or xsl:include names.
  Document& openReferenced(Node* element, const std::vector<String>& openFiles);
  void readTopLevel();
  // Refuses an xsl:call-template whose name no template has.
  void checkCalledTemplates();
  void keepHighestGlobals();
  void readAttributeSet(Node* element);
  // Refuses a use of an attribute set that is not defined, and sets that use themselves.
  void checkAttributeSets() const;
  void readNamespaceAlias(Node* element);
  // Gives the literal result elements of every file, and their attributes, the result
  // namespace of their aliased namespace.
  void applyNamespaceAliases();
  // Reads one xsl:decimal-format; a second declaration of a name must agree with the first.
  void readDecimalFormat(Node* element);
  // Deletes every attachment of the stylesheet tree (instructions and attribute value
  // templates), without recursion.
  void deleteAttachments();

  CompileOptions options_;
  std::unique_ptr<Document> document_;
  // The other files of the stylesheet, in the order they were opened.
  std::vector<std::unique_ptr<Document>> imported_;
  bool compiled_ = false;  // attachments may exist: the trees have been read whole
  TemplateRules rules_;
  Node* rootElement_ = nullptr;  // a node of document_'s tree
  bool simplified_ = false;
  OutputSettings outputSettings_;
  std::vector<Node*> globalElements_;            // nodes of the modules' trees
  std::vector<std::int32_t> globalPrecedences_;  // of globalElements_, while reading
  KeyDefinitions keys_;
  // Every top-level element of every file, lowest import precedence first, in document
  // order within one precedence.
  std::vector<Declaration> declarations_;
  // The xsl:call-template elements of every file, until they are checked.
  std::vector<const Node*> calls_;
  std::int32_t nextPrecedence_ = 0;
  std::vector<std::pair<ExpandedName, std::vector<Node*>>> attributeSets_;
  struct NamespaceAlias {
    StringRef stylesheetURI;
    StringRef resultURI;
    StringRef resultPrefix;
  };
  std::vector<NamespaceAlias> namespaceAliases_;
  std::vector<std::pair<ExpandedName, DecimalFormat>> decimalFormats_;
  UserFunctions functions_;
  SpaceRules spaceRules_;
};

}  // namespace ovra
