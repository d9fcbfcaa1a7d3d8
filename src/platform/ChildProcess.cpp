// Child programs through fork and exec.
#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <thread>

namespace platform {

ChildProcess::~ChildProcess() {
    Terminate();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), status_(other.status_) {
    other.pid_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        Terminate();
        pid_ = other.pid_;
        status_ = other.status_;
        other.pid_ = -1;
    }
    return *this;
}

bool ChildProcess::Spawn(const std::vector<std::string>& arguments, bool quiet) {
    if (pid_ > 0 || arguments.empty())
        return false;
    // Everything the child needs is made before the fork: after it, in a program with threads,
    // only async-signal-safe calls are allowed.
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    argv.reserve(copies.size() + 1);
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);  // the parent died before the request took effect
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            if (quiet)
                ::dup2(null, STDOUT_FILENO);
            if (null != STDIN_FILENO && null != STDOUT_FILENO)
                ::close(null);
        }
        // Sockets and files of the game stay the game's.
#ifdef SYS_close_range
        if (::syscall(SYS_close_range, 3u, ~0u, 0u) != 0)
#endif
        {
            for (int fd = 3; fd < 4096; ++fd)
                ::close(fd);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    pid_ = pid;
    status_ = -1;
    return true;
}

void ChildProcess::Collected(int status) {
    status_ = status;
    pid_ = -1;
}

bool ChildProcess::Running() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno == ECHILD)) {
        Collected(done == pid_ ? status : -1);
        return false;
    }
    return true;
}

bool ChildProcess::Wait(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void ChildProcess::Terminate(std::chrono::milliseconds grace) {
    if (!Running())
        return;
    ::kill(pid_, SIGTERM);
    if (Wait(grace))
        return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Collected(status);
}

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    std::string text(path, static_cast<size_t>(length));
    const size_t slash = text.find_last_of('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

}  // namespace platform
