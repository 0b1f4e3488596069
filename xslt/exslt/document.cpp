// exsl:document: several result files from one run.
#include "base/exceptions.h"
#include "output/serializer.h"
#include "tree/uri.h"
#include "xslt/exslt/elements.h"
#include "xslt/output_declaration.h"
#include "xslt/result_documents.h"
#include "xslt/transform.h"

#include <cstdio>
#include <string>

namespace ovra {

static constexpr char kNoHref[] = "A href attribute must be provided for a exsl:document";
static constexpr char kEmptyHref[] = "The href computed for a exsl:document is empty";
static constexpr char kNotLocal[] = "exsl:document writes local files only, not ";

ExsltDocumentInstruction::ExsltDocumentInstruction(const Stylesheet& stylesheet, Node* element)
    : Instruction(stylesheet, element) {
  for (const Node* attribute = element->firstAttribute(); attribute != nullptr;
       attribute = attribute->rawNextSibling()) {
    if (!attribute->namespaceURI().empty())
      continue;
    auto value = reportedAt(attribute, [&] {
      return std::make_unique<AttributeValueTemplate>(attributeValue(attribute), element);
    });
    if (attribute->localName().view() == "href")
      href_ = std::move(value);
    else
      settings_.push_back(Setting{attribute, std::move(value)});
  }
}

ExsltDocumentInstruction::~ExsltDocumentInstruction() = default;

void ExsltDocumentInstruction::execute(const Focus& focus, ResultSink& sink) const {
  if (!href_)
    fail(kNoHref);
  EvalContext context = evalContext(focus, sink);
  String href = href_->expand(context);
  if (href.empty())
    fail(kEmptyHref);
  OutputSettings settings;
  for (const Setting& setting : settings_)
    applyOutputAttribute(settings, setting.attribute, setting.value->expand(context).view());
  Transformation& run = sink.run();
  std::string path = ResultDocuments::resolve(run.outputURI(), href.view());
  if (path.empty())
    fail(String(kNotLocal).append(href));
  ResultDocuments& documents = run.resultDocuments();
  // Failures of the file system are reported at the element that asked for the file.
  auto atElement = [&](auto&& step) {
    try {
      step();
    } catch (const OutputException& error) {
      fail(error.text());
    }
  };
  std::FILE* stream = nullptr;
  atElement([&] { stream = documents.begin(path); });
  int writeError = 0;
  {
    Serializer serializer(stream);
    serializer.settings() = settings;
    serializer.startDocument();
    // Documents inside this one resolve their hrefs against it.
    Transformation::OutputScope scope(run, fileURI(path));
    SerializerResultSink content(serializer, sink.variables(), &run);
    content.executeChildren(element(), focus);
    serializer.endDocument();
    serializer.flush();
    writeError = serializer.writeError();
  }
  atElement([&] { documents.end(path, writeError); });
}

}  // namespace ovra
