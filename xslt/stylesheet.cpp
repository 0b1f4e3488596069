#include "xslt/stylesheet.h"

#include "base/exceptions.h"
#include "base/platform.h"
#include "output/serializer.h"
#include "tree/document.h"
#include "tree/location.h"
#include "tree/name_pool.h"
#include "tree/node.h"
#include "tree/resources.h"
#include "tree/uri.h"
#include "xpath/parser.h"
#include "xpath/runtime/functions.h"
#include "xslt/attribute_sets.h"
#include "xslt/avt.h"
#include "xslt/fallback.h"
#include "xslt/instruction.h"
#include "xslt/output_declaration.h"
#include "xslt/template_calls.h"
#include "xslt/transform.h"
#include "xslt/variables.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace ovra {

static constexpr char kNotAStylesheet[] =
    "%s is not an XSLT stylesheet: its document element <%s> is neither xsl:stylesheet nor "
    "xsl:transform and does not declare the XSLT namespace";
static constexpr char kSimplifiedWithoutVersion[] =
    "The document element of a simplified stylesheet must have an xsl:version attribute";
static constexpr char kUnknownTopLevel[] = "Unrecognised root element in stylesheet";
static constexpr char kUnknownInstruction[] = "Unrecognised stylesheet instruction";
static constexpr char kUndeclaredPrefix[] = "Undeclared namespace prefix in %s, %s";
static constexpr char kImportNotFirst[] =
    "An import must come before all other elements at the top level of a stylesheet";
static constexpr char kImportWithoutHref[] = "A href attribute must be provided for a import";
static constexpr char kIncludeWithoutHref[] = "A href attribute must be provided for a include";
static constexpr char kImportNotEmpty[] = "An import element must be empty";
static constexpr char kIncludeNotEmpty[] = "An include element must be empty";
static constexpr char kReferencesItself[] = "A stylesheet can not import or include itself, ";
static constexpr char kNoCalledTemplate[] = "No template of the name called, ";
static constexpr char kUnknownAttributeSet[] = "No attribute-set of the name used, ";
static constexpr char kCircularAttributeSet[] = "Circular use of attribute-set ";
static constexpr char kAliasWithoutPrefixes[] =
    "A stylesheet-prefix and a result-prefix attribute must be provided for a namespace-alias";
static constexpr char kUndeclaredAliasPrefix[] = "Undeclared namespace prefix in namespace-alias, ";
static constexpr char kImportMissing[] = "Could not open imported stylesheet, ";
static constexpr char kIncludeMissing[] = "Could not open included stylesheet, ";
static constexpr char kDecimalFormatCharacter[] =
    "The value must be a single character on decimal-format, ";
static constexpr char kDuplicateDecimalFormat[] =
    "A decimal-format of this name is declared twice with different values";

namespace {

// Compiles the attribute value templates of a literal result element: every attribute
// whose value holds a brace gets its compiled template attached.
void compileAttributeTemplates(Node* element) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    std::string_view value = attributeValue(attribute);
    if (attribute->namespaceURI() == xsltNamespaceName() ||
        value.find_first_of("{}") == std::string_view::npos)
      continue;
    try {
      attribute->setInstruction(new AttributeValueTemplate(value, element));
    } catch (const XPathParseException& error) {
      throw errorAtAttribute(attribute, error);
    } catch (const EvaluateException& error) {
      throw errorAtAttribute(attribute, error);
    }
  }
}

// The attribute of element in namespace uri with local name name, or null.
Node* findAttribute(Node* element, StringRef uri, std::string_view name) {
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (attribute->namespaceURI() == uri && attribute->localName().view() == name)
      return attribute;
  }
  return nullptr;
}

bool contains(const std::vector<std::string_view>& texts, std::string_view text) {
  for (std::string_view candidate : texts) {
    if (candidate == text)
      return true;
  }
  return false;
}

// Adds the namespace names that the prefixes of a prefix list attribute ("#default" for
// the default namespace) are bound to at element; unbound prefixes add nothing.
void addPrefixURIs(const Node* element, const Node* attribute,
                   std::vector<std::string_view>& uris) {
  std::string_view list = attributeValue(attribute);
  forEachToken(list, [&](std::string_view token) {
    StringRef uri = lookupNamespace(element, token == "#default" ? std::string_view() : token);
    if (!uri.empty() && !contains(uris, uri.view()))
      uris.push_back(uri.view());
  });
}

