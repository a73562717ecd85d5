#pragma once

#include "engine/BothAtOnce.h"
#include "platform/SysCalls.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace engine {

// A fixed number of plain values in one block from the system, for the tables of a large
// definition: nothing is constructed, and nothing zeroed unless asked. A block that cannot be had
// is a std::bad_alloc, as from new.
template <typename T> class BlockArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    BlockArray() = default;
    explicit BlockArray(std::size_t count, bool zeroed = false)
        : m_count(count)
    {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        m_data = static_cast<T*>(platform::Sys().allocate(Bytes()));
        if (m_data == nullptr) {
            throw std::bad_alloc();
        }
        if (zeroed) {
            // Fresh memory costs the system most where it first zeroes it, which on a virtual
            // machine may be a millisecond a MiB: a large block is zeroed on two cores.
            char* const bytes = reinterpret_cast<char*>(m_data);
            const std::size_t half = Bytes() / 2;
            BothAtOnce([&] { std::memset(bytes, 0, half); },
                [&] { std::memset(bytes + half, 0, Bytes() - half); }, Bytes() >= kTwoCores);
        }
    }
    ~BlockArray()
    {
        if (m_data != nullptr) {
            platform::Sys().release(m_data, Bytes());
        }
    }
    BlockArray(BlockArray&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr))
        , m_count(std::exchange(other.m_count, 0))
    {
    }
    BlockArray& operator=(BlockArray&& other) noexcept
    {
        BlockArray gone(std::move(*this));
        m_data = std::exchange(other.m_data, nullptr);
        m_count = std::exchange(other.m_count, 0);
        return *this;
    }
    BlockArray(const BlockArray&) = delete;
    BlockArray& operator=(const BlockArray&) = delete;

    T* data() { return m_data; }
    const T* data() const { return m_data; }
    std::size_t size() const { return m_count; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }

private:
    static constexpr std::size_t kTwoCores = std::size_t(4) << 20;
    std::size_t Bytes() const { return m_count * sizeof(T); }

    T* m_data = nullptr;
    std::size_t m_count = 0;
};

} // namespace engine
