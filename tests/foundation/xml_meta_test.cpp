#include "foundation/xml_meta.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/fake_clock.hpp"
#include "support/log_capture.hpp"

using wdrx::testing::readFile;

namespace {

class XmlMeta : public ::testing::Test {
 protected:
  pugi::xml_document parse(const std::string& text) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(text.c_str()));
    return document;
  }
  wdrx::testing::TempDir dir;
  wdrx::testing::LogCapture log;
  wdrx::testing::FakeClock clock{1759708800};  // Mon Oct 06 2025
};

std::string metaOf(const std::string& entries, bool withRoot = true) {
  const std::string meta = "<meta>" + entries + "</meta>";
  return withRoot ? "<root>" + meta + "</root>" : meta;
}

TEST_F(XmlMeta, WrittenBlockReadsBack) {
  pugi::xml_document document;
  XmlMetaInfo info;
  info.version = "12.5.4";
  info.sim = 5;
  ASSERT_TRUE(gf_writeXmlMeta(document, info));
  const auto meta = document.child("root").child("meta");
  std::vector<std::string> names;
  for (auto entry : meta.children("info")) {
    names.emplace_back(entry.attribute("name").value());
    EXPECT_STREQ(entry.first_attribute().name(), "name");
    EXPECT_STREQ(entry.first_attribute().next_attribute().name(), "value");
  }
  EXPECT_EQ(names, (std::vector<std::string>{"author", "version", "date", "copyright", "sim"}));

  const auto read = gf_readXmlMeta(document, false);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->author, "Wendrix_P3D");
  EXPECT_EQ(read->version, "12.5.4");
  EXPECT_EQ(read->date, "Okt 06, 2025");
  EXPECT_EQ(read->sim, 5);
  EXPECT_EQ(read->p3d, "");

  // A second block is appended, never merged; the existing root is reused.
  ASSERT_TRUE(gf_writeXmlMeta(document, info));
  EXPECT_EQ(std::distance(document.children("root").begin(), document.children("root").end()), 1);
  EXPECT_EQ(std::distance(document.child("root").children("meta").begin(),
                          document.child("root").children("meta").end()), 2);
}

TEST_F(XmlMeta, ReadRules) {
  const std::string copyright = R"(<info name="copyright" value="c"/>)";
  // No copyright entry: empty, nothing logged.
  auto document = parse(metaOf(R"(<info name="author" value="a"/><info name="sim" value="5"/>)"));
  EXPECT_FALSE(gf_readXmlMeta(document, true));
  EXPECT_EQ(log.text(), "");

  // An empty copyright value ends the walk with the marked line.
  document = parse(metaOf(R"(<info name="copyright" value=""/><info name="sim" value="5"/>)"));
  EXPECT_FALSE(gf_readXmlMeta(document, true));
  EXPECT_EQ(log.text(), "==> no copyright info in the file?\n");

  // Copyright and author without any simulator entry: only with the flag.
  document = parse(metaOf(copyright + R"(<info name="author" value="a"/>)"));
  EXPECT_FALSE(gf_readXmlMeta(document, false));
  const auto accepted = gf_readXmlMeta(document, true);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->author, "a");
  EXPECT_EQ(accepted->sim, -1);

  // P3D or MSFS entries count as a simulator; the first of two equal keys counts.
  document = parse(metaOf(copyright + R"(<info name="P3D" value="v5"/><info name="MSFS" value="m"/>)"
                                      R"(<info name="version" value="1.0.0"/><info name="version" value="2.0.0"/>)"));
  auto read = gf_readXmlMeta(document, false);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->p3d, "v5");
  EXPECT_EQ(read->msfs, "m");
  EXPECT_EQ(read->version, "1.0.0");

  // No root: meta at the top level; a sim value that is no number is 0.
  document = parse(metaOf(copyright + R"(<info name="sim" value="abc"/>)", false));
  read = gf_readXmlMeta(document, false);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->sim, 0);

  document = parse("<root><other/></root>");
  EXPECT_FALSE(gf_readXmlMeta(document, true));
}