// True when element is in a namespace that an extension-element-prefixes attribute on
// itself or an ancestor designates (xsl:extension-element-prefixes on literal result
// elements, extension-element-prefixes on the stylesheet element). anyURIs holds every
// namespace designated anywhere, a quick first test.
bool isExtensionElement(const Node* element, const std::vector<std::string_view>& anyURIs) {
  if (element->namespaceURI().empty() || !contains(anyURIs, element->namespaceURI().view()))
    return false;
  for (const Node* holder = element; holder != nullptr && holder->kind() == NodeKind::Element;
       holder = holder->parent()) {
    bool isStylesheet = classify(holder) == InstructionKind::Stylesheet;
    Node* attribute =
        findAttribute(const_cast<Node*>(holder), isStylesheet ? emptyName() : xsltNamespaceName(),
                      "extension-element-prefixes");
    if (attribute == nullptr)
      continue;
    std::vector<std::string_view> uris;
    addPrefixURIs(holder, attribute, uris);
    if (contains(uris, element->namespaceURI().view()))
      return true;
  }
  return false;
}

// The single character of a decimal-format attribute.
char32_t singleCharacter(const Node* attribute) {
  std::string_view value = attributeValue(attribute);
  std::size_t length = value.empty() ? 0 : utf8CharLength(static_cast<unsigned char>(value[0]));
  if (value.empty() || length != value.size())
    throw StylesheetException(locationOf(attribute),
                              String(kDecimalFormatCharacter).append(attribute->localName()));
  char32_t c = length == 1 ? static_cast<unsigned char>(value[0])
                           : static_cast<unsigned char>(value[0]) & (0x3F >> (length - 1));
  for (std::size_t i = 1; i < length; ++i)
    c = (c << 6) | (static_cast<unsigned char>(value[i]) & 0x3F);
  return c;
}

}  // namespace

Stylesheet::Stylesheet(String fileName, CompileOptions options)
    : Stylesheet(std::make_unique<Document>(std::move(fileName), Document::kStylesheetBufferSize,
                                            /*strip=*/true),
                 options) {}

Stylesheet::Stylesheet(std::unique_ptr<Document> document, CompileOptions options)
    : options_(options), document_(std::move(document)) {
  document_->setStripping(&stylesheetSpacing());
}

std::unique_ptr<Stylesheet> Stylesheet::fromText(std::string text, String fileName,
                                                 CompileOptions options) {
  return std::unique_ptr<Stylesheet>(
      new Stylesheet(Document::fromText(std::move(text), std::move(fileName),
                                        Document::kStylesheetBufferSize, /*strip=*/true),
                     options));
}

Stylesheet::~Stylesheet() {
  deleteAttachments();
}

const std::vector<Node*>* Stylesheet::attributeSet(const ExpandedName& name) const {
  for (const auto& [setName, definitions] : attributeSets_) {
    if (setName == name)
      return &definitions;
  }
  return nullptr;
}

void Stylesheet::load() {
  // The stylesheet's trees outlive the compiling, and only shadows of declarations
  // already in scope are added to them meanwhile.
  ParseMemo memo;
  std::vector<String> openFiles;
  loadTree(*document_, openFiles);
  rootElement_ = findRoot(*document_, simplified_);
  readTopLevel();
  checkCalledTemplates();
  // Documents that document() opens are sources too.
  if (spaceRules_.isActive())
    document_->setStripping(&spaceRules_);
}

static bool hasXsltVersion(const Node* element) {
  for (const Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (attribute->localName().view() == "version" &&
        attribute->namespaceURI() == xsltNamespaceName())
      return true;
  }
  return false;
}

Node* Stylesheet::prepare(Document& document, bool& simplified) {
  document.parseAll();
  Node* root = findRoot(document, simplified);
  // XSLT 1.0 section 2.3: without xsl:version a document that merely declares the XSLT
  // namespace (a source document given in the stylesheet's place) is no stylesheet.
  if (simplified && !hasXsltVersion(root))
    throw StylesheetException(locationOf(root), kSimplifiedWithoutVersion);
  compileAll(document, root, simplified);
  if (root == nullptr) {
    Node* first = document.root()->firstChild();
    while (first != nullptr && first->kind() != NodeKind::Element)
      first = first->nextSibling();
    String name;
    if (first != nullptr) {
      if (!first->prefix().empty())
        name.append(first->prefix()).append(":");
      name.append(first->localName());
    }
    throw StylesheetException(
        locationOf(first),
        formatMessage(kNotAStylesheet, document.fileName().c_str(), name.c_str()));
  }
  return root;
}

