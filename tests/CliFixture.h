#pragma once

// Runs quillon-cli's commands the way its main does, against an in-process box.

#include "LinkFixture.h"

#include <Command.h>
#include <LinkSession.h>
#include <StringTable.h>

#include <sstream>

namespace quillon::test
{

class CliFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setUiLanguage(LanguageEnglish);
        box = std::make_unique<sim::StbSimulator>(testBoxOptions());
        ASSERT_TRUE(box->start());
    }
    void TearDown() override
    {
        session.reset();
        box->stop();
        setUiLanguage(LanguageChinese);
    }

    static cli::LinkSession* open(cli::Context& c)
    {
        auto* self = static_cast<CliFixture*>(c.owner);
        if (!self->session) {
            auto s = std::make_unique<cli::LinkSession>(c.out, c.err);
            if (!s->open("127.0.0.1", self->box->port(), "admin", "quillon", "", shortTimeouts()))
                return nullptr;
            self->session = std::move(s);
        }
        return self->session.get();
    }

    // The command's exit status, its output in `out` and `err`; -1 for an unknown command.
    int run(const std::string& name, std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        for (auto& command : cli::allCommands()) {
            if (name == command->name()) {
                cli::Context c{std::move(args), out, err, &CliFixture::open, this};
                return command->run(c);
            }
        }
        return -1;
    }

    std::unique_ptr<sim::StbSimulator> box;
    std::unique_ptr<cli::LinkSession> session;
    std::ostringstream out, err;
};

} // namespace quillon::test
