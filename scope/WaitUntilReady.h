#pragma once

#include "Transport.h"

#include <QString>
#include <optional>

// Waits until `fd` is ready for `events` (poll() flags) or `deadline` has
// passed, riding out interrupted waits; the calling thread's Cancellation, if
// it has one, ends the wait too. Returns nullopt when ready, otherwise why
// not: "timed out waiting for <waitingFor>", a cancel, or the system's error.
std::optional<QString> waitUntilReady(int fd, short events, Transport::Deadline deadline,
                                      const char *waitingFor);