void Stylesheet::loadTree(Document& document, std::vector<String>& openFiles) {
  openFiles.push_back(fullPathName(document.fileName()));
  std::vector<Declaration> elements;
  std::vector<Node*> imports;
  gather(document, elements, imports, openFiles);
  std::int32_t lowest = nextPrecedence_;
  for (Node* import : imports)
    loadTree(openReferenced(import, openFiles), openFiles);
  std::int32_t precedence = nextPrecedence_++;
  for (Declaration& declaration : elements) {
    declaration.precedence = precedence;
    declaration.lowestImported = lowest;
    declarations_.push_back(declaration);
  }
  openFiles.pop_back();
}

// An included file's imports join those of the file it is included in, after the ones
// that file has itself.
void Stylesheet::gather(Document& document, std::vector<Declaration>& elements,
                        std::vector<Node*>& imports, std::vector<String>& openFiles) {
  bool simplified = false;
  Node* root = prepare(document, simplified);
  if (simplified) {
    elements.push_back(Declaration{root, 0, 0, true});
    return;
  }
  bool importsAllowed = true;
  for (Node* child = root->firstChild(); child != nullptr; child = child->nextSibling()) {
    if (child->kind() != NodeKind::Element)
      continue;
    InstructionKind kind = classify(child);
    if (kind == InstructionKind::Import) {
      if (!importsAllowed)
        throw StylesheetException(locationOf(child), kImportNotFirst);
      imports.push_back(child);
      continue;
    }
    importsAllowed = false;
    if (kind == InstructionKind::Include) {
      Document& included = openReferenced(child, openFiles);
      openFiles.push_back(fullPathName(included.fileName()));
      gather(included, elements, imports, openFiles);
      openFiles.pop_back();
      continue;
    }
    elements.push_back(Declaration{child, 0, 0, false});
  }
}

Document& Stylesheet::openReferenced(Node* element, const std::vector<String>& openFiles) {
  bool isImport = classify(element) == InstructionKind::Import;
  Node* href = xsltAttribute(element, "href");
  if (href == nullptr)
    throw StylesheetException(locationOf(element),
                              isImport ? kImportWithoutHref : kIncludeWithoutHref);
  if (element->firstChild() != nullptr)
    throw StylesheetException(locationOf(element), isImport ? kImportNotEmpty : kIncludeNotEmpty);
  std::string_view reference = attributeValue(href);
  Document& importing = *element->document();
  String base = importing.baseURI();
  ResourceRequest request;
  request.reference = reference;
  request.base = base.view();
  // A module is found as a local file, else through the XML catalogs (the way DocBook
  // customizations import http://docbook.sourceforge.net/release/xsl/current/...).
  Resource found = locateResource(importing.settings(), request);
  String path = found.status == ResourceStatus::Found ? found.path
                                                      : String(resolveURI(base.view(), reference));
  bool open = std::any_of(openFiles.begin(), openFiles.end(),
                          [&](const String& file) { return file.view() == path.view(); });
  if (reference.empty() || open)
    throw StylesheetException(locationOf(element),
                              String(kReferencesItself).append(attributeValue(href)));
  const char* missing = isImport ? kImportMissing : kIncludeMissing;
  if (found.status == ResourceStatus::Network || found.status == ResourceStatus::Refused)
    throw StylesheetException(locationOf(element), String(missing).append(found.reason));
  if (found.status != ResourceStatus::Found)
    throw StylesheetException(locationOf(element), String(missing).append(attributeValue(href)));
  imported_.push_back(
      std::make_unique<Document>(std::move(path), Document::kStylesheetBufferSize, /*strip=*/true));
  imported_.back()->setSettings(importing.sharedSettings());
  imported_.back()->setStripping(&stylesheetSpacing());
  return *imported_.back();
}

