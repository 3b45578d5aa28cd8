// Times the provisioning generator on 10 000 data rows read from .xls and from .xlsx.
// The workbooks are written by tests/data/make_workbooks.py (python3-xlwt, python3-openpyxl)
// into a scratch folder, or taken from the two paths given on the command line.
#include <Logger.h>
#include <ProfileGenerator.h>
#include <WorkbookReader.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using namespace quillon;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace
{

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Floor of the same run: creating as many small files with bare system calls, which is what the
// disk allows whatever the generator does.
double fileFloorSeconds(const fs::path& folder, int count)
{
    fs::create_directories(folder);
    const std::string line(300, 'x');
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const int fd =
            ::open((folder / ("f" + std::to_string(i) + ".cfg")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0444);
        if (fd >= 0) {
            if (::write(fd, line.data(), line.size()) < 0)
                std::perror("write");
            ::close(fd);
        }
    }
    const double seconds = secondsSince(start);
    fs::remove_all(folder);
    return seconds;
}

// Reading the workbook alone.
double readOnlySeconds(const std::string& path)
{
    const auto start = Clock::now();
    Sheet sheet(11);
    std::string error;
    readWorkbook(path, sheet, error);
    return secondsSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    const fs::path scratch = fs::temp_directory_path() / ("quillon-bench-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    Logger::instance().setFileName((scratch / "bench.log").string());
    std::string books[2];
    if (argc == 3) {
        books[0] = argv[1];
        books[1] = argv[2];
    } else {
        const std::string command =
            "/usr/bin/python3 " QUILLON_SOURCE_DIR "/tests/data/make_workbooks.py --bench '" + scratch.string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr,
                         "bench_profiles: cannot write the workbooks (needs python3-xlwt and python3-openpyxl); "
                         "or pass an .xls and an .xlsx path\n");
            fs::remove_all(scratch);
            return 1;
        }
        books[0] = (scratch / "bench-10000.xls").string();
        books[1] = (scratch / "bench-10000.xlsx").string();
    }
    int status = 0;
    for (const std::string& book : books) {
        const fs::path out = scratch / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const double read = readOnlySeconds(book);
        const double floor = fileFloorSeconds(scratch / "floor", 10000);
        const auto start = Clock::now();
        const int result = CreateUserProfile(book, out.string(), {});
        const double total = secondsSince(start);
        const auto files = std::distance(fs::directory_iterator(out), fs::directory_iterator());
        std::printf("%-18s result %d, %ld files: %.3f s (target 2 s: %.2fx); reading alone %.3f s; "
                    "floor (10000 bare file writes) %.3f s; generator / floor %.2fx\n",
                    fs::path(book).filename().c_str(), result, static_cast<long>(files), total, total / 2.0, read,
                    floor, floor > 0 ? total / floor : 0.0);
        if (result != 0)
            status = 1;
        fs::remove_all(out);
    }
    fs::remove_all(scratch);
    return status;
}
