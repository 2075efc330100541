#include "finder/ProofPictures.h"

#include <algorithm>

namespace finder {

ProofPictures::ProofPictures(MemoryBudget& budget)
    : m_budget(budget)
{
    m_budget.setReclaimer([this](std::uint64_t lacking) { giveBack(lacking); });
}

ProofPictures::~ProofPictures()
{
    m_budget.setReclaimer({});
    std::lock_guard lock(m_mutex);
    m_budget.giveBack(m_bytes);
}

QByteArray ProofPictures::keyOf(const PixelFingerprint& fingerprint)
{
    QByteArray key("f");
    key.append(reinterpret_cast<const char*>(fingerprint.digest.data()),
        qsizetype(fingerprint.digest.size()));
    return key;
}

QByteArray ProofPictures::keyOf(const QByteArray& path)
{
    return QByteArray("p") + path;
}

std::uint64_t ProofPictures::bytesOf(const similar::ProofPicture& picture)
{
    return picture.bytes();
}

void ProofPictures::keep(const QByteArray& key, Picture picture)
{
    if (!picture)
        return;
    const std::uint64_t bytes = bytesOf(*picture);
    std::lock_guard lock(m_mutex);
    // Half the budget at most (the decodes come first), and never more than
    // the fixed limit.
    const std::uint64_t limit = std::min(m_budget.total() / 2, kKeptProofBytes);
    if (m_pictures.count(key) || m_bytes + bytes > limit || !m_budget.tryTake(bytes))
        return;
    m_pictures.emplace(key, Entry{std::move(picture), bytes, ++m_clock});
    m_bytes += bytes;
}

ProofPictures::Picture ProofPictures::find(const QByteArray& key)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_pictures.find(key);
    if (found == m_pictures.end())
        return nullptr;
    found->second.lastUse = ++m_clock;
    return found->second.picture;
}

void ProofPictures::giveBack(std::uint64_t bytes)
{
    std::uint64_t given = 0;
    {
        std::lock_guard lock(m_mutex);
        while (given < bytes && !m_pictures.empty()) {
            const auto oldest = std::min_element(m_pictures.begin(), m_pictures.end(),
                [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
            given += oldest->second.bytes;
            m_bytes -= oldest->second.bytes;
            m_pictures.erase(oldest);
        }
    }
    if (given)
        m_budget.giveBack(given);
}

std::uint64_t ProofPictures::bytesHeld() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

} // namespace finder
