#pragma once

#include "store/ModelContext.h"

#include <vector>

namespace brivet {

// The order of the records pinned to one category, as the category's strip shows it: by the
// pin's position, greatest first, and by the record's timestamp where the pin has no position
// (pins made before positions were kept, or synced from a device that kept none); ties by the
// later insert first. Positions count in the timestamps' unit (ms), so that the two mix: a new
// pin takes the moment it was made, which puts it in front.
namespace PinOrder {

// The category's pins in that order: the sort key, the record and whether the pin has a
// position; ?1 is the category.
inline constexpr const char* keysSql =
    "SELECT coalesce(l.position, i.timestamp) AS sortKey, i.pk, l.position IS NOT NULL "
    "FROM ClipboardItemCategory l JOIN ClipboardItem i ON i.pk = l.item "
    "WHERE l.category = ?1 ORDER BY sortKey DESC, i.pk DESC";

// One pin as the order holds it; key.timestamp is its sort key.
struct Pin
{
    ItemKey key;
    bool positioned = false;
};

// A position to write.
struct Placement
{
    PersistentId item;
    qint64 position;
    friend bool operator==(const Placement&, const Placement&) = default;
};

// Room left between two neighbours when a pin goes to an end of the order, or when the whole
// order is numbered again.
inline constexpr qint64 spacing = 1000;

// The positions that put the pin at row from (of pins, in order) at row to, the others keeping
// their order: the moved pin between its new neighbours, or, where they leave no room, every
// pin numbered again. Pins without a position get the place they have now, so that a hand-made
// order is not undone when one of them is used later. Empty when nothing moves.
std::vector<Placement> move(const std::vector<Pin>& pins, int from, int to);

} // namespace PinOrder
} // namespace brivet
