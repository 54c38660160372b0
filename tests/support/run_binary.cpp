#include "support/run_binary.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tagsift::testing {

std::string binaryPath() { return TAGSIFT_BINARY; }
std::string testDir() { return TAGSIFT_TEST_DIR; }

RunResult runBinary(const std::string& binary, const std::vector<std::string>& args, const std::string& input,
                    const RunOptions& options) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
    std::signal(SIGPIPE, SIG_IGN);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(options.stdoutPath.empty() ? out[1] : open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        signal(SIGPIPE, SIG_DFL);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (options.closeStdoutEarly) close(out[0]), out[0] = -1;
    if (input.empty()) close(in[1]), in[1] = -1;
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    RunResult result;
    std::size_t written = 0;
    char buf[1 << 16];
    // Feeds standard input while reading both outputs, so that no pipe fills up and blocks the child.
    for (int waited = 0; out[0] >= 0 || err[0] >= 0;) {
        pollfd fds[3];
        nfds_t n = 0;
        for (int fd : {in[1], out[0], err[0]})
            if (fd >= 0) fds[n++] = {fd, static_cast<short>(fd == in[1] ? POLLOUT : POLLIN), 0};
        if (poll(fds, n, 1000) == 0 && ++waited > options.timeoutSeconds) {
            kill(pid, SIGKILL);
            break;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == in[1]) {
                const ssize_t w = write(in[1], input.data() + written, input.size() - written);
                written = w < 0 && errno != EAGAIN ? input.size() : written + static_cast<std::size_t>(std::max<ssize_t>(w, 0));
                if (written == input.size()) close(in[1]), in[1] = -1;
                continue;
            }
            const ssize_t r = read(fds[i].fd, buf, sizeof buf);
            if (r > 0) (fds[i].fd == out[0] ? result.out : result.err).append(buf, static_cast<std::size_t>(r));
            else (fds[i].fd == out[0] ? out[0] : err[0]) = -1, close(fds[i].fd);
        }
    }
    if (in[1] >= 0) close(in[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace tagsift::testing
