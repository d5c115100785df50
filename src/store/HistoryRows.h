#pragma once

#include "store/ModelContext.h"

#include <deque>
#include <vector>

namespace brivet {

// The ordered keys of a list of records, newest first. Kept oldest first in a deque, so that
// the changes a live list sees most (a new record, a promote, a delete near the top, and the
// oldest records going) move few entries even in a list of a million.
class HistoryRows
{
public:
    HistoryRows() = default;
    static HistoryRows fromNewestFirst(std::vector<ItemKey> keys);

    int size() const { return int(m_keys.size()); }
    const ItemKey& at(int row) const { return m_keys[m_keys.size() - 1 - size_t(row)]; }
    // The row of a record, looked for from the top; -1 when it is not in the list.
    int rowOf(PersistentId id) const;
    // The same, found by its key at once when the list holds the record under that key.
    int rowOf(const ItemKey& key) const;
    // Where a record with this key belongs.
    int insertionRow(const ItemKey& key) const;
    void insert(int row, const ItemKey& key);
    void erase(int row);
    // The rows whose ids are set in the bit set (indexed by id), in this list's order.
    HistoryRows filtered(const std::vector<bool>& ids) const;
    // True when other's rows are the first rows of this list.
    bool startsWith(const HistoryRows& other) const;

private:
    std::deque<ItemKey> m_keys; // oldest first
};

} // namespace brivet
