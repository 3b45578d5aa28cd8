#include "../cli/Command.h"
#include "ZipBuilder.h"

#include <SheetStream.h>
#include <StringTable.h>
#include <WorkbookReader.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace
{

const std::string kCannotRead = "the workbook cannot be read: ";

class WorkbookIsolation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("quillon-iso-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        setWorkbookReaderProgram("");
        fs::remove_all(dir);
    }

    std::string write(const std::string& name, const std::string& bytes)
    {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    // A stand-in for the reader program, for the ways a reader can go wrong.
    void fakeReader(const std::string& script)
    {
        const std::string path = write("fake-reader", "#!/bin/sh\n" + script + "\n");
        ::chmod(path.c_str(), 0755);
        setWorkbookReaderProgram(path);
    }
    std::string failureOf(const std::string& path, const WorkbookReaderLimits& limits = {})
    {
        Sheet sheet;
        std::string error;
        EXPECT_FALSE(readWorkbook(path, sheet, error, limits)) << path;
        EXPECT_EQ(sheet.rows(), 0);
        EXPECT_EQ(error.rfind(kCannotRead, 0), 0u) << error;
        return error;
    }

    fs::path dir;
};

// An OpenDocument spreadsheet of one row of cells (XML as written in content.xml).
std::string odsWithRow(const std::string& cells, const ZipLie& lie = {})
{
    const std::string content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\">"
        "<office:body><office:spreadsheet><table:table table:name=\"S\"><table:table-row>" +
        cells + "</table:table-row></table:table></office:spreadsheet></office:body></office:document-content>";
    return makeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}}, lie);
}

// One text cell holding `text`.
std::string odsWithCell(const std::string& text, const ZipLie& lie = {})
{
    return odsWithRow("<table:table-cell office:value-type=\"string\"><text:p>" + text + "</text:p></table:table-cell>",
                      lie);
}

} // namespace

// The reader's own faults: a crash, a spin, a hang, a flood, a lie and silence each become a clear
// error that says which.
TEST_F(WorkbookIsolation, AReaderThatFailsBecomesAClearError)
{
    const std::string book = write("book.csv", "user\nu1\n");
    fakeReader("kill -SEGV $$");
    EXPECT_NE(failureOf(book).find("signal 11"), std::string::npos);
    fakeReader("kill -ABRT $$");
    EXPECT_NE(failureOf(book).find("signal 6"), std::string::npos);

    // A reader that spins on its processor limit, and one killed from outside, each say so.
    WorkbookReaderLimits spinning;
    spinning.cpuSeconds = 1;
    spinning.wallTime = std::chrono::seconds(30);
    fakeReader("while :; do :; done");
    EXPECT_NE(failureOf(book, spinning).find("the reader ran out of processor time"), std::string::npos);
    fakeReader("kill -KILL $$");
    EXPECT_NE(failureOf(book).find("the reader was stopped"), std::string::npos);

    WorkbookReaderLimits quick;
    quick.wallTime = std::chrono::milliseconds(300);
    fakeReader("exec sleep 30");
    EXPECT_NE(failureOf(book, quick).find("took longer than"), std::string::npos);

    WorkbookReaderLimits small;
    small.outputBytes = 64 * 1024;
    fakeReader("printf QWB1; while :; do printf 'S\\010\\000\\000\\000\\001\\000\\000\\000\\001\\000\\000\\000'; done");
    EXPECT_NE(failureOf(book, small).find("larger than allowed"), std::string::npos);

    fakeReader("printf 'QWB1C\\377\\377\\377\\377'");
    EXPECT_NE(failureOf(book).find("oversized record"), std::string::npos);
    fakeReader("printf hello");
    EXPECT_NE(failureOf(book).find("not a sheet"), std::string::npos);
    fakeReader("exit 0");
    EXPECT_NE(failureOf(book).find("without an answer"), std::string::npos);
    fakeReader("printf 'QWB1K\\000\\000\\000\\000'; exit 3");
    EXPECT_NE(failureOf(book).find("without an answer"), std::string::npos);

    setWorkbookReaderProgram((dir / "nowhere").string());
    if (workbookReaderProgram().empty()) {
        EXPECT_NE(failureOf(book).find("missing"), std::string::npos);
    }
}

