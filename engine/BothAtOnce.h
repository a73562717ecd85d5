#pragma once

#include <exception>
#include <system_error>
#include <thread>

namespace engine {

// Runs both, the second on a thread of its own where the work is worth a thread, the machine has
// a second core and lets one be started, else after the first; both have returned when this
// returns, and an exception that either threw is thrown again then. The two must not write what
// the other reads or writes: the loading of a large definition splits its passes into such halves.
template <typename First, typename Second>
void BothAtOnce(First&& first, Second&& second, bool worthAThread = true)
{
    std::exception_ptr thrown[2];
    const auto run = [&](auto& work, std::exception_ptr& error) {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
    };
    std::thread other;
    if (worthAThread && std::thread::hardware_concurrency() > 1) {
        try {
            other = std::thread([&] { run(second, thrown[1]); });
        } catch (const std::system_error&) {
        }
    }
    run(first, thrown[0]);
    if (other.joinable()) {
        other.join();
    } else {
        run(second, thrown[1]);
    }
    for (const std::exception_ptr& error : thrown) {
        if (error) {
            std::rethrow_exception(error);
        }
    }
}

} // namespace engine
