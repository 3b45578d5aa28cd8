// Loads a large box log into the viewer and compares the time with a floor measured in the same
// run: reading the same file with fread in 1 MiB blocks and finding every line end with memchr.
// Also reports the memory the loaded rows take against the file's size. With the window built,
// the load through the viewer's model into a table view (offscreen) is measured too.
//
// usage: bench_logload [MEGABYTES]   (default 100: about 765 000 lines)
#include "BenchSupport.h"

#include <LogRows.h>

#ifdef QUILLON_BENCH_UI
#include <LogRowModel.h>

#include <QApplication>
#include <QTableView>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace quillon::bench;
using namespace quillon;

namespace
{

constexpr int kRounds = 5;

// Lines as a box at debug level writes them: about 137 bytes on average, a few far longer.
size_t writeLog(const std::string& path, size_t bytes)
{
    static const char* const modules[] = {"HTTP", "RTSP", "IGMP", "Mediaplayer", "Buffer", "DRM", "Upgrade", "ACS"};
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    size_t written = 0;
    size_t lines = 0;
    char line[4096];
    while (written < bytes) {
        int n = std::snprintf(line, sizeof line,
                              "2026-12-09 14:%02zu:%02zu.%03zu [%s] #%zu request http://10.20.0.40/epg/channel/%zu "
                              "answered 200 in %zu ms, buffer %zu%%, session 0x%08zx\r\n",
                              lines / 60000 % 60, lines / 1000 % 60, lines % 1000, modules[lines % 8], lines,
                              lines % 977, lines % 389, lines % 101, lines * 2654435761u % 4294967296u);
        if (lines % 20000 == 7) { // now and then a dump far past the viewer's width
            std::memset(line + n - 2, 'D', 3000);
            std::memcpy(line + n - 2 + 3000, "\r\n", 2);
            n += 3000;
        }
        std::fwrite(line, 1, size_t(n), f);
        written += size_t(n);
        ++lines;
    }
    std::fclose(f);
    return lines;
}

size_t floorRead(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<char> block(1 << 20);
    size_t lines = 0;
    for (size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0;) {
        const char* p = block.data();
        const char* end = p + n;
        while ((p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p))))) {
            ++lines;
            ++p;
        }
    }
    std::fclose(f);
    return lines;
}

} // namespace

int main(int argc, char* argv[])
{
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const std::string path = (std::filesystem::temp_directory_path() / "quillon-bench-logload.log").string();
    const size_t lines = writeLog(path, megabytes << 20);
    const double fileMb = double(std::filesystem::file_size(path)) / (1 << 20);
    std::printf("log file: %.1f MiB, %zu lines\n", fileMb, lines);

    double floorBest = 1e9, loadBest = 1e9;
    size_t floorLines = 0;
    long memoryKb = 0;
    LogRows::LoadResult result;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        floorLines = floorRead(path);
        floorBest = std::min(floorBest, secondsSince(start));

        const long before = statusKb("VmRSS");
        auto rows = std::make_unique<LogRows>();
        start = Clock::now();
        result = rows->loadFile(path);
        loadBest = std::min(loadBest, secondsSince(start));
        memoryKb = statusKb("VmRSS") - before;
    }
    std::printf("floor  fread+memchr:     %7.1f ms (%zu line ends)\n", floorBest * 1000, floorLines);
    std::printf("viewer rows (LogRows):   %7.1f ms (%zu rows, %zu shown cut)  ratio %.2f (target <= 3)\n",
                loadBest * 1000, result.lines, result.cutLines, loadBest / floorBest);
    std::printf("memory of the rows:      %7.1f MiB  ratio to the file %.2f (target <= 2)\n", memoryKb / 1024.0,
                memoryKb / 1024.0 / fileMb);

#ifdef QUILLON_BENCH_UI
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    double viewBest = 1e9;
    long viewMemoryKb = 0;
    for (int round = 0; round < kRounds; ++round) {
        const long before = statusKb("VmRSS");
        auto model = std::make_unique<LogRowModel>();
        QTableView view;
        view.setModel(model.get());
        setUpLogView(&view, new LogRowDelegate(&view));
        view.resize(900, 400);
        view.show();
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        model->loadFile(path);
        const double modelOnly = secondsSince(start);
        view.viewport()->repaint(); // laid out and the first screen drawn
        QCoreApplication::processEvents();
        if (round == 0)
            std::printf("  (model %.1f ms, layout and first paint %.1f ms)\n", modelOnly * 1000,
                        (secondsSince(start) - modelOnly) * 1000);
        viewBest = std::min(viewBest, secondsSince(start));
        viewMemoryKb = statusKb("VmRSS") - before;
        view.setModel(nullptr);
    }
    std::printf("window model + table view: %6.1f ms  ratio %.2f (target <= 3); memory %.1f MiB, ratio %.2f\n",
                viewBest * 1000, viewBest / floorBest, viewMemoryKb / 1024.0, viewMemoryKb / 1024.0 / fileMb);
#endif
    std::filesystem::remove(path);
    return 0;
}
