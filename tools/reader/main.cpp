// quillon-workbook-reader --kept-columns N WORKBOOK: reads the first sheet of WORKBOOK and writes it
// to standard output as a sheet stream. The tools run it as a child process within limits, so a
// damaged workbook that crashes a parsing library takes only this process down.

#include <SheetStream.h>
#include <WorkbookReader.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <unistd.h>

namespace
{

bool writeAll(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(1, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4 || std::strcmp(argv[1], "--kept-columns") != 0) {
        writeAll(quillon::encodeSheetFailure("the reader was started wrongly"));
        return 2;
    }
    const int kept = std::atoi(argv[2]);
    if (kept < 1 || kept > quillon::kMaxSheetColumns) {
        writeAll(quillon::encodeSheetFailure("the reader was started wrongly"));
        return 2;
    }
    std::string answer;
    try {
        quillon::Sheet sheet(kept);
        std::string error;
        if (quillon::readWorkbookInProcess(argv[3], sheet, error))
            answer = quillon::encodeSheet(sheet);
        else
            answer = quillon::encodeSheetFailure(error);
    } catch (const std::bad_alloc&) {
        answer = quillon::encodeSheetFailure("the workbook needs more memory than allowed");
    } catch (const std::exception& e) {
        answer = quillon::encodeSheetFailure(std::string("the reader failed: ") + e.what());
    }
    return writeAll(answer) ? 0 : 1;
}
