// The floor under any expat-based processor: parse a file with expat and do nothing with
// what it reports. Reads the way ovra reads (64 KB chunks, namespace processing on), so
// the difference from an ovra run is the work ovra does on top of the parse.
//
//   ovra_expat_floor FILE [--no-ns] [--handlers]
//
// --no-ns parses without namespace processing; --handlers installs empty element and
// text handlers (the cost of expat calling out, with nothing done there). Prints the
// wall time of the parse in milliseconds and the element count when handlers run.
#include <expat.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

long elements = 0;

void XMLCALL onStart(void*, const XML_Char*, const XML_Char**) { ++elements; }
void XMLCALL onEnd(void*, const XML_Char*) {}
void XMLCALL onText(void*, const XML_Char*, int) {}

}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  bool namespaces = true;
  bool handlers = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-ns") == 0)
      namespaces = false;
    else if (std::strcmp(argv[i], "--handlers") == 0)
      handlers = true;
    else
      path = argv[i];
  }
  if (path == nullptr) {
    std::fprintf(stderr, "usage: ovra_expat_floor FILE [--no-ns] [--handlers]\n");
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "Could not open file, %s\n", path);
    return 1;
  }
  XML_Parser parser = namespaces ? XML_ParserCreateNS(nullptr, '\x01') : XML_ParserCreate(nullptr);
  if (handlers) {
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
  }
  int status = 0;
  for (;;) {
    void* buffer = XML_GetBuffer(parser, 65536);
    if (buffer == nullptr) {
      std::fprintf(stderr, "Out of memory\n");
      status = 1;
      break;
    }
    const std::size_t count = std::fread(buffer, 1, 65536, file);
    const bool final = count < 65536;
    if (XML_ParseBuffer(parser, int(count), final) != XML_STATUS_OK) {
      std::fprintf(stderr, "%s at line %lu\n", XML_ErrorString(XML_GetErrorCode(parser)),
                   static_cast<unsigned long>(XML_GetCurrentLineNumber(parser)));
      status = 1;
      break;
    }
    if (final)
      break;
  }
  XML_ParserFree(parser);
  std::fclose(file);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (handlers)
    std::printf("%.1f ms, %ld elements\n", ms, elements);
  else
    std::printf("%.1f ms\n", ms);
  return status;
}
