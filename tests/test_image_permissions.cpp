// A firmware image as an ordinary user has it: read-only (a file from a shared folder or a
// package), or not readable at all. Root reads every file, so these run as "nobody".
#include "LinkFixture.h"
#include "Unprivileged.h"

#include <SimDiagnostics.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

using namespace quillon;
using namespace quillon::test;
namespace fs = std::filesystem;

namespace
{

class ImagePermissions : public LinkFixture
{
protected:
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        LinkFixture::SetUp();
        ASSERT_TRUE(connect());
        box.clearFrames();
        dir_ = fs::temp_directory_path() / ("quillon-image-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        fs::remove_all(dir_);
        LinkFixture::TearDown();
        setUiLanguage(LanguageChinese);
    }
    // An image of `size` bytes with the given permission bits.
    std::string image(const char* name, size_t size, mode_t mode)
    {
        const std::string path = (dir_ / name).string();
        std::string bytes = sim::simImageHeader("V7.7.7");
        bytes.resize(size, 'i');
        std::ofstream(path, std::ios::binary) << bytes;
        ::chmod(path.c_str(), mode);
        return path;
    }
    // The final response of an upgrade and the late one of the sender, if any.
    std::unique_ptr<ResUpgrade> upgrade(const std::string& path)
    {
        ReqUpgrade request;
        request.fileName = path;
        auto all = runAll(request);
        while (auto late = queues.waitResponse(std::chrono::milliseconds(150)))
            all.push_back(std::move(late));
        for (auto& r : all) {
            if (r->status != STA_PROGRESS) {
                auto* typed = dynamic_cast<ResUpgrade*>(r.get());
                if (!typed)
                    return nullptr;
                r.release();
                return std::unique_ptr<ResUpgrade>(typed);
            }
        }
        return nullptr;
    }
    fs::path dir_;
};

} // namespace

// Faults caught: the image opened for writing as well (refused to a normal user), or by the
// sender with other flags than the exchange that measured it.
TEST_F(ImagePermissions, AReadOnlyImageIsSentWhole)
{
    QUILLON_RUN_UNPRIVILEGED();
    const std::string path = image("readonly.img", 9000, 0444);
    ASSERT_NE(::access(path.c_str(), W_OK), 0) << "the file is writable: the test would prove nothing";
    auto r = upgrade(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_OK) << r->message;
    EXPECT_EQ(box.upgradeRecord().received, 9000);
    EXPECT_EQ(box.upgradeRecord().announced, 9000);
}

// Fault caught: an unreadable image announced to the box (which then waits for bytes that never
// come) instead of refused at once with the reason.
TEST_F(ImagePermissions, AnUnreadableImageIsRefusedBeforeTheBoxHearsOfIt)
{
    QUILLON_RUN_UNPRIVILEGED();
    const std::string path = image("secret.img", 9000, 0000);
    ASSERT_NE(::access(path.c_str(), R_OK), 0) << "the file is readable: the test would prove nothing";
    auto r = upgrade(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, STA_ERROR);
    EXPECT_EQ(r->message, "cannot open upgrade file " + path + ": " + std::strerror(EACCES));
    EXPECT_TRUE(frames().empty());
    EXPECT_EQ(box.upgradeRecord().announced, -1);
}

// What cannot be an image is refused with its reason before the box hears of an upgrade.
// Faults caught: an empty file announced (length 0) and sent, a folder opened as an image.
TEST_F(ImagePermissions, AnEmptyImageOrAFolderIsRefusedBeforeTheBoxHearsOfIt)
{
    const std::string empty = image("empty.img", 0, 0644);
    const std::string folder = (dir_ / "folder.img").string();
    fs::create_directories(folder);
    const std::pair<std::string, std::string> cases[] = {
        {empty, "upgrade file " + empty + " is empty"},
        {folder, "cannot open upgrade file " + folder + ": " + std::strerror(EISDIR)},
    };
    for (const auto& [path, message] : cases) {
        auto r = upgrade(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, STA_ERROR);
        EXPECT_EQ(r->message, message);
        EXPECT_TRUE(frames().empty()) << path;
        EXPECT_EQ(box.upgradeRecord().announced, -1) << path;
    }
}
