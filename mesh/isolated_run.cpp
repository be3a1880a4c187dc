#include "mesh/isolated_run.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr int kExitInput = 2;

// Signals that mean someone stopped the program rather than a fault in it.
bool isStopRequest(int sig) {
    return sig == SIGINT || sig == SIGTERM || sig == SIGHUP || sig == SIGQUIT || sig == SIGPIPE;
}

}  // namespace

int runIsolated(const std::string& program, const std::string& modelPath, const std::function<int()>& work) {
    std::fflush(nullptr);
    std::cout.flush();
    const pid_t child = fork();
    if (child < 0) return work();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        const int code = work();
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "%s: error: %s: lost the converting process (%s)\n", program.c_str(),
                         modelPath.c_str(), std::strerror(errno));
            return kExitInput;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    const int sig = WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL;
    if (isStopRequest(sig)) {
        // Stopped from outside: end the same way.
        signal(sig, SIG_DFL);
        raise(sig);
    }
    if (sig == SIGXCPU) {
        std::fprintf(
            stderr,
            "%s: error: %s: reading the model took longer than allowed; the file is probably damaged\n",
            program.c_str(), modelPath.c_str());
    } else if (sig == SIGKILL) {
        std::fprintf(stderr, "%s: error: %s: the conversion was killed (out of memory?)\n", program.c_str(),
                     modelPath.c_str());
    } else {
        std::fprintf(stderr,
                     "%s: error: %s: the conversion crashed (%s); the file is probably damaged in a way the "
                     "model library does not check\n",
                     program.c_str(), modelPath.c_str(), strsignal(sig));
    }
    return kExitInput;
}
