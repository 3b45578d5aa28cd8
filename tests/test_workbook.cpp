#include <WorkbookReader.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;

namespace
{

const std::string kData = QUILLON_TEST_DATA;

Sheet readCsv(const std::string& text, bool expectOk = true)
{
    Sheet sheet;
    std::string error;
    EXPECT_EQ(readCsvWorkbook(text, sheet, error), expectOk) << error;
    return sheet;
}

} // namespace

// Four writers, one content: the first sheet, its used range and each cell as displayed.
TEST(WorkbookReader, XlsXlsxAndOdsReadTheSame)
{
    for (const char* name : {"profiles.xls", "profiles.xlsx", "profiles-openpyxl.xlsx", "profiles.ods"}) {
        SCOPED_TRACE(name);
        Sheet sheet;
        std::string error;
        ASSERT_TRUE(readWorkbook(kData + "/" + name, sheet, error)) << error;
        EXPECT_EQ(sheet.rows(), 7);
        EXPECT_EQ(sheet.columns(), 12);
        EXPECT_EQ(sheet.cell(1, 1), "user");
        EXPECT_EQ(sheet.cell(1, 11), "dns2");
        EXPECT_EQ(sheet.cell(2, 1), "10001");         // an integer number has no ".0"
        EXPECT_EQ(sheet.cell(2, 2), "8613800138000"); // nor an exponent
        EXPECT_EQ(sheet.cell(2, 10), "1.5");
        EXPECT_EQ(sheet.cell(3, 1), "  u2 "); // text as typed; trimming is the caller's
        EXPECT_EQ(sheet.cell(6, 3), std::string(200, 'x'));
        EXPECT_EQ(sheet.cell(7, 12), "ignored");
        EXPECT_EQ(sheet.cell(8, 1), "");
        EXPECT_EQ(sheet.cell(0, 1), "");
        EXPECT_EQ(sheet.cell(1, 0), "");
    }
}

// Dates are numbers with a date format in the file; they read as the spreadsheet shows them.
TEST(WorkbookReader, XlsDateCellsReadAsShown)
{
    Sheet sheet;
    std::string error;
    ASSERT_TRUE(readWorkbook(kData + "/dates.xls", sheet, error)) << error;
    EXPECT_EQ(sheet.cell(2, 1), "u1");
    EXPECT_EQ(sheet.cell(2, 2), "2024-02-29");
    EXPECT_EQ(sheet.cell(2, 3), "2024-02-29 13:05:09");
    EXPECT_EQ(sheet.cell(2, 4), "13:05:09");
}

TEST(WorkbookReader, BrokenOrForeignFilesFailWithAReason)
{
    const fs::path dir = fs::temp_directory_path() / ("quillon-wb-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "fake.xlsx", std::ios::binary) << "PK\x03\x04 not really a zip";
    std::ofstream(dir / "fake.xls", std::ios::binary)
        << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) << std::string(600, '\xff');
    for (const std::string& path :
         {kData + "/truncated.xls", kData + "/make_workbooks.py", (dir / "fake.xlsx").string(),
          (dir / "fake.xls").string(), (dir / "missing.xls").string()}) {
        Sheet sheet;
        std::string error;
        EXPECT_FALSE(readWorkbook(path, sheet, error)) << path;
        EXPECT_FALSE(error.empty()) << path;
        EXPECT_EQ(sheet.rows(), 0) << path;
    }
    fs::remove_all(dir);
}

TEST(WorkbookReader, FormatComesFromContentBeforeExtension)
{
    EXPECT_EQ(detectWorkbookFormat("a.csv", std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)),
              WorkbookFormat::Xls);
    EXPECT_EQ(detectWorkbookFormat("a.xls", "PK\x03\x04"), WorkbookFormat::Xlsx);
    EXPECT_EQ(detectWorkbookFormat("a.ODS", "PK\x03\x04"), WorkbookFormat::Ods);
    EXPECT_EQ(detectWorkbookFormat("a.CSV", "user"), WorkbookFormat::Csv);
    EXPECT_EQ(detectWorkbookFormat("accounts.TXT", "user,password"), WorkbookFormat::Csv); // saved as text
    EXPECT_EQ(detectWorkbookFormat("a.xls", "user"), WorkbookFormat::Unknown);
}

