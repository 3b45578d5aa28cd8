#include "../cli/Command.h"

#include <StringTable.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace quillon;
using namespace quillon::cli;
namespace fs = std::filesystem;

namespace
{

struct Outcome {
    int code;
    std::string out, err;
};

Outcome runCommand(Command& command, std::vector<std::string> args)
{
    std::ostringstream out, err;
    Context context{std::move(args), out, err};
    const int code = command.run(context);
    return {code, out.str(), err.str()};
}

} // namespace

TEST(ToolCommands, UsbProfilesExitCodesFollowTheResult)
{
    setUiLanguage(LanguageEnglish);
    const fs::path dir = fs::temp_directory_path() / ("quillon-cmd-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto command = makeUsbProfilesCommand();
    EXPECT_FALSE(command->needsLink());
    EXPECT_EQ(runCommand(*command, {"only-one"}).code, ExitUsage);

    const Outcome partial = runCommand(*command, {std::string(QUILLON_TEST_DATA) + "/profiles.xls", dir.string()});
    EXPECT_EQ(partial.code, ExitPartial);
    EXPECT_EQ(partial.out, "A part of create user config file failed：2 error.\n");

    const Outcome missing = runCommand(*command, {(dir / "none.xls").string(), dir.string()});
    EXPECT_EQ(missing.code, ExitError);
    EXPECT_EQ(missing.err, "Configuration file does not exist:" + (dir / "none.xls").string() + "\n");

    std::ofstream(dir / "ok.csv") << "user,ntvuseraccount,ntvuserpassword,connecttype,netuseraccount,netuserpassword,"
                                     "stbIP,netmask,gateway,dns,dns2\nu1,a1\n";
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const Outcome ok = runCommand(*command, {(dir / "ok.csv").string(), out.string()});
    EXPECT_EQ(ok.code, ExitOk);
    EXPECT_EQ(ok.out, "Successed in create user config file.\n");
    fs::remove_all(dir);
}

TEST(ToolCommands, ZoneInfoPrintsTheSiteAlone)
{
    setUiLanguage(LanguageEnglish);
    const fs::path file = fs::temp_directory_path() / ("quillon-cmd-zone-" + std::to_string(::getpid()) + ".cfg");
    auto command = makeZoneInfoCommand();
    std::ofstream(file) << "a=b\r\ninfo = Beijing\r\n";
    const Outcome found = runCommand(*command, {file.string()});
    EXPECT_EQ(found.code, ExitOk);
    EXPECT_EQ(found.out, "Beijing\n");
    std::ofstream(file) << "nothing here\n";
    const Outcome none = runCommand(*command, {file.string()});
    EXPECT_EQ(none.code, ExitError);
    EXPECT_EQ(none.err, "The common.cfg file is applicable to \n");
    fs::remove(file);
    EXPECT_EQ(runCommand(*command, {file.string()}).err,
              "The file of zone infomation does not exist:" + file.string() + "\n");
    EXPECT_EQ(runCommand(*command, {""}).code, ExitError);
}
