// xsl:output: the declaration that fills the output settings the serializer follows.
#pragma once

#include "output/output_settings.h"

#include <string_view>

namespace ovra {

class Node;

// Applies the attributes of one xsl:output element in document order; several elements
// are applied one after the other, later values overriding earlier ones and CDATA section
// names accumulating. Names are resolved at the element, so the settings hold expanded
// names only. Throws StylesheetException at the first bad attribute value.
void readOutputDeclaration(OutputSettings& settings, const Node* element);

// Applies one such attribute (in no namespace), with value in place of the attribute's
// own: exsl:document takes the same attributes, as templates expanded at run time.
// Attributes of other names change nothing.
void applyOutputAttribute(OutputSettings& settings, const Node* attribute, std::string_view value);

}  // namespace ovra
