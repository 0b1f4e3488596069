#include "base/exceptions.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_document.h"
#include "tree/document.h"
#include "tree/encoding.h"
#include "tree/node.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ovra {
namespace {

std::string declared(const std::string& encoding, const std::string& body) {
  return "<?xml version='1.0' encoding='" + encoding + "'?>\n<r>" + body + "</r>";
}

std::string utf32(const std::string& ascii, bool big, bool mark) {
  std::string text;
  auto put = [&](unsigned code) {
    for (int i = 0; i < 4; ++i)
      text += char(big ? (code >> (24 - 8 * i)) & 0xFF : (code >> (8 * i)) & 0xFF);
  };
  if (mark)
    put(0xFEFF);
  for (char c : ascii)
    put(static_cast<unsigned char>(c));
  return text;
}

struct EncodingCase {
  std::string input;
  const char* expected;  // the string value of the document, in UTF-8
};

// Every chunking of the input gives the same text: declarations and multi-byte characters
// split across reads must not matter.
TEST(EncodingTest, DeclaredEncodingsReadAsUnicode) {
  const EncodingCase cases[] = {
      {declared("ASCII", "plain"), "plain"},
      {declared("us-ascii", "plain"), "plain"},
      {declared("ANSI_X3.4-1968", "plain"), "plain"},
      {declared("latin1", "caf\xE9"), "caf\xC3\xA9"},
      {declared("ISO_8859-1", "caf\xE9"), "caf\xC3\xA9"},
      {declared("windows-1252", "\x80\x93"), "\xE2\x82\xAC\xE2\x80\x9C"},
      {declared("ISO-8859-15", "\xA4"), "\xE2\x82\xAC"},
      {declared("csISOLatin2", "\xB1"), "\xC4\x85"},
      {declared("KOI8-R", "\xC1"), "\xD0\xB0"},
      {declared("Shift_JIS", "\x82\xA0<a/>\x82\xA0"), "\xE3\x81\x82\xE3\x81\x82"},
      {declared("csShiftJIS", "\x82\xA0"), "\xE3\x81\x82"},
      {declared("EUC-JP", "\xA4\xA2"), "\xE3\x81\x82"},
      {declared("Extended_UNIX_Code_Packed_Format_for_Japanese", "\xA4\xA2"), "\xE3\x81\x82"},
      {declared("Big5", "\xA4\xA4"), "\xE4\xB8\xAD"},
      {declared("GB18030", "\x94\x39\xFC\x36"), "\xF0\x9F\x98\x80"},
      {declared("ISO-2022-JP", "\x1B$B$\"\x1B(B"), "\xE3\x81\x82"},
      {declared("UTF-8", "\xC3\xA9"), "\xC3\xA9"},
      // a byte-order mark before the declaration
      {"\xEF\xBB\xBF" + declared("ISO-8859-15", "\xA4"), "\xE2\x82\xAC"},
      // no declaration, or one without an encoding: UTF-8
      {"<r>\xC3\xA9</r>", "\xC3\xA9"},
      {"<?xml version='1.0'?><r>\xC3\xA9</r>", "\xC3\xA9"},
      {"<?xml-stylesheet href='a'?><r>x</r>", "x"},
      // UTF-32 of either byte order, with a mark or without
      {utf32("<?xml version='1.0' encoding='UTF-32'?><r>u</r>", true, true), "u"},
      {utf32("<r>u</r>", false, false), "u"},
      {utf32("<r>u</r>", false, true), "u"},
      // UTF-16 the parser reads itself
      {std::string("\xFF\xFE<\0r\0>\0\xE9\0<\0/\0r\0>\0", 18), "\xC3\xA9"},
      // EBCDIC: <?xml version='1.0' encoding='IBM037'?><r>A</r>
      {"\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7D\xF1\x4B\xF0\x7D\x40\x85\x95"
       "\x83\x96\x84\x89\x95\x87\x7E\x7D\xC9\xC2\xD4\xF0\xF3\xF7\x7D\x6F\x6E\x4C\x99\x6E\xC1\x4C"
       "\x61\x99\x6E",
       "A"},
  };
  for (const EncodingCase& c : cases) {
    for (std::size_t buffer : {1, 2, 7, 65536}) {
      std::string value;
      try {
        TestDocument doc(c.input, buffer);
        value = doc.root()->stringValue().c_str();
      } catch (const DocumentParseException& error) {
        value = error.message().c_str();
      }
      EXPECT_EQ(value, c.expected) << c.input.substr(0, 60) << " in chunks of " << buffer;
    }
  }
}

TEST(EncodingTest, UnreadableInputNamesTheEncoding) {
  const EncodingCase cases[] = {
      {declared("x-unknown", "a"), "test.xml:1:1: error: unknown encoding 'x-unknown'"},
      // a name iconv would read as a request, not an encoding
      {declared("UTF-8//TRANSLIT", "a"), "test.xml:1:1: error: unknown encoding 'UTF-8//TRANSLIT'"},
      {declared("windows-1252", "\n\n\x81"),
       "test.xml:4:1: error: invalid byte sequence for encoding 'windows-1252'"},
      {declared("Shift_JIS", "\x82<a/>"),
       "test.xml:2:4: error: invalid byte sequence for encoding 'Shift_JIS'"},
      // a character cut off by the end of the input
      {declared("Shift_JIS", "") + "\n\x82",
       "test.xml:3:1: error: invalid byte sequence for encoding 'Shift_JIS'"},
      // the parser's own checks stay: US-ASCII has no byte above 127
      {declared("ASCII", "\xE9"), "test.xml:2:4: error: not well-formed (invalid token)"},
  };
  for (const EncodingCase& c : cases) {
    for (std::size_t buffer : {1, 7, 65536}) {
      std::string message = "(no error)";
      try {
        TestDocument doc(c.input, buffer);
        doc.document().parseAll();
      } catch (const DocumentParseException& error) {
        message = error.message().c_str();
      }
      EXPECT_EQ(message, c.expected) << c.input << " in chunks of " << buffer;
    }
  }
}

TEST(EncodingTest, NamesAreKnownUnderEveryRegisteredAlias) {
  for (const char* name :
       {"ASCII",       "US-ASCII",     "latin1",      "L1",          "IBM819", "csASCII",
        "utf8",        "windows-1250", "cp1252",      "ISO-8859-16", "KOI8-U", "MS_Kanji",
        "Windows-31J", "GBK",          "GB2312",      "Big5-HKSCS",  "EUC-KR", "TIS-620",
        "csBig5",      "csUTF8",       "csISO885915", "IBM1047",     "UTF-32", "UCS-2"})
    EXPECT_TRUE(InputDecoder::isKnown(name)) << name;
  for (const char* name : {"", "x-foo", "UTF-8//IGNORE", "1252", "UTF 8"})
    EXPECT_FALSE(InputDecoder::isKnown(name)) << name;
  EXPECT_STREQ(InputDecoder::parserNativeName("Latin1"), "ISO-8859-1");
  EXPECT_STREQ(InputDecoder::parserNativeName("ansi_x3.4-1968"), "US-ASCII");
  EXPECT_EQ(InputDecoder::parserNativeName("windows-1252"), nullptr);
}

class EncodingFileTest : public ScratchDirTest {};

// The DTD and external entities declare their own encodings in text declarations.
TEST_F(EncodingFileTest, ExternalEntitiesHaveTheirOwnEncoding) {
  write("latin9.dtd",
        "<?xml encoding='ISO-8859-15'?><!ENTITY euro '\xA4'><!ENTITY % part SYSTEM 'part.ent'>"
        "%part;");
  write("part.ent", "<?xml version='1.0' encoding='KOI8-R'?><!ENTITY a '\xC1'>");
  write("text.ent", "<?xml encoding='Shift_JIS'?>\x82\xA0");
  std::string path =
      write("doc.xml", "<?xml version='1.0' encoding='ASCII'?>\n"
                       "<!DOCTYPE r SYSTEM 'latin9.dtd' [<!ENTITY t SYSTEM 'text.ent'>]>"
                       "<r>&euro;&a;&t;</r>");
  Document document(path.c_str(), Document::kSourceBufferSize, false);
  document.parseAll();
  EXPECT_EQ(document.root()->stringValue().view(), "\xE2\x82\xAC\xD0\xB0\xE3\x81\x82");
}

}  // namespace
}  // namespace ovra
