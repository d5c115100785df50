#pragma once

#include "sync/SyncService.h"

#include <QtQml/qqml.h>

namespace brivet {

// Makes the application's SyncService a QML type of the settings, so that the Sync section
// binds to its properties by name; made by the application delegate, never in QML.
struct SyncServiceQmlType
{
    Q_GADGET
    QML_FOREIGN(brivet::SyncService)
    QML_NAMED_ELEMENT(SyncService)
    QML_UNCREATABLE("made by the application delegate")
};

} // namespace brivet
