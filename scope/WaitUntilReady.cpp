#include "WaitUntilReady.h"

#include "Cancellation.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <poll.h>

using namespace std::chrono;

std::optional<QString> waitUntilReady(int fd, short events, Transport::Deadline deadline,
                                      const char *waitingFor) {
    const Cancellation *token = Cancellation::current();
    for (;;) {
        if (token && token->cancelled())
            return QStringLiteral("cancelled while waiting for %1").arg(QLatin1String(waitingFor));
        const auto remaining = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (remaining <= 0)
            return QStringLiteral("timed out waiting for %1").arg(QLatin1String(waitingFor));
        pollfd watched[2] = {{fd, events, 0}, {token ? token->descriptor() : -1, POLLIN, 0}};
        const int ready =
            ::poll(watched, 2, int(std::min<decltype(remaining)>(remaining, INT_MAX)));
        if (ready > 0 && watched[0].revents != 0)
            return std::nullopt;
        if (ready < 0 && errno != EINTR)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
}