// The document element is the root when it is xsl:stylesheet or xsl:transform, or a
// literal result element that declares the XSLT namespace itself (a simplified
// stylesheet). Comments and processing instructions before it are passed over.
Node* Stylesheet::findRoot(Document& document, bool& simplified) {
  simplified = false;
  Node* first = document.root()->firstChild();
  while (first != nullptr && first->kind() != NodeKind::Element)
    first = first->nextSibling();
  if (first == nullptr)
    return nullptr;
  if (first->namespaceURI() == xsltNamespaceName() &&
      classify(first) == InstructionKind::Stylesheet)
    return first;
  for (Node* ns = first->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
    if (ns->parent() == first && ns->namespaceURI() == xsltNamespaceName()) {
      simplified = true;
      return first;
    }
  }
  return nullptr;
}

// Attaches a compiled instruction to every XSLT instruction element of the document and
// an attribute value template to every literal attribute with braces. Pre-order, without
// recursion, so that a deeply nested stylesheet is safe.
void Stylesheet::compileAll(Document& document, Node* rootElement, bool simplified) {
  compiled_ = true;
  Node* root = document.root();
  // Top-level elements in other namespaces are data for whoever reads the stylesheet:
  // their attribute values are not templates.
  Node* foreignTop = nullptr;
  Node* functionTop = nullptr;  // the func:function being compiled
  std::vector<std::string_view> extensionURIs;
  for (Node* node = root->firstChild(); node != nullptr; node = nextInDocumentOrder(node, root)) {
    if (node->kind() != NodeKind::Element)
      continue;
    // XSLT 1.0 section 7.1.1: literal result elements do not copy the XSLT namespace.
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      if (ns->namespaceURI() == xsltNamespaceName())
        static_cast<NamespaceNode*>(ns)->setExcluded();
    }
    InstructionKind kind = classify(node);
    // Pre-order: the subtree of one top-level element ends where the next one starts.
    if (!simplified && node->parent() == rootElement) {
      foreignTop = kind == InstructionKind::Literal ? node : nullptr;
      // A func:function's content is a template body, whatever the declarations of
      // extension namespaces say.
      if (isFunctionDeclaration(node)) {
        foreignTop = nullptr;
        functionTop = node;
        continue;
      }
      functionTop = nullptr;
    }
    if (kind == InstructionKind::Unknown) {
      // In forwards-compatible mode an element of a later XSLT version is an error only
      // when it runs without a fallback; at top level it is ignored.
      if (!isForwardsCompatible(node))
        throw StylesheetException(locationOf(node), kUnknownInstruction);
      if (!simplified && node->parent() == rootElement)
        foreignTop = node;
      else if (foreignTop == nullptr)
        node->setInstruction(new FallbackHostInstruction(*this, node));
      continue;
    }
    if (kind != InstructionKind::Literal && foreignTop == nullptr)
      checkXsltElement(node, !simplified && node->parent() == rootElement,
                       options_.strict ? UnknownAttributes::Error : UnknownAttributes::Warn);
    if (node == rootElement && !simplified) {
      for (const char* name : {"exclude-result-prefixes", "extension-element-prefixes"}) {
        if (Node* attribute = findAttribute(node, emptyName(), name))
          excludeNamespaces(document, node, attribute);
      }
    }
    // Every namespace some element declares an extension namespace: elements in them
    // are checked against the declarations in scope.
    if (Node* attribute = findAttribute(
            node, node == rootElement && !simplified ? emptyName() : xsltNamespaceName(),
            "extension-element-prefixes"))
      addPrefixURIs(node, attribute, extensionURIs);
    if (isInstructionKind(kind)) {
      // An error in one of its expressions is reported at the element.
      node->setInstruction(
          reportedAt(node, [&] { return compileInstruction(kind, *this, node); }).release());
      if (kind == InstructionKind::CallTemplate)
        calls_.push_back(node);
      continue;
    }
    if (kind == InstructionKind::Literal && foreignTop == nullptr) {
      for (const char* name : {"exclude-result-prefixes", "extension-element-prefixes"}) {
        if (Node* attribute = findAttribute(node, xsltNamespaceName(), name))
          excludeNamespaces(document, node, attribute);
      }
      // An extension element this processor lacks runs its fallback.
      if ((!extensionURIs.empty() && isExtensionElement(node, extensionURIs)) ||
          (functionTop != nullptr && isFunctionResult(node))) {
        node->setInstruction(compileExtensionElement(*this, node,
                                                     options_.strict ? UnknownAttributes::Error
                                                                     : UnknownAttributes::Warn)
                                 .release());
        continue;
      }
      compileAttributeTemplates(node);
      if (Node* sets = findAttribute(node, xsltNamespaceName(), "use-attribute-sets"))
        node->setInstruction(new LiteralElementInstruction(*this, node, sets));
    }
  }
}

