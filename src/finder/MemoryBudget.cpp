#include "finder/MemoryBudget.h"

#include <algorithm>
#include <chrono>

#include <unistd.h>

namespace finder {

std::uint64_t pictureMemory(
    decoding::PictureType type, std::uint32_t width, std::uint32_t height, std::uint32_t frames)
{
    using decoding::PictureType;
    const bool mayBeDeep = type == PictureType::Png || type == PictureType::Tiff
        || type == PictureType::Jpeg2000 || type == PictureType::Heif || type == PictureType::Avif;
    const std::uint64_t pixels = std::min<std::uint64_t>(
        std::uint64_t(width) * height * std::max<std::uint32_t>(frames, 1), decoding::kPixelBudget);
    return pixels * 4 * (mayBeDeep ? 2 : 1);
}

MemoryBudget::MemoryBudget(std::uint64_t bytes)
    : m_total(bytes)
{
}

MemoryBudget::Take MemoryBudget::take(std::uint64_t bytes, const std::atomic<bool>* stop)
{
    if (bytes > m_total)
        return Take::TooLarge;
    std::unique_lock lock(m_mutex);
    // The stop flag is polled: whoever sets it does not know this budget.
    while (m_total - m_taken < bytes) {
        if (stop && stop->load(std::memory_order_relaxed))
            return Take::Stopped;
        if (const std::shared_ptr<const Reclaimer> reclaimer = m_reclaimer) {
            const std::uint64_t lacking = bytes - (m_total - m_taken);
            lock.unlock();
            (*reclaimer)(lacking);
            lock.lock();
            if (m_total - m_taken >= bytes)
                break;
        }
        m_freed.wait_for(lock, std::chrono::milliseconds(50));
    }
    m_taken += bytes;
    m_peak = std::max(m_peak, m_taken);
    return Take::Taken;
}

bool MemoryBudget::tryTake(std::uint64_t bytes)
{
    std::lock_guard lock(m_mutex);
    if (bytes > m_total - m_taken)
        return false;
    m_taken += bytes;
    m_peak = std::max(m_peak, m_taken);
    return true;
}

void MemoryBudget::setReclaimer(Reclaimer reclaimer)
{
    std::lock_guard lock(m_mutex);
    m_reclaimer = reclaimer ? std::make_shared<const Reclaimer>(std::move(reclaimer)) : nullptr;
}

void MemoryBudget::giveBack(std::uint64_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_taken -= std::min(bytes, m_taken);
    }
    m_freed.notify_all();
}

std::uint64_t MemoryBudget::peak() const
{
    std::lock_guard lock(m_mutex);
    return m_peak;
}

std::uint64_t MemoryBudget::defaultSize()
{
    constexpr std::uint64_t kFloor = 256ull << 20;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 1ull << 30;
    return std::max(kFloor, std::uint64_t(pages) * std::uint64_t(pageSize) / 4);
}

} // namespace finder
