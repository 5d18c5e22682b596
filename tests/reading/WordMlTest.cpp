// Word's XML formats in files named .doc, read as the viewer reads them
// (OpenDocument with the reading layout): Word 2007+ packages built here as
// zips (stored and deflated members) or flat XML, Word 2003 XML documents,
// and the files that must give the damaged or encrypted answer.

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/Utf.h"
#include "converter/WordFib.h"
#include "loading/Loaders.h"
#include "support/CfbWriter.h"

namespace pagelet {
namespace {

// --- Building packages ---

struct TMember {
    std::string name;
    std::string data;
    bool deflate = true;
    // For damaged archives: the size the directory claims (0: the true one).
    uint32_t claimedSize = 0;
};

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::string Deflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::vector<uint8_t> Zip(const std::vector<TMember>& members) {
    std::string out, directory;
    for (const TMember& m : members) {
        const std::string packed = m.deflate ? Deflate(m.data) : m.data;
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
        const uint32_t size = m.claimedSize != 0 ? m.claimedSize : static_cast<uint32_t>(m.data.size());
        auto header = [&](std::string& to, bool central) {
            Put32(to, central ? 0x02014b50 : 0x04034b50);
            if (central) Put16(to, 20);
            Put16(to, 20);
            Put16(to, 0);
            Put16(to, m.deflate ? 8 : 0);
            Put32(to, 0);
            Put32(to, crc);
            Put32(to, static_cast<uint32_t>(packed.size()));
            Put32(to, size);
            Put16(to, static_cast<uint32_t>(m.name.size()));
            Put16(to, 0);
            if (central) {
                for (int k = 0; k < 3; ++k) Put16(to, 0);  // comment length, disk, internal attributes
                Put32(to, 0);
                Put32(to, static_cast<uint32_t>(out.size()));
            }
            to += m.name;
        };
        header(directory, true);
        header(out, false);
        out += packed;
    }
    const auto at = static_cast<uint32_t>(out.size());
    out += directory;
    Put32(out, 0x06054b50);
    Put32(out, 0);
    Put16(out, static_cast<uint32_t>(members.size()));
    Put16(out, static_cast<uint32_t>(members.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, at);
    Put16(out, 0);
    return {out.begin(), out.end()};
}

constexpr char kW[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr char kR[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr char kRelTypes[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// A part of the main document beside document.xml: its relationship type and XML.
struct TPart {
    std::string type;  // "numbering", "footnotes", "header"...
    std::string xml;   // the root's content; the root is w:<rootOf(type)>
};

std::string RootOf(const std::string& type) {
    if (type == "header") return "hdr";
    if (type == "footer") return "ftr";
    return type;
}

// The parts of a package whose document body is `body`.
std::vector<TMember> PackageMembers(const std::string& body, const std::vector<TPart>& parts = {}) {
    const std::string ns = std::string(" xmlns:w=\"") + kW + "\" xmlns:r=\"" + kR + "\"";
    std::string types =
        "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
    std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::vector<TMember> members = {
        {"[Content_Types].xml", types},
        {"_rels/.rels", std::string("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                    "<Relationship Id=\"rId1\" Type=\"") +
                            kRelTypes + "officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document" + ns + "><w:body>" + body +
                                  "</w:body></w:document>"},
    };
    int id = 10;
    for (const TPart& part : parts) {
        const std::string name = part.type + std::to_string(id) + ".xml";
        rels += "<Relationship Id=\"rId" + std::to_string(id) + "\" Type=\"" + kRelTypes + part.type + "\" Target=\"" +
                name + "\"/>";
        members.push_back({"word/" + name, "<w:" + RootOf(part.type) + ns + ">" + part.xml + "</w:" + RootOf(part.type) + ">"});
        ++id;
    }
    members.push_back({"word/_rels/document.xml.rels", rels + "</Relationships>"});
    return members;
}

// --- Reading ---

// The text the viewer shows, with LF line ends; "error: <message>" when it throws, "none" when not shown.
std::string ViewerText(const std::vector<uint8_t>& bytes) {
    TTempFile file(bytes);
    TLoadSettings settings;
    settings.ReadingLayout = true;
    try {
        // The layout's whole answer, however long a slow machine takes.
        auto document = OpenDocument(file.Path(), settings, std::chrono::minutes(1));
        if (!document) return "none";
        std::string text = Utf16ToUtf8(ReadWholeText(std::move(*document)));
        std::string lf;
        for (char c : text)
            if (c != '\r') lf += c;
        return lf;
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string P(const std::string& runs, const std::string& pPr = "") {
    return "<w:p>" + (pPr.empty() ? "" : "<w:pPr>" + pPr + "</w:pPr>") + runs + "</w:p>";
}
std::string R(const std::string& text, const std::string& rPr = "") {
    return "<w:r>" + (rPr.empty() ? "" : "<w:rPr>" + rPr + "</w:rPr>") + "<w:t xml:space=\"preserve\">" + text +
           "</w:t></w:r>";
}
std::string Cell(const std::string& content) { return "<w:tc><w:tcPr><w:tcW w:w=\"100\"/></w:tcPr>" + content + "</w:tc>"; }
std::string Row(const std::string& cells) { return "<w:tr>" + cells + "</w:tr>"; }
std::string Table(const std::string& rows) { return "<w:tbl><w:tblPr/><w:tblGrid/>" + rows + "</w:tbl>"; }

const std::string kNumbering =
    "<w:abstractNum w:abstractNumId=\"1\">"
    "<w:lvl w:ilvl=\"0\"><w:start w:val=\"1\"/><w:numFmt w:val=\"decimal\"/><w:lvlText w:val=\"%1.\"/></w:lvl>"
    "<w:lvl w:ilvl=\"1\"><w:start w:val=\"1\"/><w:numFmt w:val=\"lowerLetter\"/><w:lvlText w:val=\"%1.%2)\"/>"
    "<w:suff w:val=\"space\"/></w:lvl></w:abstractNum>"
    "<w:abstractNum w:abstractNumId=\"2\"><w:lvl w:ilvl=\"0\"><w:numFmt w:val=\"bullet\"/><w:lvlText w:val=\"o\"/></w:lvl>"
    "</w:abstractNum>"
    "<w:abstractNum w:abstractNumId=\"3\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"4\"/><w:numFmt w:val=\"upperRoman\"/>"
    "<w:lvlText w:val=\"%1\"/><w:suff w:val=\"nothing\"/></w:lvl></w:abstractNum>"
    "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"1\"/></w:num>"
    "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"2\"/></w:num>"
    "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"3\"/></w:num>"
    "<w:num w:numId=\"4\"><w:abstractNumId w:val=\"1\"/><w:lvlOverride w:ilvl=\"0\"><w:startOverride w:val=\"7\"/>"
    "</w:lvlOverride></w:num>";
std::string NumPr(int numId, int ilvl) {
    return "<w:numPr><w:ilvl w:val=\"" + std::to_string(ilvl) + "\"/><w:numId w:val=\"" + std::to_string(numId) +
           "\"/></w:numPr>";
}
const std::string kStyles =
    "<w:style w:type=\"character\" w:styleId=\"Secret\"><w:rPr><w:vanish/></w:rPr></w:style>"
    "<w:style w:type=\"character\" w:styleId=\"SecretToo\"><w:basedOn w:val=\"Secret\"/></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Listed\"><w:pPr>" + NumPr(3, 0) + "</w:pPr></w:style>";

struct TPackageCase {
    const char* what;
    std::string body;
    std::vector<TPart> parts;
    std::string text;
};

TEST(WordPackage, EventsAsTheWordReaderMakesThem) {
    const std::string footnotes =
        "<w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/><w:t>SEP</w:t></w:r></w:p></w:footnote>"
        "<w:footnote w:id=\"5\"><w:p><w:r><w:footnoteRef/></w:r>" + R(" First note") + "</w:p></w:footnote>"
        "<w:footnote w:id=\"6\"><w:p><w:r><w:footnoteRef/></w:r>" + R(" Second note") +
        "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r></w:p></w:footnote>";
    const TPackageCase cases[] = {
        {"runs: tab, breaks, symbols, hyphens",
         P(R("One") + "<w:r><w:tab/><w:t>two</w:t><w:br/><w:t>three</w:t><w:noBreakHyphen/><w:t>four</w:t>"
                      "<w:softHyphen/><w:sym w:font=\"Symbol\" w:char=\"F061\"/></w:r>") +
             P(R("Next")),
         {},
         "One\ttwo\nthree-four\u03b1\nNext\n"},
        {"fields show their results, not their instructions",
         P(R("A ") + "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>"
                     "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" +
           R("7") + "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>" +
           "<w:fldSimple w:instr=\" DATE \">" + R(" today") + "</w:fldSimple>" + R(" B")),
         {},
         "A 7 today B\n"},
        {"tracked changes and hidden text",
         P(R("kept ") + "<w:del w:id=\"1\"><w:r><w:delText>gone </w:delText></w:r></w:del>" +
           "<w:ins w:id=\"2\">" + R("added ") + "</w:ins>" + R("hidden ", "<w:vanish/>") +
           R("styled ", "<w:rStyle w:val=\"SecretToo\"/>") + R("shown ", "<w:rStyle w:val=\"SecretToo\"/><w:vanish w:val=\"0\"/>") +
           "<w:moveFrom w:id=\"3\">" + R("moved") + "</w:moveFrom>" +
           "<w:r><w:rPr><w:rPrChange><w:rPr><w:vanish/></w:rPr></w:rPrChange></w:rPr><w:t>end</w:t></w:r>"),
         {{"styles", kStyles}},
         "kept added shown end\n"},
        {"rows of cells; a nested table after its cell's text",
         Table(Row(Cell(P(R("a"))) + Cell(P(R("b")))) + Row(Cell(P(R("c"))) + Cell(P(R("d"))))) + P(R("after")) +
             Table(Row(Cell(P(R("outer")) + Table(Row(Cell(P(R("in1"))) + Cell(P(R("in2"))))) + P("")) +
                       Cell(P(R("right"))))),
         {},
         "a\tb\nc\td\nafter\nouter\nin1\tin2\nright\n"},
        {"list labels: levels, formats, overrides, bullets, a style's list",
         P(R("one"), NumPr(1, 0)) + P(R("sub"), NumPr(1, 1)) + P(R("sub2"), NumPr(1, 1)) + P(R("two"), NumPr(1, 0)) +
             P(R("sub again"), NumPr(1, 1)) + P(R("dot"), NumPr(2, 0)) + P(R("seven"), NumPr(4, 0)) +
             P(R("styled"), "<w:pStyle w:val=\"Listed\"/>") + P(R("styled2"), "<w:pStyle w:val=\"Listed\"/>") +
             P(R("none"), NumPr(0, 0)),
         {{"numbering", kNumbering}, {"styles", kStyles}},
         "1.\tone\n1.a) sub\n1.b) sub2\n2.\ttwo\n2.a) sub again\n\u2022\tdot\n7.\tseven\nIVstyled\nVstyled2\nnone\n"},
        {"notes numbered in order; separators left out; a field left open ends with its part",
         P(R("See") + "<w:r><w:footnoteReference w:id=\"5\"/></w:r>" + R(" and") +
           "<w:r><w:footnoteReference w:id=\"6\"/></w:r>"),
         {{"footnotes", footnotes}, {"comments", "<w:comment w:id=\"0\">" + P(R("After an open field")) + "</w:comment>"}},
         "See1 and2\n\n--- Footnotes ---\n1 First note\n2 Second note\n\n--- Comments ---\nAfter an open field\n"},
        {"a text box once, its fallback copy left out",
         P(R("Before ") +
           "<w:r><mc:AlternateContent xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
           "<mc:Choice Requires=\"wps\"><w:drawing><wps:txbx xmlns:wps=\"urn:wps\"><w:txbxContent>" +
           P(R("Boxed")) + "</w:txbxContent></wps:txbx></w:drawing></mc:Choice><mc:Fallback><w:pict><w:txbxContent>" +
           P(R("Boxed")) + "</w:txbxContent></w:pict></mc:Fallback></mc:AlternateContent></w:r>" + R("after")),
         {},
         "Before after\n\n--- Text boxes ---\nBoxed\n"},
        {"comments with their initials; headers and footers",
         "<w:p><w:commentRangeStart w:id=\"0\"/>" + R("Body") + "<w:r><w:commentReference w:id=\"0\"/></w:r></w:p>" +
             "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId11\"/><w:footerReference w:type=\"default\" "
             "r:id=\"rId12\"/></w:sectPr>",
         {{"comments", "<w:comment w:id=\"0\" w:initials=\"JD\">" + P(R("Nice")) + "</w:comment>"},
          {"header", P(R("Top line"))},
          {"footer", P(R("Bottom line"))}},
         "Body\n\n--- Comments ---\nJD: Nice\n\n--- Headers and footers ---\nTop line\nBottom line\n"},
    };
    for (const TPackageCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ViewerText(Zip(PackageMembers(c.body, c.parts))), c.text);
    }
}

TEST(WordPackage, StoredMembersMacroTypesAndFlatPackages) {
    // Stored members, a macro-enabled main part found through the content types alone.
    std::vector<TMember> members = PackageMembers(P(R("Stored text")));
    members[0].data = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                      "<Override PartName=\"/WORD/document.xml\" "
                      "ContentType=\"application/vnd.ms-word.document.macroEnabled.main+xml\"/></Types>";
    members[1].data = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>";
    for (TMember& m : members) m.deflate = false;
    EXPECT_EQ(ViewerText(Zip(members)), "Stored text\n");

    // The same package unzipped into one XML document.
    std::string flat = "<?xml version=\"1.0\"?><?mso-application progid=\"Word.Document\"?>"
                       "<pkg:package xmlns:pkg=\"http://schemas.microsoft.com/office/2006/xmlPackage\">";
    for (const TMember& m : PackageMembers(P(R("Flat text")) + Table(Row(Cell(P(R("x"))) + Cell(P(R("y"))))))) {
        if (m.name == "[Content_Types].xml") continue;
        const std::string xml = m.data.starts_with("<?xml") ? m.data.substr(m.data.find("?>") + 2) : m.data;
        flat += "<pkg:part pkg:name=\"/" + m.name + "\" pkg:contentType=\"application/xml\"><pkg:xmlData>" + xml +
                "</pkg:xmlData></pkg:part>";
    }
    flat += "</pkg:package>";
    EXPECT_EQ(ViewerText(Bytes(flat)), "Flat text\nx\ty\n");
}

TEST(WordXml2003, OneDocumentWithItsListsNotesAndHeaders) {
    const std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<?mso-application progid=\"Word.Document\"?>\n"
        "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\" "
        "xmlns:wx=\"http://schemas.microsoft.com/office/word/2003/auxHint\" "
        "xmlns:aml=\"http://schemas.microsoft.com/aml/2001/core\">"
        "<w:fonts><w:font w:name=\"Symbol\"/></w:fonts>"
        "<w:lists><w:listDef w:listDefId=\"0\"><w:lvl w:ilvl=\"0\"><w:start w:val=\"3\"/><w:nfc w:val=\"4\"/>"
        "<w:lvlText w:val=\"(%1)\"/></w:lvl></w:listDef><w:list w:ilfo=\"1\"><w:ilst w:val=\"0\"/></w:list></w:lists>"
        "<w:styles><w:style w:type=\"character\" w:styleId=\"H\"><w:rPr><w:vanish/></w:rPr></w:style></w:styles>"
        "<w:docPr><w:footnotePr><w:numFmt w:val=\"upper-letter\"/></w:footnotePr></w:docPr>"
        "<w:body><wx:sect><wx:sub-section>"
        "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"1\"/></w:listPr></w:pPr>" + R("First") + "</w:p>"
        "<w:p><w:pPr><w:listPr><w:ilvl w:val=\"0\"/><w:ilfo w:val=\"1\"/></w:listPr></w:pPr>" + R("Second") +
        "<w:r><w:footnote><w:p><w:r><w:footnoteRef/></w:r>" + R(" Noted") + "</w:p></w:footnote></w:r>"
        "<aml:annotation w:type=\"Word.Deletion\"><aml:content><w:r><w:delText>cut</w:delText></w:r></aml:content>"
        "</aml:annotation>"
        "<aml:annotation w:type=\"Word.Insertion\"><aml:content>" + R(" in") + "</aml:content></aml:annotation>" +
        R(" hid", "<w:rStyle w:val=\"H\"/>") +
        "<aml:annotation aml:id=\"0\" w:type=\"Word.Comment\" w:initials=\"AB\"><aml:content>" + P(R("Remark")) +
        "</aml:content></aml:annotation></w:p>" +
        Table(Row(Cell(P(R("c1"))) + Cell(P(R("c2"))))) +
        "<w:sectPr><w:hdr w:type=\"odd\">" + P(R("Head")) + "</w:hdr><w:ftr w:type=\"odd\">" + P(R("Foot")) +
        "</w:ftr></w:sectPr></wx:sub-section></wx:sect></w:body></w:wordDocument>";
    EXPECT_EQ(ViewerText(Bytes(doc)),
              "(c)\tFirst\n(d)\tSecondA in\nc1\tc2\n\n--- Footnotes ---\nA Noted\n\n--- Comments ---\nAB: Remark\n\n"
              "--- Headers and footers ---\nHead\nFoot\n");
}

// Whether the text is the damaged answer.
bool Damaged(const std::string& text) { return text.starts_with("error: The document is damaged"); }

TEST(WordPackage, DamagedPackagesGiveTheDamagedAnswer) {
    std::vector<TMember> bomb = PackageMembers(P(R("x")));
    bomb[2].data = std::string(64 * 1024 * 20, ' ');  // deflates far below 1/64 of its size
    std::vector<TMember> liar = PackageMembers(P(R("x")));
    liar[2].claimedSize = 10;  // inflates past the size it claims
    std::vector<TMember> noMain = PackageMembers(P(R("x")));
    noMain.erase(noMain.begin() + 2);
    std::vector<TMember> notWellFormed = PackageMembers("<w:p><w:r><w:t>open</w:r></w:p>");
    std::vector<uint8_t> cut = Zip(PackageMembers(P(R("x"))));
    cut.resize(cut.size() / 2);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"a zip bomb", Zip(bomb)},
        {"a member longer than it claims", Zip(liar)},
        {"no main part", Zip(noMain)},
        {"a part that is not well formed", Zip(notWellFormed)},
        {"a zip cut short", cut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = ViewerText(c.bytes);
        EXPECT_TRUE(Damaged(text)) << text;
    }
    // A zip that is no package at all is no Word document.
    EXPECT_EQ(ViewerText(Zip({{"readme.txt", "hello"}})), "none");
}

TEST(WordXml, ExternalEntitiesAreNeverFetched) {
    const std::filesystem::path secret = std::filesystem::temp_directory_path() / "pagelet-wordml-secret.txt";
    {
        std::ofstream(secret) << "SECRET-FILE-TEXT";
    }
    const std::string uri = "file://" + std::filesystem::absolute(secret).generic_string();
    for (const std::string& system : {uri, std::string("http://127.0.0.1:9/entity.txt")}) {
        SCOPED_TRACE(system);
        const std::string doc =
            "<?xml version=\"1.0\"?><!DOCTYPE w:wordDocument [<!ENTITY ext SYSTEM \"" + system + "\">]>"
            "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"><w:body>" +
            P(R("before &ext; after")) + "</w:body></w:wordDocument>";
        const std::string text = ViewerText(Bytes(doc));
        // Refused with the document (XmlLite), or read without the entity (libxml2).
        EXPECT_TRUE(Damaged(text) || text == "before  after\n") << text;
        EXPECT_EQ(text.find("SECRET"), std::string::npos);
    }
    std::filesystem::remove(secret);
}

TEST(WordXml, HostileXmlIsDamaged) {
    const std::string head = "<?xml version=\"1.0\"?>";
    const std::string root = "<w:wordDocument xmlns:w=\"http://schemas.microsoft.com/office/word/2003/wordml\"><w:body>";
    std::string laughs = "<!ENTITY a0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        std::string refs;
        for (int k = 0; k < 10; ++k) refs += "&a" + std::to_string(i - 1) + ";";
        laughs += "<!ENTITY a" + std::to_string(i) + " \"" + refs + "\">";
    }
    std::string deep;
    for (int i = 0; i < 2000; ++i) deep += "<w:tbl><w:tr><w:tc>";
    const struct {
        const char* what;
        std::string doc;
    } cases[] = {
        {"entities that expand a billion times",
         head + "<!DOCTYPE w:wordDocument [" + laughs + "]>" + root + P(R("&a9;")) + "</w:body></w:wordDocument>"},
        {"elements nested past the cap", head + root + deep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = ViewerText(Bytes(c.doc));
        EXPECT_TRUE(Damaged(text)) << text.substr(0, 200);
    }
}

TEST(WordPackage, AnEncryptedPackageSaysSo) {
    const std::vector<uint8_t> file =
        BuildCompoundFile({{u"EncryptedPackage", std::vector<uint8_t>(600, 0x5A), {}}, {u"EncryptionInfo", {4, 0, 4, 0}, {}}});
    TTempFile temp(file);
    EXPECT_TRUE(ReadWordFibFlags(temp.Path()).Encrypted);
    const std::string text = ViewerText(file);
    EXPECT_NE(text.find("encrypted with a password"), std::string::npos) << text;
}

}  // namespace
}  // namespace pagelet
