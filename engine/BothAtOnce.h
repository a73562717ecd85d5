#pragma once

#include <system_error>
#include <thread>

namespace engine {

// Runs both, the second on a thread of its own where the work is worth a thread, the machine has
// a second core and lets one be started, else after the first; both have returned when this
// returns. The two must not write what the other reads or writes, and must not throw: the loading
// of a large definition splits its passes into such halves.
template <typename First, typename Second>
void BothAtOnce(First&& first, Second&& second, bool worthAThread = true)
{
    std::thread other;
    if (worthAThread && std::thread::hardware_concurrency() > 1) {
        try {
            other = std::thread(second);
        } catch (const std::system_error&) {
        }
    }
    first();
    if (other.joinable()) {
        other.join();
    } else {
        second();
    }
}

} // namespace engine
