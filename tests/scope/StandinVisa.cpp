// A stand-in for a vendor's VISA library, built by the tests as libvisa.so.
// It lists one raw-socket resource on loopback (the port comes from
// MARDOCK_STANDIN_VISA_PORT) and one USB resource it cannot open, serves
// the socket with plain blocking I/O bounded by the session's timeout, and
// logs the calls on a session, and each listing, to the file
// MARDOCK_STANDIN_VISA_LOG names. Two switches make it misbehave:
// MARDOCK_STANDIN_VISA_HANG ("find" or "open") names a call that never
// returns, and MARDOCK_STANDIN_VISA_COUNT makes a listing report that many
// made-up resources.
// The status codes and attributes are written out here on their own, so a
// wrong value on the caller's side shows.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

namespace {

using Status = std::int32_t;
using Object = std::uint32_t;
// Pointer-sized, as a vendor's own headers make it.
using Attribute = std::uintptr_t;

constexpr Status Ok = 0;
constexpr Status TermCharSeen = 0x3FFF0005;
constexpr Status CountReached = 0x3FFF0006;
constexpr Status NotFound = Status(0xBFFF0011);
constexpr Status TimedOut = Status(0xBFFF0015);
constexpr Status LinkLost = Status(0xBFFF00A6);

constexpr Object Manager = 1;
constexpr Object FindList = 2;

struct Session {
    int fd = -1;
    int timeoutMs = 2000;
    unsigned char termChar = '\n';
    bool termCharEnabled = false;
};

// A session that was never opened has no connection: its I/O fails.
std::map<Object, Session> sessions;
Object nextSession = 100;
std::vector<std::string> listed;
std::size_t nextListed = 0;

void log(const char *format, ...) __attribute__((format(printf, 1, 2)));
void log(const char *format, ...) {
    const char *path = std::getenv("MARDOCK_STANDIN_VISA_LOG");
    FILE *file = path ? std::fopen(path, "a") : nullptr;
    if (!file)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(file, format, arguments);
    va_end(arguments);
    std::fputc('\n', file);
    std::fclose(file);
}

void hangIf(const char *call) {
    const char *hang = std::getenv("MARDOCK_STANDIN_VISA_HANG");
    if (hang && std::strcmp(hang, call) == 0)
        for (;;)
            ::pause();
}

// Set while a listing hands out made-up resources.
bool madeUp = false;

int port() {
    const char *text = std::getenv("MARDOCK_STANDIN_VISA_PORT");
    return text ? std::atoi(text) : 0;
}

std::string socketResource() {
    return "TCPIP0::127.0.0.1::" + std::to_string(port()) + "::SOCKET";
}

void copyOut(const std::string &text, char *out) {
    std::snprintf(out, 256, "%s", text.c_str());
}

} // namespace

extern "C" {

Status viOpenDefaultRM(Object *manager) {
    *manager = Manager;
    return Ok;
}

Status viFindRsrc(Object, const char *, Object *list, std::uint32_t *count, char *first) {
    log("viFindRsrc");
    hangIf("find");
    madeUp = std::getenv("MARDOCK_STANDIN_VISA_COUNT") != nullptr;
    if (madeUp) {
        nextListed = 1;
        *list = FindList;
        *count =
            std::uint32_t(std::strtoul(std::getenv("MARDOCK_STANDIN_VISA_COUNT"), nullptr, 10));
        copyOut("GPIB0::0::INSTR", first);
        return Ok;
    }
    if (port() == 0)
        return NotFound;
    listed = {socketResource(), "USB0::0x1234::0x5678::STANDIN::INSTR"};
    nextListed = 1;
    *list = FindList;
    *count = std::uint32_t(listed.size());
    copyOut(listed[0], first);
    return Ok;
}

Status viFindNext(Object, char *next) {
    if (madeUp) {
        copyOut("GPIB0::" + std::to_string(nextListed++) + "::INSTR", next);
        return Ok;
    }
    if (nextListed >= listed.size())
        return NotFound;
    copyOut(listed[nextListed++], next);
    return Ok;
}

Status viOpen(Object, const char *name, std::uint32_t, std::uint32_t, Object *opened) {
    log("viOpen %s", name);
    hangIf("open");
    if (strcasecmp(name, socketResource().c_str()) != 0)
        return NotFound;
    Session session;
    session.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(session.fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(session.fd);
        return NotFound;
    }
    *opened = nextSession++;
    sessions[*opened] = session;
    return Ok;
}

Status viClose(Object object) {
    if (const auto found = sessions.find(object); found != sessions.end()) {
        ::close(found->second.fd);
        sessions.erase(found);
    }
    return Ok;
}

Status viSetAttribute(Object object, std::uint32_t attribute, Attribute value) {
    Session &session = sessions[object];
    log("viSetAttribute 0x%08X %llu", attribute, static_cast<unsigned long long>(value));
    if (attribute == 0x3FFF001A)
        session.timeoutMs = int(value);
    else if (attribute == 0x3FFF0018)
        session.termChar = static_cast<unsigned char>(value);
    else if (attribute == 0x3FFF0038)
        session.termCharEnabled = value != 0;
    return Ok;
}

Status viWrite(Object object, const unsigned char *buffer, std::uint32_t count,
               std::uint32_t *written) {
    Session &session = sessions[object];
    log("viWrite %.*s", int(count), reinterpret_cast<const char *>(buffer));
    const ssize_t sent = ::send(session.fd, buffer, count, MSG_NOSIGNAL);
    if (sent < 0)
        return LinkLost;
    *written = std::uint32_t(sent);
    return Ok;
}

// One byte at a time, so nothing past the terminator is taken.
Status viRead(Object object, unsigned char *buffer, std::uint32_t count, std::uint32_t *got) {
    Session &session = sessions[object];
    *got = 0;
    while (*got < count) {
        pollfd watched{session.fd, POLLIN, 0};
        if (::poll(&watched, 1, session.timeoutMs) <= 0)
            return TimedOut;
        if (::recv(session.fd, buffer + *got, 1, 0) != 1)
            return LinkLost;
        const unsigned char byte = buffer[(*got)++];
        if (session.termCharEnabled && byte == session.termChar)
            return TermCharSeen;
    }
    return CountReached;
}

Status viClear(Object object) {
    Session &session = sessions[object];
    log("viClear");
    char scrap[4096];
    while (::recv(session.fd, scrap, sizeof scrap, MSG_DONTWAIT) > 0) {
    }
    return Ok;
}

Status viStatusDesc(Object, Status status, char *description) {
    std::snprintf(description, 256, "stand-in status %08X", unsigned(status));
    return Ok;
}
}
