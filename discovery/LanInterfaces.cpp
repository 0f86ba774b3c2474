#include "LanInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

QList<LanInterface> lanInterfaces() {
    QList<LanInterface> found;
    ifaddrs *all = nullptr;
    if (getifaddrs(&all) != 0)
        return found;
    for (const ifaddrs *entry = all; entry; entry = entry->ifa_next) {
        const unsigned wanted = IFF_UP | IFF_RUNNING | IFF_BROADCAST;
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET ||
            (entry->ifa_flags & wanted) != wanted || (entry->ifa_flags & IFF_LOOPBACK) ||
            !entry->ifa_broadaddr)
            continue;
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
        const auto *broadcast = reinterpret_cast<const sockaddr_in *>(entry->ifa_broadaddr);
        found.append({QByteArray(entry->ifa_name), ntohl(address->sin_addr.s_addr),
                      ntohl(broadcast->sin_addr.s_addr)});
    }
    freeifaddrs(all);
    return found;
}
