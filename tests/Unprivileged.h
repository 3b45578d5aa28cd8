#pragma once

// Tests whose outcome depends on file permissions. Root ignores permission bits, so run as root
// such a test would pass without checking anything: it runs itself again as the unprivileged user
// "nobody" (setpriv), with a temporary folder of that user's, and takes that run's verdict.
//
//     TEST_F(Suite, Name) { QUILLON_RUN_UNPRIVILEGED(); ...the test... }

#include "ProcessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::test
{

enum class PrivilegeRun { RunHere, ChildPassed, ChildFailed, ChildSkipped, Impossible };

struct PrivilegeOutcome {
    PrivilegeRun run = PrivilegeRun::RunHere;
    std::string detail; // the child's output, or why no child could run
};

inline constexpr const char* kUnprivilegedMark = "QUILLON_UNPRIVILEGED_CHILD";

inline PrivilegeOutcome runUnprivilegedIfRoot()
{
    PrivilegeOutcome outcome;
    if (::geteuid() != 0 || std::getenv(kUnprivilegedMark))
        return outcome;
    outcome.run = PrivilegeRun::Impossible;
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        outcome.detail = "running as root and there is no user \"nobody\" to drop to";
        return outcome;
    }
    std::string setpriv;
    for (const char* candidate : {"/usr/bin/setpriv", "/bin/setpriv"}) {
        if (::access(candidate, X_OK) == 0) {
            setpriv = candidate;
            break;
        }
    }
    if (setpriv.empty()) {
        outcome.detail = "running as root and setpriv (util-linux) is not installed";
        return outcome;
    }
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    // A temporary folder the unprivileged user owns; the test makes its own folders inside it.
    const std::filesystem::path tmp =
        std::filesystem::temp_directory_path() / ("quillon-nobody-" + std::to_string(::getpid()) + "-" + info->name());
    std::error_code ec;
    std::filesystem::remove_all(tmp, ec);
    if (!std::filesystem::create_directories(tmp, ec) || ::chown(tmp.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
        outcome.detail = "running as root and cannot make a folder for \"nobody\" in " + tmp.parent_path().string();
        return outcome;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    const ProcessResult r = runProcess(
        setpriv,
        {"--reuid=" + std::to_string(nobody->pw_uid), "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups",
         "--", self, "--gtest_filter=" + name, "--gtest_also_run_disabled_tests"},
        {{kUnprivilegedMark, "1"}, {"TMPDIR", tmp.string()}, {"HOME", tmp.string()}, {"XDG_STATE_HOME", std::nullopt}},
        std::chrono::seconds(100));
    std::filesystem::remove_all(tmp, ec);
    outcome.detail = r.out + r.err;
    if (r.status == 0 && r.out.find("[  SKIPPED ]") != std::string::npos)
        outcome.run = PrivilegeRun::ChildSkipped;
    else if (r.status == 0 && r.out.find("[  PASSED  ] 1 test") != std::string::npos)
        outcome.run = PrivilegeRun::ChildPassed;
    else if (r.out.find("[ RUN      ]") == std::string::npos)
        outcome.detail = "running as root and the test could not be started as \"nobody\" (is the build folder "
                         "readable by all?): " +
                         outcome.detail;
    else
        outcome.run = PrivilegeRun::ChildFailed;
    return outcome;
}

} // namespace quillon::test

#define QUILLON_RUN_UNPRIVILEGED()                                                                                     \
    do {                                                                                                               \
        const ::quillon::test::PrivilegeOutcome quillonOutcome = ::quillon::test::runUnprivilegedIfRoot();             \
        switch (quillonOutcome.run) {                                                                                  \
        case ::quillon::test::PrivilegeRun::RunHere:                                                                   \
            break;                                                                                                     \
        case ::quillon::test::PrivilegeRun::ChildPassed:                                                               \
            return;                                                                                                    \
        case ::quillon::test::PrivilegeRun::ChildFailed:                                                               \
            FAIL() << "as the user \"nobody\":\n" << quillonOutcome.detail;                                            \
        case ::quillon::test::PrivilegeRun::ChildSkipped:                                                              \
            GTEST_SKIP() << "skipped as the user \"nobody\":\n" << quillonOutcome.detail;                              \
        case ::quillon::test::PrivilegeRun::Impossible:                                                                \
            GTEST_SKIP() << "depends on file permissions, which root ignores: " << quillonOutcome.detail;              \
        }                                                                                                              \
    } while (0)