// The namespaces that attribute names by prefix ("#default" for the default one) are not
// copied to the result by the literal result elements of element's subtree: the
// declarations of those namespace names inside the subtree are marked, and those in scope
// from further out are shadowed on element by marked copies.
void Stylesheet::excludeNamespaces(Document& document, Node* element, Node* attribute) {
  std::vector<std::string_view> uris;
  std::string_view list = attributeValue(attribute);
  forEachToken(list, [&](std::string_view token) {
    std::string_view prefix = token == "#default" ? std::string_view() : token;
    const Node* declaration = nullptr;
    for (const Node* holder = element; holder != nullptr && declaration == nullptr;
         holder = holder->parent()) {
      for (const Node* ns = holder->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
        if (ns->localName().view() == prefix) {
          declaration = ns;
          break;
        }
      }
    }
    if (declaration == nullptr && !prefix.empty()) {
      String name(attribute->localName().view());
      throw StylesheetException(
          locationOf(attribute),
          formatMessage(kUndeclaredPrefix, name.c_str(), String(token).c_str()));
    }
    // An undeclared default namespace, and the xml namespace, are never declared anyway.
    if (declaration != nullptr && !declaration->namespaceURI().view().empty() &&
        declaration->namespaceURI() != xmlNamespaceName())
      uris.push_back(declaration->namespaceURI().view());
  });
  if (uris.empty())
    return;
  for (Node* node = element; node != nullptr; node = nextInDocumentOrder(node, element)) {
    for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      if (contains(uris, ns->namespaceURI().view()))
        static_cast<NamespaceNode*>(ns)->setExcluded();
    }
  }
  std::vector<std::string_view> seen;
  for (Node* holder = element; holder != nullptr; holder = holder->parent()) {
    for (Node* ns = holder->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
      std::string_view prefix = ns->localName().view();
      if (contains(seen, prefix))
        continue;
      seen.push_back(prefix);
      if (holder != element && contains(uris, ns->namespaceURI().view())) {
        auto* shadow = document.arena().make<NamespaceNode>(ns->localName(), ns->namespaceURI());
        shadow->setExcluded();
        element->appendNamespace(shadow);
      }
    }
  }
}

// Runs over the top-level elements of every file, lowest import precedence first, so
// that where a later declaration replaces an earlier one, the one of higher precedence
// wins; `precedence` tells the branches that need it.
void Stylesheet::readTopLevel() {
  for (const Declaration& declaration : declarations_) {
    Node* child = declaration.element;
    std::int32_t precedence = declaration.precedence;
    if (declaration.simplified) {
      std::unique_ptr<Template> simplified = Template::makeSimplified(child->document()->root());
      simplified->setImportPrecedence(precedence, declaration.lowestImported);
      rules_.add(std::move(simplified));
      continue;
    }
    // Instructions at top level are compiled but never run; elements in a namespace
    // other than XSLT's are ignored.
    InstructionKind kind = classify(child);
    if (kind == InstructionKind::Template) {
      auto made = std::make_unique<Template>(child);
      made->setImportPrecedence(precedence, declaration.lowestImported);
      rules_.add(std::move(made));
    } else if (kind == InstructionKind::Output) {
      readOutputDeclaration(outputSettings_, child);
    } else if (kind == InstructionKind::Variable || kind == InstructionKind::Param) {
      globalElements_.push_back(child);
      globalPrecedences_.push_back(precedence);
    } else if (kind == InstructionKind::Key) {
      keys_.add(child);
    } else if (kind == InstructionKind::AttributeSet) {
      readAttributeSet(child);
    } else if (kind == InstructionKind::NamespaceAlias) {
      readNamespaceAlias(child);
    } else if (kind == InstructionKind::DecimalFormat) {
      readDecimalFormat(child);
    } else if (kind == InstructionKind::StripSpace || kind == InstructionKind::PreserveSpace) {
      spaceRules_.read(child, kind == InstructionKind::StripSpace, precedence);
    } else if (isFunctionDeclaration(child)) {
      functions_.add(child, precedence);
    } else if (kind == InstructionKind::Literal && child->namespaceURI().empty()) {
      throw StylesheetException(locationOf(child), kUnknownTopLevel);
    }
  }
  keepHighestGlobals();
  checkAttributeSets();
  applyNamespaceAliases();
}