// The stream is parsed as hostile: cells outside the sheet's limits, unknown records and bytes
// after the end are refused, whatever piece sizes they arrive in.
TEST(SheetStream, RoundTripAndRefusals)
{
    Sheet sheet(3);
    sheet.set(0, 0, "user");
    sheet.set(4, 2, std::string(70000, 'x'));
    sheet.set(1, 9, "beyond the kept columns");
    // A cell longer than a record can carry arrives cut to what fits, not as a refused stream.
    sheet.set(2, 1, std::string(kMaxSheetRecordBytes + 100, 'y'));
    const std::string stream = encodeSheet(sheet);
    for (size_t piece : {size_t(1), size_t(7), stream.size()}) {
        Sheet copy(3);
        SheetStreamDecoder decoder(copy);
        for (size_t at = 0; at < stream.size(); at += piece)
            ASSERT_TRUE(decoder.feed(std::string_view(stream).substr(at, piece))) << decoder.error();
        EXPECT_TRUE(decoder.complete());
        EXPECT_EQ(copy.rows(), 5);
        EXPECT_EQ(copy.columns(), 10);
        EXPECT_EQ(copy.cell(1, 1), "user");
        EXPECT_EQ(copy.cell(5, 3), std::string(70000, 'x'));
        EXPECT_EQ(copy.cell(3, 2), std::string(kMaxSheetRecordBytes - 8, 'y'));
    }
    for (const std::string& bad :
         {std::string("QWB1C\x08\0\0\0\xff\xff\xff\xff\0\0\0\0", 17), // row far out
          std::string("QWB1S\x08\0\0\0\0\0\0\x7f\x01\0\0\0", 17),     // rows far out
          std::string("QWB1Z\0\0\0\0", 9), std::string("QWB1K\0\0\0\0K", 10), std::string("QWB1C\x04\0\0\0abcd", 13)}) {
        Sheet copy;
        SheetStreamDecoder decoder(copy);
        EXPECT_FALSE(decoder.feed(bad));
        EXPECT_FALSE(decoder.error().empty());
    }
    Sheet copy;
    SheetStreamDecoder decoder(copy);
    ASSERT_TRUE(decoder.feed(encodeSheetFailure("broken")));
    EXPECT_TRUE(decoder.refused());
    EXPECT_EQ(decoder.reason(), "broken");
    // A refusal that gives no reason is still a refusal, and says so.
    Sheet silent;
    SheetStreamDecoder unexplained(silent);
    ASSERT_TRUE(unexplained.feed(encodeSheetFailure("")));
    EXPECT_TRUE(unexplained.refused());
    EXPECT_TRUE(unexplained.finished());
    EXPECT_EQ(unexplained.reason(), "no reason given");
}

// Cells as a spreadsheet shows them, through the isolated reader: numbers and the results of
// formulas without a trailing ".000000", dates with their time unless it is midnight. Faults
// caught: a formula's result printed in another number format than a typed number, a time of
// 00:00:05 taken for midnight.
TEST_F(WorkbookIsolation, OpenDocumentNumbersFormulasAndDatesReadAsShown)
{
    const std::string row =
        "<table:table-cell office:value-type=\"float\" office:value=\"7\"><text:p>7</text:p></table:table-cell>"
        "<table:table-cell table:formula=\"of:=40+2\" office:value-type=\"float\" office:value=\"42\">"
        "<text:p>42</text:p></table:table-cell>"
        "<table:table-cell table:formula=\"of:=1/4\" office:value-type=\"float\" office:value=\"0.25\">"
        "<text:p>0.25</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-02-29T00:00:05\">"
        "<text:p>x</text:p></table:table-cell>"
        "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-02-29\">"
        "<text:p>x</text:p></table:table-cell>";
    Sheet sheet;
    std::string error;
    ASSERT_TRUE(readWorkbook(write("values.ods", odsWithRow(row)), sheet, error)) << error;
    EXPECT_EQ(sheet.cell(1, 1), "7");
    EXPECT_EQ(sheet.cell(1, 2), "42");
    EXPECT_EQ(sheet.cell(1, 3), "0.25");
    EXPECT_EQ(sheet.cell(1, 4), "2024-02-29 00:00:05");
    EXPECT_EQ(sheet.cell(1, 5), "2024-02-29");
}

// Hostile files that took the process down, or most of the machine, with the parsing libraries.
TEST_F(WorkbookIsolation, HostileOpenDocumentFilesFailCleanly)
{
    Sheet sheet;
    std::string error;
    ASSERT_TRUE(readWorkbook(write("good.ods", odsWithCell("a&#x10FFFF;")), sheet, error)) << error;
    EXPECT_EQ(sheet.cell(1, 1), "a\xF4\x8F\xBF\xBF");

    failureOf(write("beyond.ods", odsWithCell("&#x110000;")));
    failureOf(write("huge.ods", odsWithCell("&#99999999999;")));

    ASSERT_TRUE(readWorkbook(write("deflated.ods", odsWithCell("x", {"content.xml", 0})), sheet, error)) << error;
    failureOf(write("bomb.ods", odsWithCell("x", {"content.xml", 0xFFFFFFF0u})));
}

// Single changed bytes of a valid .xls file: each reads or fails with a reason, never taking the
// caller down.
TEST_F(WorkbookIsolation, DamagedXlsFilesFailCleanly)
{
    std::ifstream in(std::string(QUILLON_TEST_DATA) + "/profiles.xls", std::ios::binary);
    const std::string xls((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(xls.size(), 4620u);
    std::vector<std::pair<size_t, char>> flips{{2809, 0x01}, {4620, 0x01}}; // these crashed inside freexl
    for (size_t at = 0; at < xls.size(); at += 97)
        flips.emplace_back(at, '\xff');
    for (const auto& [at, mask] : flips) {
        std::string bad = xls;
        bad[at] = static_cast<char>(bad[at] ^ mask);
        Sheet sheet;
        std::string error;
        if (!readWorkbook(write("bad.xls", bad), sheet, error)) {
            EXPECT_EQ(error.rfind(kCannotRead, 0), 0u) << at << ": " << error;
        }
    }
}

// The command line reports the reason and writes nothing into the output folder.
TEST_F(WorkbookIsolation, UsbProfilesStopsBeforeWritingAnything)
{
    setUiLanguage(LanguageEnglish);
    const fs::path out = dir / "out";
    fs::create_directories(out);
    auto command = cli::makeUsbProfilesCommand();
    std::ostringstream stdOut, stdErr;
    cli::Context context{{write("beyond.ods", odsWithCell("&#x110000;")), out.string()}, stdOut, stdErr};
    EXPECT_EQ(command->run(context), cli::ExitError);
    EXPECT_NE(stdErr.str().find(kCannotRead), std::string::npos) << stdErr.str();
    EXPECT_TRUE(stdOut.str().empty());
    EXPECT_TRUE(fs::is_empty(out));
}
