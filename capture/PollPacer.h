#pragma once

#include <chrono>
#include <optional>

// How long a wait for the scope sleeps before its next "BUSY?" poll. Each
// poll costs a wake-up of the run thread and of the scope; a slower pace
// costs the time between the scope finishing and the poll that sees it.
//
// - For the first 20 ms: back to back, as a quick trigger or save is caught
//   at the link's own pace.
// - Until the wait has lasted 1 s: at most 2 ms apart.
// - After that: a five-hundredth of the time already waited (2 ms at 1 s),
//   at most 10 ms (from 5 s on), so a trigger that took seconds to come
//   loses no more than a fraction of a percent to the pace.
// A save whose usual length is known polls back to back for its first 20 ms
// like any wait, then sparsely (every 10 ms) until shortly before it is
// expected to end, then every half millisecond until shortly after; a save
// that runs past that is paced by how far past it is, as a wait of that
// length would be.
namespace PollPacer {

using Duration = std::chrono::steady_clock::duration;

Duration forWait(Duration waited);
Duration forSave(Duration waited, std::optional<Duration> usualLength);

} // namespace PollPacer
