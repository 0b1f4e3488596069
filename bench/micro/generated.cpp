#include "generated.h"

#include <cstdint>

namespace ovra::bench {

std::string generateDocument(int records) {
  std::uint32_t seed = 12345;
  auto random = [&seed](std::uint32_t bound) {
    seed = seed * 1103515245 + 12345;
    return (seed >> 8) % bound;
  };
  std::string text = "<?xml version=\"1.0\"?>\n<site>\n";
  for (int i = 0; i < records; ++i) {
    std::string id = std::to_string(i);
    text += "<record id=\"r" + id + "\" kind=\"k" + std::to_string(random(7)) + "\">";
    text += "<name>Record number " + id + "</name>";
    for (int field = 0; field < 6; ++field) {
      std::string name = "field" + std::to_string(random(kFieldNames));
      text += "<" + name + " n=\"" + std::to_string(random(1000)) + "\">";
      text += "Some text &amp; more text, price " + std::to_string(random(100000) / 100.0);
      if (random(4) == 0)
        text += " <b>bold</b> and &lt;markup&gt;";
      text += "</" + name + ">\n";
    }
    if (i == records - records / 10)
      text += "<rare>found</rare>";
    text += "</record>\n";
  }
  text += "</site>\n";
  return text;
}

}  // namespace ovra::bench
