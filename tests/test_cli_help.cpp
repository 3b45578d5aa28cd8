#include <Command.h>
#include <Help.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

using namespace quillon::cli;

// The manual page and the shell completion are made from these texts, so a command without a
// description or a name that does not start its usage would leave them wrong.
TEST(CliHelp, EveryCommandIsDescribedAndListed)
{
    const auto commands = allCommands();
    std::ostringstream usage, names;
    printUsage(usage, commands);
    printCommandNames(names, commands);

    std::set<std::string> seen;
    std::istringstream nameLines(names.str());
    std::string name;
    size_t index = 0;
    while (std::getline(nameLines, name)) {
        ASSERT_LT(index, commands.size());
        const Command& command = *commands[index++];
        EXPECT_EQ(name, command.name());
        EXPECT_TRUE(seen.insert(name).second) << "twice: " << name;
        EXPECT_NE(std::string(command.description()), "") << name;
        EXPECT_EQ(std::string(command.usage()).rfind(name, 0), 0u) << name << ": " << command.usage();
        EXPECT_NE(usage.str().find("  " + name + " "), std::string::npos) << name;
        EXPECT_NE(usage.str().find(command.description()), std::string::npos) << name;
        // The list marks the commands that need no box, and only those.
        const std::string line = command.description() + std::string(command.needsLink() ? "\n" : " (offline)\n");
        EXPECT_NE(usage.str().find(line), std::string::npos) << name;
    }
    EXPECT_EQ(index, commands.size());
}

TEST(CliHelp, CommandHelpShowsUsageAndWhetherABoxIsNeeded)
{
    for (const auto& command : allCommands()) {
        std::ostringstream out;
        printCommandHelp(out, *command);
        const std::string text = out.str();
        EXPECT_EQ(text.rfind(std::string("usage: quillon-cli [options] ") + command->usage() + "\n", 0), 0u) << text;
        EXPECT_NE(text.find(command->needsLink() ? "Needs a box" : "Works offline"), std::string::npos) << text;
    }
}

// Faults caught: details missing from a command's help (and so from the manual page), or a
// detail line the manual's formatter would take for a list item.
TEST(CliHelp, DetailsReachTheHelpAndCannotBreakTheManual)
{
    for (const auto& command : allCommands()) {
        std::ostringstream out;
        printCommandHelp(out, *command);
        const std::string details = command->details();
        EXPECT_NE(out.str().find(details), std::string::npos) << command->name();
        if (details.empty())
            continue;
        EXPECT_EQ(details.back(), '\n') << command->name();
        std::istringstream lines(details);
        for (std::string line; std::getline(lines, line);)
            EXPECT_FALSE(line.empty() || line[0] == '-' || line[0] == '*' || line[0] == '#')
                << command->name() << ": " << line;
    }
}
