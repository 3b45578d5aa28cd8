// Exports whose file cannot be written fail instead of reporting success.
#include "LinkFixture.h"
#include "Unprivileged.h"

#include <StringTable.h>

#include <filesystem>

#include <sys/stat.h>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace
{

class ExportFiles : public LinkFixture
{
protected:
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        LinkFixture::SetUp();
        ASSERT_TRUE(connect());
        dir_ = fs::temp_directory_path() / ("quillon-export-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        ::chmod(dir_.c_str(), 0755);
        fs::remove_all(dir_);
        LinkFixture::TearDown();
        setUiLanguage(LanguageChinese);
    }
    // The final responses of a parameter export and a channel list export to `folder`.
    std::pair<std::unique_ptr<Response>, std::unique_ptr<Response>> exportInto(const fs::path& folder)
    {
        ReqExportParams params;
        params.fileName = (folder / "params.txt").string();
        ReqExportChannelList channels;
        channels.fileName = (folder / "channels.txt").string();
        auto p = run(params);
        auto c = run(channels);
        return {std::move(p), std::move(c)};
    }
    void expectFailed(const Response* r, const fs::path& file)
    {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, STA_ERROR);
        EXPECT_EQ(r->message, loadUiString(405) + ": " + file.string());
        EXPECT_FALSE(fs::exists(file));
    }
    fs::path dir_;
};

} // namespace

TEST_F(ExportFiles, AFileInAMissingFolderIsAFailure)
{
    const fs::path missing = dir_ / "missing";
    auto [params, channels] = exportInto(missing);
    expectFailed(params.get(), missing / "params.txt");
    expectFailed(channels.get(), missing / "channels.txt");
}

// A full disk, where every byte still fits the write buffer and the failure only shows when the
// file is closed. Fault caught: the close's error dropped, so a file that never reached the disk
// is reported as exported.
TEST_F(ExportFiles, AFullDiskIsAFailure)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    ReqExportParams params;
    params.fileName = "/dev/full";
    ReqExportChannelList channels;
    channels.fileName = "/dev/full";
    for (const std::unique_ptr<Response>& r : {run(params), run(channels)}) {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, STA_ERROR);
        EXPECT_EQ(r->message, loadUiString(405) + ": /dev/full");
    }
}

TEST_F(ExportFiles, AReadOnlyFolderIsAFailure)
{
    QUILLON_RUN_UNPRIVILEGED();
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
    auto [params, channels] = exportInto(dir_);
    expectFailed(params.get(), dir_ / "params.txt");
    expectFailed(channels.get(), dir_ / "channels.txt");
    // The same folder made writable again: both succeed.
    ::chmod(dir_.c_str(), 0755);
    auto [again, list] = exportInto(dir_);
    ASSERT_TRUE(again && list);
    EXPECT_EQ(again->status, STA_OK);
    EXPECT_EQ(list->status, STA_OK);
}