TEST_F(XmlMeta, SavingWritesTheDeclarationAndTwoBlankIndent) {
  auto document = parse(R"(<?xml version="1.1" encoding="ISO-8859-1"?><root><a><b x="1"/></a></root>)");
  ASSERT_TRUE(gf_saveXmlWithDeclaration(document, dir / "one.xml"));
  EXPECT_EQ(readFile(dir / "one.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <a>\n    <b x=\"1\" />\n  </a>\n</root>\n");

  document = parse(R"(<?xml version="1.0"?><root/>)");
  ASSERT_TRUE(gf_saveXmlWithDeclaration(document, dir / "two.xml"));
  EXPECT_EQ(readFile(dir / "two.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root />\n");

  pugi::xml_document fresh;
  fresh.append_child("root").append_attribute("n").set_value("Z\xC3\xBCrich");
  ASSERT_TRUE(gf_saveXmlWithDeclaration(fresh, dir / "three.xml"));
  EXPECT_EQ(readFile(dir / "three.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root n=\"Z\xC3\xBCrich\" />\n");

  EXPECT_FALSE(gf_saveXmlWithDeclaration(fresh, dir / "missing" / "four.xml"));
}

// Kept unknown elements may nest thousands deep (a small file): growing indentation would make
// the saved file grow with the square of the depth.
TEST_F(XmlMeta, ADeeplyNestedDocumentIsSavedInLinearSize) {
  std::string nested;
  for (int i = 0; i < 2000; ++i) nested += "<u>";
  nested += "deepest";
  for (int i = 0; i < 2000; ++i) nested += "</u>";
  auto document = parse("<root><parameters/>" + nested + "</root>");
  ASSERT_TRUE(gf_saveXmlWithDeclaration(document, dir / "deep.xml"));
  const std::string saved = readFile(dir / "deep.xml");
  EXPECT_LT(saved.size(), 2 * nested.size());
  EXPECT_NE(saved.find(nested), std::string::npos);

  std::string wide;  // many elements side by side are not deep: still indented
  for (int i = 0; i < 40; ++i) wide += "<p>1</p>";
  document = parse("<root>" + wide + "</root>");
  ASSERT_TRUE(gf_saveXmlWithDeclaration(document, dir / "wide.xml"));
  EXPECT_NE(readFile(dir / "wide.xml").find("\n  <p>1</p>\n  <p>1</p>\n"), std::string::npos);

  // The limit itself: 32 levels of elements are still indented, 33 are written raw and logged.
  for (const auto& [levels, indented] : {std::pair{32, true}, std::pair{33, false}}) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<u>";
    for (int i = 0; i < levels; ++i) text += "</u>";
    document = parse(text);
    const std::string name = std::to_string(levels) + ".xml";
    ASSERT_TRUE(gf_saveXmlWithDeclaration(document, dir / name));
    EXPECT_EQ(readFile(dir / name).find("\n  <u>") != std::string::npos, indented) << levels;
    EXPECT_EQ(log.text().find(name + " nests elements deeper than 32") != std::string::npos, !indented) << levels;
  }
}

// Declarations kept by the parser are rewritten in place: version first, then encoding, then
// the rest; a second one is never added.
TEST_F(XmlMeta, SavingRewritesAParsedDeclarationInOrder) {
  const struct {
    const char* input;
    const char* firstLine;
  } cases[] = {
      {R"(<?xml version="1.1" encoding="ISO-8859-1"?><root/>)", R"(<?xml version="1.0" encoding="UTF-8"?>)"},
      {R"(<?xml encoding="ISO-8859-1"?><root/>)", R"(<?xml version="1.0" encoding="UTF-8"?>)"},
      {R"(<?xml standalone="yes" encoding="x" version="1.0"?><root/>)",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"},
      {R"(<?xml version="1.0"?><root/>)", R"(<?xml version="1.0" encoding="UTF-8"?>)"},
      {R"(<root/>)", R"(<?xml version="1.0" encoding="UTF-8"?>)"},
  };
  for (const auto& c : cases) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(c.input, pugi::parse_default | pugi::parse_declaration)) << c.input;
    ASSERT_TRUE(gf_saveXmlWithDeclaration(document, dir / "d.xml"));
    const std::string text = readFile(dir / "d.xml");
    EXPECT_EQ(text.substr(0, text.find('\n')), c.firstLine) << c.input;
    EXPECT_EQ(text.find("<?xml", 1), std::string::npos) << c.input;
  }
}

}  // namespace
