// Runs stylesheets held in text against sources held in text, the way the transform mode
// does (on a large stack, through a Serializer), and answers the output or the message.
#pragma once

#include "xslt/parameters.h"
#include "xslt/stylesheet.h"

#include <string>
#include <string_view>
#include <vector>

namespace ovra {

// A parameter passed to the run, its name resolved at the stylesheet's root element.
struct TestParameter {
  const char* name;
  const char* value;
  Parameters::Kind kind = Parameters::Kind::String;
};

struct TransformResult {
  std::string output;    // everything written, also when an error ended the run
  std::string error;     // the message of the XSLException that ended loading or the run
  std::string warnings;  // each as "TEXT on line N in FILE\n", in the order reported
};

// The stylesheet is named "s.xsl" and the source "in.xml" in messages.
TransformResult transformText(std::string_view stylesheet, std::string_view source,
                              const std::vector<TestParameter>& parameters = {},
                              CompileOptions options = {});

// "WARNING: " and the text of each warning on a line of its own, then the output, or
// "ERROR: " and the message when there was one.
std::string transformOrError(std::string_view stylesheet, std::string_view source,
                             const std::vector<TestParameter>& parameters = {},
                             CompileOptions options = {});

// Options that make unknown attributes on XSLT elements errors.
CompileOptions strictOptions();

// An xsl:stylesheet element around topLevel, writing no XML declaration.
std::string stylesheetOf(std::string_view topLevel);

// The text output of <xsl:value-of select="expression"/> run at the source's root, or
// "ERROR: " and the message. The stylesheet binds exsl, common (both EXSLT common), str
// (EXSLT strings) and my (urn:mine), and has a variable $rtf holding <x>1</x><y/>.
std::string valueOfExpression(std::string_view expression,
                              std::string_view source = "<r><a>1</a><a>2</a></r>");

}  // namespace ovra
