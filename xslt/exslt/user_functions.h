// EXSLT functions (http://exslt.org/functions): func:function declares, at the top level
// of a stylesheet, a function that expressions call by its expanded name; func:result
// gives its value. The calls reach these through the evaluation host, as they name a
// namespace the function registry does not know.
#pragma once

#include "base/string.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace ovra {

class HostFunction;
class Node;

// Whether element is a func:function.
bool isFunctionDeclaration(const Node* element);
// Whether element is a func:result.
bool isFunctionResult(const Node* element);

// The func:function declarations of a stylesheet, by expanded name: of several with one
// name, the one of highest import precedence.
class UserFunctions {
 public:
  UserFunctions();
  UserFunctions(const UserFunctions&) = delete;
  UserFunctions& operator=(const UserFunctions&) = delete;
  ~UserFunctions();

  // Reads a top-level func:function whose body is compiled. Declarations come lowest
  // import precedence first. Throws StylesheetException for a name that is missing, no
  // QName or in no namespace, or that another function of the same import precedence has.
  void add(Node* element, std::int32_t precedence);
  // Null when the stylesheet declares no function of that name.
  const HostFunction* find(StringRef namespaceURI, StringRef localName) const;

 private:
  class Function;
  std::unordered_map<std::string, std::unique_ptr<Function>> functions_;
};

}  // namespace ovra
