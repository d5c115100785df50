#include "store/HistoryRows.h"

#include <algorithm>

namespace brivet {

HistoryRows HistoryRows::fromNewestFirst(std::vector<ItemKey> keys)
{
    HistoryRows rows;
    rows.m_keys.assign(keys.rbegin(), keys.rend());
    return rows;
}

int HistoryRows::rowOf(PersistentId id) const
{
    for (auto it = m_keys.rbegin(); it != m_keys.rend(); ++it) {
        if (it->id == id)
            return int(it - m_keys.rbegin());
    }
    return -1;
}

int HistoryRows::rowOf(const ItemKey& key) const
{
    const auto older = [](const ItemKey& a, const ItemKey& b) {
        return ItemKey::newerFirst(b, a);
    };
    const auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key, older);
    if (it != m_keys.end() && it->id == key.id)
        return int(m_keys.end() - 1 - it);
    return rowOf(key.id);
}

int HistoryRows::insertionRow(const ItemKey& key) const
{
    const auto older = [](const ItemKey& a, const ItemKey& b) {
        return ItemKey::newerFirst(b, a);
    };
    return int(m_keys.end() - std::lower_bound(m_keys.begin(), m_keys.end(), key, older));
}

void HistoryRows::insert(int row, const ItemKey& key)
{
    m_keys.insert(m_keys.end() - row, key);
}

void HistoryRows::erase(int row)
{
    m_keys.erase(m_keys.end() - 1 - row);
}

HistoryRows HistoryRows::filtered(const std::vector<bool>& ids) const
{
    HistoryRows result;
    for (const ItemKey& key : m_keys) {
        if (size_t(key.id) < ids.size() && ids[size_t(key.id)])
            result.m_keys.push_back(key);
    }
    return result;
}

bool HistoryRows::startsWith(const HistoryRows& other) const
{
    return other.m_keys.size() <= m_keys.size() &&
           std::equal(other.m_keys.begin(), other.m_keys.end(),
                      m_keys.end() - qsizetype(other.m_keys.size()));
}

} // namespace brivet
