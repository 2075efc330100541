#pragma once
// One memory budget shared by the decodes of a whole-folder search. Each
// decode takes a share as large as the memory its picture needs before it
// starts and gives it back when done; a decode whose share does not fit
// beside the others' waits until it does, so a few large pictures are
// decoded one after another instead of all at once. A share that exceeds the
// whole budget never fits: that picture is too large for this computer.

#include "decoding/DecodedPicture.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace finder {

// The memory a decode of a picture of this type and size holds: four
// samples a pixel, two bytes a sample for the types that can be deep, every
// frame (up to the pixel budget: frames beyond it are refused before their
// memory is taken).
std::uint64_t pictureMemory(
    decoding::PictureType type, std::uint32_t width, std::uint32_t height, std::uint32_t frames);

class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t bytes);

    std::uint64_t total() const { return m_total; }

    enum class Take { Taken, TooLarge, Stopped };
    // Waits until `bytes` fit (or *stop is true). Taken: give them back with
    // giveBack(). Before it waits, it asks the reclaimer (if any) to give
    // back what is kept only to save work later.
    Take take(std::uint64_t bytes, const std::atomic<bool>* stop);
    // Takes `bytes` only when they fit now; never waits, never reclaims.
    bool tryTake(std::uint64_t bytes);
    void giveBack(std::uint64_t bytes);

    // Called, without the budget's lock, with the bytes a waiting take()
    // lacks; it gives back what it can through giveBack(). One at a time;
    // an empty function removes it.
    using Reclaimer = std::function<void(std::uint64_t lacking)>;
    void setReclaimer(Reclaimer reclaimer);

    // The most taken at one moment during this budget's life.
    std::uint64_t peak() const;

    // A quarter of the computer's physical memory, at least 256 MB.
    static std::uint64_t defaultSize();

private:
    const std::uint64_t m_total;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    std::uint64_t m_taken = 0;
    std::uint64_t m_peak = 0;
    std::shared_ptr<const Reclaimer> m_reclaimer;
};

// Holds a share of a budget for one scope.
class BudgetShare {
public:
    BudgetShare(MemoryBudget& budget, std::uint64_t bytes)
        : m_budget(budget)
        , m_bytes(bytes)
    {
    }
    ~BudgetShare() { m_budget.giveBack(m_bytes); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

private:
    MemoryBudget& m_budget;
    std::uint64_t m_bytes;
};

} // namespace finder
