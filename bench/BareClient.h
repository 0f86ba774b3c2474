#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The least a client can do: one blocking TCP socket, one send per command,
// recv until the line feed. No Qt, no timeouts, no retries: the yardstick the
// whole stack is measured against.
class BareClient {
public:
    BareClient(const char *host, std::uint16_t port);
    ~BareClient();
    BareClient(const BareClient &) = delete;
    BareClient &operator=(const BareClient &) = delete;

    void write(std::string_view command);
    // The reply without its line feed.
    std::string query(std::string_view command);

private:
    int m_fd = -1;
    std::string m_outgoing;
    std::string m_buffer;
};
