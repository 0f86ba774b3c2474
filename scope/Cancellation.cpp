#include "Cancellation.h"

#include <cerrno>
#include <cstdint>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

thread_local Cancellation *installed = nullptr;

} // namespace

Cancellation::Cancellation()
    : m_event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Cancellation::~Cancellation() {
    if (installed == this)
        installed = nullptr;
    if (m_event >= 0)
        ::close(m_event);
}

Cancellation *Cancellation::current() {
    return installed;
}

void Cancellation::install() {
    installed = this;
}

// The flag and the descriptor change together under the lock, so a cancel
// and a reset that race leave both set or both clear.
void Cancellation::cancel() {
    const std::lock_guard lock(m_lock);
    m_cancelled.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_event, &one, sizeof one);
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

void Cancellation::reset() {
    const std::lock_guard lock(m_lock);
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_event, &count, sizeof count);
    m_cancelled.store(false, std::memory_order_release);
}

Cancellation::Watch::Watch(int socket)
    : m_token(installed) {
    if (!m_token)
        return;
    const std::lock_guard lock(m_token->m_lock);
    m_token->m_socket = socket;
    if (m_token->cancelled())
        ::shutdown(socket, SHUT_RDWR);
}

Cancellation::Watch::~Watch() {
    if (!m_token)
        return;
    const std::lock_guard lock(m_token->m_lock);
    m_token->m_socket = -1;
}