// XSLT 1.0 section 6: a call-template names a template the stylesheet has, whether the
// call is ever made or not.
void Stylesheet::checkCalledTemplates() {
  for (const Node* call : calls_) {
    const auto* compiled = static_cast<const CallTemplateInstruction*>(call->instruction());
    if (rules_.findByName(compiled->templateName()) == nullptr) {
      Node* name = xsltAttribute(call, "name");
      throw StylesheetException(locationOf(name),
                                String(kNoCalledTemplate).append(attributeValue(name)));
    }
  }
  calls_.clear();
  calls_.shrink_to_fit();
}

// Of top-level variables and parameters of one name, the one of the highest import
// precedence counts; two of one name at the same precedence stay for the run to refuse.
void Stylesheet::keepHighestGlobals() {
  auto nameOf = [](const Node* element) -> const ExpandedName& {
    return static_cast<const VariableInstruction*>(element->instruction())->name();
  };
  std::vector<Node*> kept;
  for (std::size_t i = 0; i < globalElements_.size(); ++i) {
    bool hidden = false;
    for (std::size_t j = i + 1; j < globalElements_.size() && !hidden; ++j)
      hidden = globalPrecedences_[j] > globalPrecedences_[i] &&
               nameOf(globalElements_[j]) == nameOf(globalElements_[i]);
    if (!hidden)
      kept.push_back(globalElements_[i]);
  }
  globalElements_ = std::move(kept);
  globalPrecedences_.clear();
}

void Stylesheet::readAttributeSet(Node* element) {
  auto* compiled = new AttributeSetInstruction(*this, element);
  element->setInstruction(compiled);
  for (auto& [name, definitions] : attributeSets_) {
    if (name == compiled->name()) {
      definitions.push_back(element);
      return;
    }
  }
  attributeSets_.emplace_back(compiled->name(), std::vector<Node*>{element});
}

// Every use-attribute-sets of every file names a set that exists, and no set uses itself,
// directly or through others.
void Stylesheet::checkAttributeSets() const {
  auto check = [this](const Node* element, const Node* attribute) {
    for (const ExpandedName& name : readAttributeSetNames(element, attribute)) {
      if (attributeSet(name) == nullptr)
        throw StylesheetException(locationOf(attribute),
                                  String(kUnknownAttributeSet).append(attributeValue(attribute)));
    }
  };
  auto walk = [&](Document& document) {
    Node* root = document.root();
    for (Node* node = root->firstChild(); node != nullptr; node = nextInDocumentOrder(node, root)) {
      if (node->kind() != NodeKind::Element)
        continue;
      InstructionKind kind = classify(node);
      if (kind == InstructionKind::Element || kind == InstructionKind::Copy ||
          kind == InstructionKind::AttributeSet) {
        if (Node* attribute = findAttribute(node, emptyName(), "use-attribute-sets"))
          check(node, attribute);
      } else if (kind == InstructionKind::Literal && node->instruction() != nullptr) {
        if (Node* attribute = findAttribute(node, xsltNamespaceName(), "use-attribute-sets"))
          check(node, attribute);
      }
    }
  };
  walk(*document_);
  for (const auto& document : imported_)
    walk(*document);
  // Depth-first through the uses; a set met again while it is being expanded is a cycle.
  enum class Mark : std::uint8_t { None, Open, Done };
  std::vector<Mark> marks(attributeSets_.size(), Mark::None);
  auto indexOf = [this](const ExpandedName& name) {
    for (std::size_t i = 0; i < attributeSets_.size(); ++i) {
      if (attributeSets_[i].first == name)
        return i;
    }
    return attributeSets_.size();
  };
  struct Frame {
    std::size_t set;
    std::vector<std::size_t> pending;
  };
  for (std::size_t start = 0; start < attributeSets_.size(); ++start) {
    if (marks[start] != Mark::None)
      continue;
    std::vector<Frame> stack;
    auto open = [&](std::size_t set) {
      marks[set] = Mark::Open;
      Frame frame{set, {}};
      for (const Node* definition : attributeSets_[set].second) {
        const auto* compiled =
            static_cast<const AttributeSetInstruction*>(definition->instruction());
        for (const ExpandedName& used : compiled->uses())
          frame.pending.push_back(indexOf(used));
      }
      stack.push_back(std::move(frame));
    };
    open(start);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.pending.empty()) {
        marks[frame.set] = Mark::Done;
        stack.pop_back();
        continue;
      }
      std::size_t next = frame.pending.back();
      frame.pending.pop_back();
      if (marks[next] == Mark::Open) {
        const ExpandedName& name = attributeSets_[next].first;
        String text(kCircularAttributeSet);
        if (!name.prefix.empty())
          text.append(name.prefix).append(":");
        throw StylesheetException(locationOf(attributeSets_[next].second.front()),
                                  text.append(name.localName));
      }
      if (marks[next] == Mark::None)
        open(next);
    }
  }
}

