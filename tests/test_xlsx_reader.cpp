#include "ZipBuilder.h"

#include <WorkbookReader.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace
{

const std::string kData = QUILLON_TEST_DATA;

std::string load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The smallest package a writer could produce: one sheet and its shared strings.
Parts package(const std::string& sheetData, const std::string& strings = "<si><t>x</t></si>")
{
    const std::string link = "<Relationship Type=\"" + kRel;
    return {
        {"[Content_Types].xml", "<Types/>"},
        {"_rels/.rels", "<Relationships>" + link + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<workbook xmlns:r=\"" + kRel + "\"><sheets><sheet sheetId=\"1\" r:id=\"b\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", "<Relationships>" + link +
                                           "/worksheet\" Id=\"b\" Target=\"worksheets/s.xml\"/>" + link +
                                           "/sharedStrings\" Target=\"strings.xml\"/></Relationships>"},
        {"xl/worksheets/s.xml", "<worksheet><sheetData>" + sheetData + "</sheetData></worksheet>"},
        {"xl/strings.xml", "<sst>" + strings + "</sst>"},
    };
}

// Reads `zip`; on failure the sheet must be empty and the error must say why.
bool readsAs(const std::string& zip, Sheet& sheet, std::string& error, const XlsxLimits& limits = {})
{
    error.clear();
    const bool ok = readXlsxWorkbook(zip, sheet, error, limits);
    if (!ok) {
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(sheet.rows(), 0);
    }
    return ok;
}

void expectSameCells(const Sheet& a, const Sheet& b)
{
    ASSERT_EQ(a.rows(), b.rows());
    ASSERT_EQ(a.columns(), b.columns());
    for (int r = 1; r <= a.rows(); ++r) {
        for (int c = 1; c <= a.columns(); ++c)
            EXPECT_EQ(a.cell(r, c), b.cell(r, c)) << "row " << r << " column " << c;
    }
}

} // namespace

// A script-written package (absolute part names, inline strings) reads cell for cell like the
// .xls it was typed from; catches a reader that finds no sheet or no cells in it.
TEST(XlsxWorkbook, OpenpyxlPackageReadsLikeTheXls)
{
    Sheet xls, xlsx;
    std::string error;
    ASSERT_TRUE(readWorkbook(kData + "/profiles.xls", xls, error)) << error;
    ASSERT_TRUE(readWorkbook(kData + "/profiles-openpyxl.xlsx", xlsx, error)) << error;
    EXPECT_EQ(xlsx.cell(3, 1), "  u2 ");
    expectSameCells(xls, xlsx);
}

// The office suite's packages (relative part names, shared strings) read as orcus reads them.
TEST(XlsxWorkbook, OfficeSuitePackagesReadAsBefore)
{
    for (const char* name : {"profiles.xlsx", "title-case.xlsx"}) {
        SCOPED_TRACE(name);
        const std::string content = load(kData + "/" + name);
        Sheet ours, orcus;
        std::string error;
        ASSERT_TRUE(readXlsxWorkbook(content, ours, error)) << error;
        ASSERT_TRUE(readOrcusWorkbook(content, WorkbookFormat::Xlsx, orcus, error)) << error;
        EXPECT_GT(ours.rows(), 1);
        expectSameCells(orcus, ours);
    }
}

// Catches run text left out or phonetic guides let in, prefixed names not matched, a sheet part
// looked up beside the workbook instead of where its relationship points, and cell types mixed up.
TEST(XlsxWorkbook, InlineStringsRichTextAndCellTypes)
{
    Sheet sheet;
    std::string error;
    ASSERT_TRUE(readWorkbook(kData + "/inline-rich.xlsx", sheet, error)) << error;
    EXPECT_EQ(sheet.cell(1, 1), "user");
    EXPECT_EQ(sheet.cell(1, 2), "ntvuseraccount"); // two inline runs
    EXPECT_EQ(sheet.cell(2, 1), "pw 1");           // two shared runs, phonetic guide left out
    EXPECT_EQ(sheet.cell(2, 2), "a&b <c>");
    EXPECT_EQ(sheet.cell(2, 3), "150");
    EXPECT_EQ(sheet.cell(2, 4), "TRUE");
    EXPECT_EQ(sheet.cell(2, 5), "#N/A");
    EXPECT_EQ(sheet.cell(2, 6), "userx"); // a formula shows its last result
    EXPECT_EQ(sheet.cell(3, 1), "-0.25"); // row and cells without addresses follow the previous ones
    EXPECT_EQ(sheet.cell(3, 3), "third");
    EXPECT_EQ(sheet.rows(), 3); // a styled cell without a value is not used
    EXPECT_EQ(sheet.columns(), 6);
}

