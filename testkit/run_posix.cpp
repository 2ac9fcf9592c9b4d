// Child processes for command-line tests on Linux: fork and exec, with
// pipes for the three channels.
#include "testkit/run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace testkit {

RunResult run_program(const std::string& path, const std::vector<std::string>& args, const RunOptions& options) {
    std::signal(SIGPIPE, SIG_IGN);  // a child may stop reading its input early
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe)) throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        for (const auto& name : options.unset_env) unsetenv(name.c_str());
        std::vector<char*> argv;
        std::string arg0 = options.argv0.empty() ? path : options.argv0;
        argv.push_back(arg0.data());
        std::vector<std::string> copies = args;
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult result;
    std::size_t written = 0;
    int in_fd = in_pipe[1];
    if (options.input.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        pollfd fds[3];
        int n = 0;
        int out_at = -1, err_at = -1, in_at = -1;
        if (out_open) {
            fds[n] = {out_pipe[0], POLLIN, 0};
            out_at = n++;
        }
        if (err_open) {
            fds[n] = {err_pipe[0], POLLIN, 0};
            err_at = n++;
        }
        if (in_fd >= 0) {
            fds[n] = {in_fd, POLLOUT, 0};
            in_at = n++;
        }
        if (poll(fds, n, -1) < 0) break;
        if (out_at >= 0 && fds[out_at].revents) {
            ssize_t got = read(out_pipe[0], buf, sizeof buf);
            if (got <= 0)
                out_open = false;
            else
                result.out.append(buf, got);
        }
        if (err_at >= 0 && fds[err_at].revents) {
            ssize_t got = read(err_pipe[0], buf, sizeof buf);
            if (got <= 0)
                err_open = false;
            else
                result.err.append(buf, got);
        }
        if (in_at >= 0 && fds[in_at].revents) {
            ssize_t put = write(in_fd, options.input.data() + written, options.input.size() - written);
            if (put > 0) written += static_cast<std::size_t>(put);
            if (put < 0 || written == options.input.size()) {
                close(in_fd);
                in_fd = -1;
            }
        }
    }
    if (in_fd >= 0) close(in_fd);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return result;
}

bool running_as_root() {
    return geteuid() == 0;
}

}  // namespace testkit
