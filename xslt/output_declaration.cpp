#include "xslt/output_declaration.h"

#include "base/exceptions.h"
#include "output/encoder.h"
#include "tree/location.h"
#include "tree/node.h"
#include "tree/qname.h"
#include "xslt/instruction.h"

namespace ovra {

namespace {

constexpr const char* kUnknownOutputMethod = "Unknown output method";
constexpr const char* kOtherOutputMethod = "Output method %s is not known here: xml is used";
constexpr const char* kBadOmitXmlDeclaration =
    "Expecting omit-xml-declartion attribute to have value 'yes' or 'no'";
constexpr const char* kBadStandalone = "Expecting standalone attribute to have value 'yes' or 'no'";
constexpr const char* kBadIndent = "Expecting indent attribute to have value 'yes' or 'no'";
constexpr const char* kUnsupportedEncoding = "Unsupported output encoding, ";
constexpr const char* kUndeclaredCdataPrefix =
    "Undeclared namespace prefix in cdata-section-elements, ";

bool readYesNo(const Node* attribute, std::string_view value, const char* message) {
  if (value == "yes")
    return true;
  if (value == "no")
    return false;
  throw StylesheetException(locationOf(attribute), message);
}

// Each name is a QName resolved at the xsl:output element. An unprefixed name takes the
// default namespace in effect there, as every other element name in the result does.
void readCdataSectionElements(OutputSettings& settings, const Node* attribute,
                              std::string_view list) {
  const Node* element = attribute->parent();
  forEachToken(list, [&](std::string_view name) {
    std::string_view prefix = qnamePrefix(name);
    StringRef uri = lookupNamespace(element, prefix);
    if (!prefix.empty() && uri.empty())
      throw StylesheetException(locationOf(attribute), String(kUndeclaredCdataPrefix).append(name));
    std::string key(uri.view());
    key += '/';
    key += qnameLocalPart(name);
    settings.addCdataSectionElement(key);
  });
}

// XSLT 1.0 section 16: a method in a namespace is the implementation's to define; none is
// defined here.
void otherMethod(const Node* attribute, std::string_view value, OutputSettings& settings) {
  warnAt(attribute, formatMessage(kOtherOutputMethod, String(value).c_str()).view());
  settings.method = OutputMethod::Xml;
}

}  // namespace

void readOutputDeclaration(OutputSettings& settings, const Node* element) {
  // Attributes are complete when their element is made: no lazy sibling walk needed.
  for (const Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    // Attributes in a namespace belong to whoever put them there, as on every other
    // XSLT element.
    if (!attribute->namespaceURI().empty())
      continue;
    const char* valueText = static_cast<const AttributeNode*>(attribute)->value();
    applyOutputAttribute(settings, attribute,
                         valueText ? std::string_view(valueText) : std::string_view());
  }
}

void applyOutputAttribute(OutputSettings& settings, const Node* attribute, std::string_view value) {
  std::string_view name = attribute->localName().view();
  if (name == "method") {
    if (value == "html")
      settings.method = OutputMethod::Html;
    else if (value == "xml")
      settings.method = OutputMethod::Xml;
    else if (value == "text")
      settings.method = OutputMethod::Text;
    else if (isQName(value) && !qnamePrefix(value).empty())
      otherMethod(attribute, value, settings);
    else
      throw StylesheetException(locationOf(attribute), kUnknownOutputMethod);
  } else if (name == "version") {
    settings.version = value;
  } else if (name == "encoding") {
    // Checked here so that a stylesheet naming an encoding we cannot write fails when
    // it loads, not halfway through its output.
    if (!Encoder::isSupported(value))
      throw StylesheetException(locationOf(attribute), String(kUnsupportedEncoding).append(value));
    settings.encoding = value;
  } else if (name == "omit-xml-declaration") {
    settings.omitXmlDeclaration = readYesNo(attribute, value, kBadOmitXmlDeclaration);
  } else if (name == "standalone") {
    settings.standalone = readYesNo(attribute, value, kBadStandalone);
  } else if (name == "doctype-public") {
    settings.doctypePublic = value;
  } else if (name == "doctype-system") {
    settings.doctypeSystem = value;
  } else if (name == "media-type") {
    settings.mediaType = value;
  } else if (name == "indent") {
    settings.indent = readYesNo(attribute, value, kBadIndent);
    settings.indentGiven = true;
  } else if (name == "cdata-section-elements") {
    readCdataSectionElements(settings, attribute, value);
  }
}

}  // namespace ovra