TEST(XlsxWorkbook, OpenDocumentNamedXlsxStillReads)
{
    const fs::path dir = fs::temp_directory_path() / ("quillon-xlsx-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(kData + "/profiles.ods", dir / "renamed.xlsx");
    Sheet sheet;
    std::string error;
    EXPECT_TRUE(readWorkbook((dir / "renamed.xlsx").string(), sheet, error)) << error;
    EXPECT_EQ(sheet.cell(1, 1), "user");
    fs::remove_all(dir);
}

TEST(XlsxWorkbook, DamagedFilesFailWithAReason)
{
    Sheet sheet;
    std::string error;
    EXPECT_FALSE(readWorkbook(kData + "/truncated.xlsx", sheet, error));
    EXPECT_NE(error.find("zip"), std::string::npos) << error;
    // The directory claims 3.75 GiB for the sheet: refused before anything is unpacked.
    EXPECT_FALSE(readWorkbook(kData + "/bomb.xlsx", sheet, error));
    EXPECT_NE(error.find("unpacks to more than"), std::string::npos) << error;

    const std::string good = makeZip(package("<row><c t=\"s\"><v>0</v></c></row>"));
    ASSERT_TRUE(readsAs(good, sheet, error)) << error;
    EXPECT_EQ(sheet.cell(1, 1), "x");
    // A local header that disagrees with the directory about the size of a part that is read.
    std::string lying = good;
    lying[good.find("PK\3\4", 4) + 22] ^= 0x40;
    EXPECT_FALSE(readsAs(lying, sheet, error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    // Every cut fails; every damaged byte, stored or compressed, fails cleanly or reads.
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(readsAs(good.substr(0, n), sheet, error)) << n;
    for (const std::string& zip : {good, load(kData + "/profiles-openpyxl.xlsx")}) {
        for (size_t i = 0; i < zip.size(); ++i) {
            std::string bad = zip;
            bad[i] = static_cast<char>(bad[i] ^ 0x5A);
            readsAs(bad, sheet, error);
        }
    }
}

// Extra fields and comments on the parts, as archivers and some writers add them, are stepped
// over. Faults caught: the directory walk skipping the name and extra field but not the comment
// (parts after the first lost, or the package refused), the local header's extra field taken as
// the part's data.
TEST(XlsxWorkbook, PartsWithExtraFieldsAndCommentsRead)
{
    const std::string timeStamp = std::string("UT\x05\0\x03", 5) + std::string("\x10\x20\x30\x40", 4);
    const ZipDecor decors[] = {
        {timeStamp, timeStamp.substr(0, 9), ""},
        {"", "", "a comment on every part"},
        {timeStamp + timeStamp, timeStamp, std::string(300, 'c')},
    };
    for (const ZipDecor& decor : decors) {
        Sheet sheet;
        std::string error;
        ASSERT_TRUE(
            readsAs(makeZip(package("<row><c t=\"s\"><v>0</v></c><c><v>7</v></c></row>"), {}, decor), sheet, error))
            << error << " (comment of " << decor.comment.size() << " bytes)";
        EXPECT_EQ(sheet.cell(1, 1), "x");
        EXPECT_EQ(sheet.cell(1, 2), "7");
    }
}

// A part whose stated size runs past the end of the file is refused as damaged, also when its
// local header carries a long extra field. Fault caught: the extra field left out of where the
// data starts, which lets such a size through to the unpacker.
TEST(XlsxWorkbook, APartRunningPastTheEndIsDamagedWhateverItsExtraField)
{
    std::string extra = "\xFE\xCA";
    put(extra, {196}, 2);
    extra += std::string(196, 'e');
    std::string zip = makeZip(package("<row><c><v>1</v></c></row>"), {}, ZipDecor{extra, "", ""});
    const std::string name = "xl/worksheets/s.xml";
    const size_t local = zip.find(name) - 30;
    const size_t central = zip.find(name, local + 30 + name.size()) - 46;
    ASSERT_EQ(zip.compare(local, 4, "PK\3\4"), 0);
    ASSERT_EQ(zip.compare(central, 4, "PK\1\2"), 0);
    const size_t data = local + 30 + name.size() + extra.size();
    const auto setLe32 = [&](size_t at, size_t value) {
        std::string bytes;
        put(bytes, {value}, 4);
        zip.replace(at, 4, bytes);
    };
    setLe32(local + 18, 0);                        // no size in the local header to compare
    setLe32(central + 20, zip.size() - data + 50); // 50 bytes past the end
    Sheet sheet;
    std::string error;
    EXPECT_FALSE(readsAs(zip, sheet, error));
    EXPECT_NE(error.find("the part " + name + " is damaged"), std::string::npos) << error;
}

// Each part of the package and each field of a cell that a hostile file can get wrong.
TEST(XlsxWorkbook, MalformedPackagesFailWithAReason)
{
    Sheet sheet;
    std::string error;
    for (const auto& [data, reason] : std::vector<std::pair<std::string, std::string>>{
             {"<row><c r=\"A1\" t=\"zz\"><v>1</v></c></row>", "unknown type"},
             {"<row><c r=\"A1\" t=\"s\"><v>1</v></c></row>", "missing shared string"}, // one string, index 1
             {"<row><c r=\"A1\"><v>12abc</v></c></row>", "number cell holds text"},
             {"<row><c r=\"XFE1\"><v>1</v></c></row>", "bad address"}, // past the last column
             {"<row><c r=\"A1048577\"><v>1</v></c></row>", "bad address"},
             {"<row><c r=\"a1\"><v>1</v></c></row>", "bad address"},
             {"<row r=\"0\"><c><v>1</v></c></row>", "bad number"},
             {"<row><c r=\"A1\"><v>1</v></row>", "not well-formed"}, // the cell never closes
             // A character reference beyond Unicode once aborted the XML parser underneath.
             {"<row><c r=\"A1\" t=\"inlineStr\"><is><t>&#x110000;</t></is></c></row>", "not well-formed"},
             {"<row><c r=\"A1\" t=\"inlineStr\"><is><t>&#99999999999;</t></is></c></row>", "not well-formed"},
             {"<row><c r=\"A1\" t=\"inlineStr\"><is><t>&#xD800;</t></is></c></row>", "not well-formed"},
             {"<row><c r=\"B2\" t=\"str\"><v>1</v></c></row>", ""}, // the control reads
         }) {
        EXPECT_EQ(readsAs(makeZip(package(data)), sheet, error), reason.empty()) << data << ": " << error;
        EXPECT_NE(error.find(reason), std::string::npos) << data << ": " << error;
    }
    EXPECT_EQ(sheet.cell(2, 2), "1");
    // The last character there is, and references that are in range, read as text.
    ASSERT_TRUE(
        readsAs(makeZip(package("<row><c r=\"A1\" t=\"inlineStr\"><is><t>&#x10FFFF;&amp;&#65;</t></is></c></row>")),
                sheet, error))
        << error;
    EXPECT_EQ(sheet.cell(1, 1), "\xF4\x8F\xBF\xBF&A");

    for (size_t i = 0; i < package("").size(); ++i) { // each part missing in turn
        Parts parts = package("");
        parts.erase(parts.begin() + static_cast<long>(i));
        EXPECT_FALSE(readsAs(makeZip(parts), sheet, error)) << i;
    }
    Parts parts = package("");
    parts[3].second.replace(parts[3].second.find("worksheets/"), 11, "../../"); // climbs out of the package
    EXPECT_FALSE(readsAs(makeZip(parts), sheet, error));
    parts = package("");
    parts.push_back({"XL/Workbook.xml", parts[2].second});
    EXPECT_FALSE(readsAs(makeZip(parts), sheet, error));
    EXPECT_NE(error.find("two parts"), std::string::npos) << error;
    parts = package("");
    parts[2].second.insert(0, "<!DOCTYPE workbook SYSTEM \"book.dtd\">");
    EXPECT_FALSE(readsAs(makeZip(parts), sheet, error));
    EXPECT_NE(error.find("document type"), std::string::npos) << error;
}

// Each limit refuses the sample once set below what it needs, and only then.
TEST(XlsxWorkbook, LimitsRefuseWhatIsTooLarge)
{
    const std::string content = load(kData + "/profiles-openpyxl.xlsx");
    Sheet sheet;
    std::string error;
    XlsxLimits tight;
    tight.unpackedBytes = 3000; // the sheet part alone unpacks to more
    EXPECT_FALSE(readsAs(content, sheet, error, tight));
    EXPECT_NE(error.find("unpacks to more than 3000 bytes"), std::string::npos) << error;
    tight = {};
    tight.cells = 39; // the sample has 40
    EXPECT_FALSE(readsAs(content, sheet, error, tight));
    EXPECT_NE(error.find("more cells"), std::string::npos) << error;
    tight = {};
    tight.textBytes = 199; // the 200-character password
    EXPECT_FALSE(readsAs(content, sheet, error, tight));
    EXPECT_NE(error.find("longer than a cell"), std::string::npos) << error;
    tight = {6000, 40, 200}; // just enough of each
    EXPECT_TRUE(readsAs(content, sheet, error, tight)) << error;
}
