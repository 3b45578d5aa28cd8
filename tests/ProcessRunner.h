#pragma once

// Runs a built program as a child process: its arguments, its environment, its standard output
// and error, and its exit status, within a time limit.

#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillon::test
{

struct ProcessResult {
    int status = -1; // exit status; -1 when killed or not started
    std::string out;
    std::string err;
};

// Environment changes for the child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

inline std::vector<std::string> childEnvironment(const EnvChanges& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!changes.count(name))
            env.push_back(entry);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            env.push_back(name + "=" + *value);
    }
    return env;
}

// Starts `program` with `args`; the child's standard input is /dev/null. The pipe ends for its
// output are returned in outFd and errFd (-1 for one not wanted). -1 when it cannot start.
inline pid_t startProcess(const std::string& program, const std::vector<std::string>& args, const EnvChanges& env,
                          int& outFd, int& errFd)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return -1;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return -1;
    }
    std::vector<std::string> envStrings = childEnvironment(env);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        return -1;
    }
    outFd = out[0];
    errFd = err[0];
    return pid;
}

// Runs `program` to its end; killed (status -1) when it outlives `limit`.
inline ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                                const EnvChanges& env = {}, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    ProcessResult result;
    int outFd = -1, errFd = -1;
    const pid_t pid = startProcess(program, args, env, outFd, errFd);
    if (pid < 0)
        return result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    bool killed = false;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& f : fds) {
        if (f.fd >= 0)
            ::close(f.fd);
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    result.status = !killed && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

} // namespace quillon::test