void Stylesheet::readNamespaceAlias(Node* element) {
  const Node* stylesheetPrefix = xsltAttribute(element, "stylesheet-prefix");
  const Node* resultPrefix = xsltAttribute(element, "result-prefix");
  if (stylesheetPrefix == nullptr || resultPrefix == nullptr)
    throw StylesheetException(locationOf(element), kAliasWithoutPrefixes);
  // The namespace name a prefix ("#default": the default namespace) stands for at element;
  // the default namespace may be undeclared, which is no namespace.
  auto uriOf = [element](const Node* attribute, StringRef& prefix) -> StringRef {
    std::string_view value = attributeValue(attribute);
    std::string_view wanted = value == "#default" ? std::string_view() : value;
    for (const Node* holder = element; holder != nullptr; holder = holder->parent()) {
      for (const Node* ns = holder->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
        if (ns->localName().view() == wanted) {
          prefix = ns->localName();
          return ns->namespaceURI();
        }
      }
    }
    if (!wanted.empty())
      throw StylesheetException(locationOf(attribute),
                                String(kUndeclaredAliasPrefix).append(value));
    prefix = emptyName();
    return emptyName();
  };
  StringRef unused;
  NamespaceAlias alias;
  alias.stylesheetURI = uriOf(stylesheetPrefix, unused);
  alias.resultURI = uriOf(resultPrefix, alias.resultPrefix);
  // A later declaration has at least the same import precedence and wins.
  for (NamespaceAlias& earlier : namespaceAliases_) {
    if (earlier.stylesheetURI == alias.stylesheetURI) {
      earlier = alias;
      return;
    }
  }
  namespaceAliases_.push_back(alias);
}

void Stylesheet::applyNamespaceAliases() {
  if (namespaceAliases_.empty())
    return;
  auto aliasOf = [this](StringRef uri) -> const NamespaceAlias* {
    for (const NamespaceAlias& alias : namespaceAliases_) {
      if (alias.stylesheetURI.view() == uri.view())
        return &alias;
    }
    return nullptr;
  };
  auto walk = [&](Document& document) {
    Node* root = document.root();
    bool simplified = false;
    Node* rootElement = findRoot(document, simplified);
    // Top-level elements in other namespaces are data, not literal result elements.
    Node* foreignTop = nullptr;
    for (Node* node = root->firstChild(); node != nullptr; node = nextInDocumentOrder(node, root)) {
      if (node->kind() != NodeKind::Element)
        continue;
      InstructionKind kind = classify(node);
      if (!simplified && node->parent() == rootElement)
        foreignTop = kind == InstructionKind::Literal ? node : nullptr;
      // The declarations stay, for the names the stylesheet's expressions resolve, but
      // the aliased namespace leaves the result: the new names declare what they need.
      for (Node* ns = node->firstNamespace(); ns != nullptr; ns = ns->rawNextSibling()) {
        if (aliasOf(ns->namespaceURI()) != nullptr)
          static_cast<NamespaceNode*>(ns)->setExcluded();
      }
      if (kind != InstructionKind::Literal || foreignTop != nullptr)
        continue;
      for (Node* attribute = node->firstAttribute(); attribute != nullptr;
           attribute = attribute->rawNextSibling()) {
        if (attribute->namespaceURI().empty() || attribute->namespaceURI() == xsltNamespaceName())
          continue;
        if (const NamespaceAlias* alias = aliasOf(attribute->namespaceURI())) {
          auto* aliased = static_cast<AttributeNode*>(attribute);
          // Literal result elements leave out attributes in the XSLT namespace unless they
          // have a value template attached: one without braces stands for its text.
          if (alias->resultURI == xsltNamespaceName() && attribute->instruction() == nullptr)
            attribute->setInstruction(new AttributeValueTemplate(attributeValue(attribute), node));
          aliased->setNamespaceURI(alias->resultURI);
          if (alias->resultURI.empty())
            aliased->setPrefix(emptyName());
        }
      }
      if (const NamespaceAlias* alias = aliasOf(node->namespaceURI())) {
        auto* aliased = static_cast<ElementNode*>(node);
        aliased->setNamespaceURI(alias->resultURI);
        if (alias->resultURI.empty() || node->prefix().empty())
          aliased->setPrefix(alias->resultURI.empty() ? emptyName() : alias->resultPrefix);
      }
    }
  };
  walk(*document_);
  for (const auto& document : imported_)
    walk(*document);
}