TEST(CsvWorkbook, QuotesLineEndsAndUsedRange)
{
    const Sheet sheet = readCsv("\xEF\xBB\xBFuser,\"a,b\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",,x\n\n,,\n");
    EXPECT_EQ(sheet.cell(1, 1), "user"); // the byte-order mark is not part of the cell
    EXPECT_EQ(sheet.cell(1, 2), "a,b");
    EXPECT_EQ(sheet.cell(1, 3), "say \"hi\"");
    EXPECT_EQ(sheet.cell(2, 1), "two\nlines");
    EXPECT_EQ(sheet.cell(2, 2), "");
    EXPECT_EQ(sheet.rows(), 2); // rows without a value do not extend the used range
    EXPECT_EQ(sheet.columns(), 3);
    EXPECT_EQ(readCsv("a,b").cell(1, 2), "b"); // last line without a line end
    EXPECT_EQ(readCsv("\"\"\"\"").cell(1, 1), "\"");
    readCsv("\"never closed,x\n", false);
}

TEST(CsvWorkbook, WideRowsKeepOnlyTheRequestedColumns)
{
    std::string row(20000, ',');
    row += "far";
    Sheet sheet(11);
    std::string error;
    EXPECT_FALSE(readCsvWorkbook(row, sheet, error)); // wider than any sheet
    std::string ok = std::string(100, ',') + "far\nx";
    ASSERT_TRUE(readCsvWorkbook(ok, sheet, error)) << error;
    EXPECT_EQ(sheet.columns(), 101);
    EXPECT_EQ(sheet.cell(1, 101), ""); // counted but not kept
    EXPECT_EQ(sheet.cell(2, 1), "x");
}

// The edges of the text form. Faults caught: a lone CR taken as a row end, a quote in the middle
// of a field taken as the start of a quoted one, text after a closing quote dropped, a CR LF in
// quotes ending the row, and the sheet's limits off by one either way.
TEST(CsvWorkbook, EdgesOfTheTextForm)
{
    const Sheet sheet = readCsv("a\rb,x\"y\"z,\"q\"tail\r\n\"one\r\ntwo\",\"\",last\r\n");
    EXPECT_EQ(sheet.cell(1, 1), "a\rb");
    EXPECT_EQ(sheet.cell(1, 2), "x\"y\"z");
    EXPECT_EQ(sheet.cell(1, 3), "qtail");
    EXPECT_EQ(sheet.cell(2, 1), "one\r\ntwo");
    EXPECT_EQ(sheet.cell(2, 2), "");
    EXPECT_EQ(sheet.cell(2, 3), "last");
    EXPECT_EQ(sheet.rows(), 2);

    std::string widest(kMaxSheetColumns - 1, ',');
    EXPECT_EQ(readCsv(widest + "end").columns(), kMaxSheetColumns);
    readCsv(widest + ",one too many", false);

    std::string tallest;
    tallest.reserve(2 * kMaxSheetRows + 8);
    for (int32_t r = 0; r < kMaxSheetRows; ++r)
        tallest += "x\n";
    EXPECT_EQ(readCsv(tallest).rows(), kMaxSheetRows);
    readCsv(tallest + "one too many\n", false);
}

TEST(CellText, NumbersAsASpreadsheetShowsThem)
{
    EXPECT_EQ(formatCellNumber(42.0), "42");
    EXPECT_EQ(formatCellNumber(-0.0), "0");
    EXPECT_EQ(formatCellNumber(-7.0), "-7");
    EXPECT_EQ(formatCellNumber(0.1), "0.1");
    EXPECT_EQ(formatCellNumber(8613800138000.0), "8613800138000");
    EXPECT_EQ(formatCellNumber(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(formatCellNumber(1e20), "1e+20");
    EXPECT_EQ(formatCellDateTime(2024, 2, 29, 0, 0, 0), "2024-02-29");
    EXPECT_EQ(formatCellDateTime(2024, 2, 29, 13, 5, 9.5), "2024-02-29 13:05:09");
    EXPECT_EQ(trimmed(" \t a b \r\n"), "a b");
    EXPECT_EQ(trimmed("   "), "");
}
