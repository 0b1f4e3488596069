// The compiled form of one stylesheet file: its node tree with an instruction attached to
// every XSLT instruction element, its template rules, output settings and global
// variables. Built once, then run any number of times against fresh source documents.
#pragma once

#include "base/string.h"
#include "output/output_settings.h"
#include "xslt/template_rules.h"

#include <memory>
#include <string>
#include <vector>

namespace ovra {

class Document;
class Node;
class Parameters;
class Serializer;

class Stylesheet {
 public:
  // Nothing is read until load().
  explicit Stylesheet(String fileName);
  // Reads the stylesheet from text held in memory (tests, fuzzing); fileName names it in
  // messages.
  static std::unique_ptr<Stylesheet> fromText(std::string text, String fileName = "stylesheet.xsl");
  Stylesheet(const Stylesheet&) = delete;
  Stylesheet& operator=(const Stylesheet&) = delete;
  ~Stylesheet();

  // Parses the whole file, compiles every instruction and reads the top-level elements.
  // Throws DocumentParseException, StylesheetException or XPathParseException; the
  // first error ends loading and leaves the Stylesheet unusable.
  void load();

  // One run against source, which has not been parsed yet (it is read lazily as the run
  // navigates). Output goes to serializer, whose settings are replaced by this
  // stylesheet's first. xsl:message terminate="yes" ends the run quietly; any other
  // error propagates as XSLException after the run's state is released. parameters, when
  // not null, replace the defaults of the top-level xsl:params of their names.
  void transform(Document& source, Serializer& serializer,
                 const Parameters* parameters = nullptr) const;

  const TemplateRules& rules() const { return rules_; }
  const OutputSettings& outputSettings() const { return outputSettings_; }
  // Top-level xsl:variable and xsl:param elements, in document order.
  const std::vector<Node*>& globalElements() const { return globalElements_; }
  // The xsl:stylesheet (or xsl:transform) element, or the document element of a
  // simplified stylesheet; null before load.
  Node* rootElement() const { return rootElement_; }
  bool isSimplified() const { return simplified_; }
  Document& document() const { return *document_; }

 private:
  explicit Stylesheet(std::unique_ptr<Document> document);

  void compileAll();
  void excludeNamespaces(Node* element, Node* attribute);
  void findRoot();
  void readTopLevel();
  // Deletes every attachment of the stylesheet tree (instructions and attribute value
  // templates), without recursion.
  void deleteAttachments();

  std::unique_ptr<Document> document_;
  bool compiled_ = false;  // attachments may exist: the tree has been read whole
  TemplateRules rules_;
  Node* rootElement_ = nullptr;  // a node of document_'s tree
  bool simplified_ = false;
  OutputSettings outputSettings_;
  std::vector<Node*> globalElements_;  // nodes of document_'s tree
};

}  // namespace ovra
