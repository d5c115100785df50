#include "store/PinOrder.h"

namespace brivet::PinOrder {

std::vector<Placement> move(const std::vector<Pin>& pins, int from, int to)
{
    const int n = int(pins.size());
    if (from < 0 || from >= n || to < 0 || to >= n || from == to)
        return {};
    std::vector<Pin> order = pins;
    const Pin moved = order[size_t(from)];
    order.erase(order.begin() + from);
    order.insert(order.begin() + to, moved);
    const auto keyAt = [&](int row) {
        return order[size_t(row)].key.timestamp;
    };

    std::vector<Placement> placements;
    qint64 position = 0;
    bool fits = true;
    if (to > 0 && to < n - 1) {
        // Strictly between the neighbours: equal keys would leave the order to the record ids.
        fits = keyAt(to - 1) - keyAt(to + 1) >= 2;
        position = keyAt(to + 1) + (keyAt(to - 1) - keyAt(to + 1)) / 2;
    } else if (to == 0) {
        position = keyAt(1) + spacing;
    } else {
        position = keyAt(n - 2) - spacing;
    }
    if (fits) {
        for (const Pin& pin : order)
            if (!pin.positioned && pin.key.id != moved.key.id)
                placements.push_back({pin.key.id, pin.key.timestamp});
        placements.push_back({moved.key.id, position});
        return placements;
    }
    // No room left here: every pin gets a place of its own, the first keeping its key.
    const qint64 top = std::max(keyAt(0), pins.front().key.timestamp);
    for (int row = 0; row < n; ++row) {
        const Pin& pin = order[size_t(row)];
        const qint64 renumbered = top - qint64(row) * spacing;
        if (!pin.positioned || pin.key.timestamp != renumbered || pin.key.id == moved.key.id)
            placements.push_back({pin.key.id, renumbered});
    }
    return placements;
}

} // namespace brivet::PinOrder