void Stylesheet::readDecimalFormat(Node* element) {
  ExpandedName name;
  DecimalFormat format;
  for (Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty())
      continue;
    std::string_view local = attribute->localName().view();
    if (local == "name") {
      name = readQNameAttribute(element, attribute);
    } else if (local == "infinity") {
      format.infinity = attributeValue(attribute);
    } else if (local == "NaN") {
      format.notANumber = attributeValue(attribute);
    } else {
      static constexpr std::pair<std::string_view, char32_t DecimalFormat::*> kCharacters[] = {
          {"decimal-separator", &DecimalFormat::decimalSeparator},
          {"grouping-separator", &DecimalFormat::groupingSeparator},
          {"percent", &DecimalFormat::percent},
          {"per-mille", &DecimalFormat::perMille},
          {"zero-digit", &DecimalFormat::zeroDigit},
          {"digit", &DecimalFormat::digit},
          {"pattern-separator", &DecimalFormat::patternSeparator},
          {"minus-sign", &DecimalFormat::minusSign},
      };
      auto found = std::find_if(std::begin(kCharacters), std::end(kCharacters),
                                [&](const auto& row) { return row.first == local; });
      if (found != std::end(kCharacters))
        format.*(found->second) = singleCharacter(attribute);
    }
  }
  if (name.empty()) {
    name.namespaceURI = emptyName();
    name.localName = emptyName();
  }
  for (const auto& [declared, value] : decimalFormats_) {
    if (declared == name) {
      if (!(value == format))
        throw StylesheetException(locationOf(element), kDuplicateDecimalFormat);
      return;
    }
  }
  decimalFormats_.emplace_back(name, std::move(format));
}

const DecimalFormat* Stylesheet::decimalFormat(StringRef namespaceURI, StringRef localName) const {
  for (const auto& [name, format] : decimalFormats_) {
    if (name.namespaceURI == namespaceURI && name.localName == localName)
      return &format;
  }
  return nullptr;
}

void Stylesheet::deleteAttachments() {
  if (!compiled_)
    return;
  auto clear = [](Document& document) {
    Node* root = document.root();
    for (Node* node = root; node != nullptr; node = nextInDocumentOrder(node, root)) {
      delete node->instruction();
      node->setInstruction(nullptr);
      for (Node* attribute = node->firstAttribute(); attribute != nullptr;
           attribute = attribute->rawNextSibling()) {
        delete attribute->instruction();
        attribute->setInstruction(nullptr);
      }
    }
  };
  if (document_->root() != nullptr)
    clear(*document_);
  for (const auto& document : imported_) {
    if (document->root() != nullptr)
      clear(*document);
  }
}

bool Stylesheet::transform(Document& source, Serializer& serializer, const Parameters* parameters,
                           ResultDocuments* documents) const {
  Transformation run(*this, source, parameters, documents);
  try {
    run.run(serializer);
    run.commitOwnResultDocuments();
    return true;
  } catch (const TerminateException&) {
    // xsl:message asked to stop: the run ends quietly, its output so far stays.
    return false;
  }
}

}  // namespace ovra
