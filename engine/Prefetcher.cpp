#include "engine/Prefetcher.h"

#include <new>
#include <system_error>

namespace engine {

Prefetcher::Prefetcher(const Prefilter (&prefilters)[2], std::mutex& inputs)
    : m_prefilters(prefilters)
    , m_inputs(inputs)
{
    if (std::thread::hardware_concurrency() > 1) {
        try {
            m_thread = std::thread([this] {
                while (const std::optional<unsigned> file = m_handOff.Claim()) {
                    Read(m_files[*file % kDepth], m_threadScan);
                    m_handOff.Finish(*file);
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: the walk reads for itself.
        }
    }
}

Prefetcher::~Prefetcher()
{
    if (m_thread.joinable()) {
        m_handOff.Stop();
        m_thread.join();
    }
}

void Prefetcher::Add(const platform::NativePath& path)
{
    VANDOR_EXPECTS(Running() && HasRoom());
    m_files[m_handOff.Offered() % kDepth].path = path;
    m_handOff.Offer();
}

PrefetchedFile& Prefetcher::Take()
{
    const std::optional<unsigned> file
        = m_handOff.Take([this](unsigned other) { Read(m_files[other % kDepth], m_walkScan); });
    VANDOR_EXPECTS(file.has_value());
    return m_files[*file % kDepth];
}

void Prefetcher::Read(PrefetchedFile& ahead, Prefilter::ScanBuffer& scan)
{
    ahead.block = nullptr;
    ahead.whole = false;
    std::unique_lock lock(m_inputs);
    if (!ahead.file.Open(ahead.path)) {
        return; // the walk opens it itself, and says why it could not
    }
    if (ahead.file.SizeAtOpen() > kLargest) {
        ahead.file.Close();
        return;
    }
    try {
        BlockSource source(ahead.file, m_prefilters, EncodingRule::Detect, ahead.slots, scan);
        source.ExamineLater();
        ahead.block = source.Next();
        ahead.whole = !source.Failed() && (ahead.block == nullptr || ahead.block->last);
        ahead.file.Close();
        lock.unlock();
        if (ahead.whole) {
            source.Examine();
        }
    } catch (const std::bad_alloc&) {
        ahead.whole = false;
        ahead.file.Close();
    }
}

} // namespace engine
