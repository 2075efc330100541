#pragma once
// One memory budget shared by the decodes of a whole-folder search. Each
// decode takes a share as large as the memory its picture needs before it
// starts and gives it back when done; a decode whose share does not fit
// beside the others' waits until it does, so a few large pictures are
// decoded one after another instead of all at once. A share that exceeds the
// whole budget never fits: that picture is too large for this computer.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace finder {

class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t bytes);

    std::uint64_t total() const { return m_total; }

    enum class Take { Taken, TooLarge, Stopped };
    // Waits until `bytes` fit (or *stop is true). Taken: give them back with
    // giveBack().
    Take take(std::uint64_t bytes, const std::atomic<bool>* stop);
    void giveBack(std::uint64_t bytes);

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
