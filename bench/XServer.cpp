#include "XServer.h"

#include "ProcessUsage.h"

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Made before any Qt application object exists, since the window system is
// chosen when that is made: plain fork and exec, no QProcess.
XServer::XServer() {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("cannot make a pipe for Xvfb");
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(pipeFds[0]);
        // Its start-up chatter is no part of the results.
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        // Xvfb writes the display number it took to this descriptor.
        const std::string fd = std::to_string(pipeFds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                 "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string number;
    char c = 0;
    while (m_pid > 0 && ::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(pipeFds[0]);
    if (number.empty()) {
        stop();
        throw std::runtime_error("Xvfb did not start (apt-get install xvfb)");
    }
    m_display = QStringLiteral(":") + QString::fromStdString(number);
}

XServer::~XServer() {
    stop();
}

void XServer::stop() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

double XServer::cpuSeconds() const {
    return ProcessUsage::cpuSecondsOf(m_pid);
}
