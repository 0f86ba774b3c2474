#include "PollPacer.h"

#include <algorithm>

using namespace std::chrono;

namespace PollPacer {

namespace {

constexpr milliseconds BackToBack{20};
constexpr milliseconds PaceUpToOneSecond{2};
constexpr milliseconds FirstSecond{1000};
constexpr int GrowthDivisor = 500;
constexpr milliseconds Sparse{10};
constexpr microseconds Close{500};

// How early before a save's usual end the close polls begin, and how long
// after it they go on: 10 ms plus a fiftieth of the length, since longer
// saves vary more in absolute terms.
Duration closeWindow(Duration usualLength) {
    return milliseconds(10) + usualLength / 50;
}

} // namespace

Duration forWait(Duration waited) {
    if (waited < BackToBack)
        return Duration::zero();
    if (waited < FirstSecond)
        return PaceUpToOneSecond;
    return std::clamp<Duration>(waited / GrowthDivisor, PaceUpToOneSecond, Sparse);
}

Duration forSave(Duration waited, std::optional<Duration> usualLength) {
    // A save that is over at once is caught at the link's pace, as any wait.
    if (!usualLength || waited < BackToBack)
        return forWait(waited);
    const Duration window = closeWindow(*usualLength);
    const Duration closeFrom = *usualLength - window;
    if (waited < closeFrom)
        return std::min<Duration>(Sparse, closeFrom - waited);
    if (waited < *usualLength + window)
        return Close;
    return forWait(waited - *usualLength);
}

} // namespace PollPacer
