#include "views/PreviewTextSource.h"

#include "views/ThumbnailLoader.h"

namespace brivet {

PreviewTextSource::PreviewTextSource(std::shared_ptr<const ThumbnailLoader> loader, QObject* parent)
    : QObject(parent), m_loader(std::move(loader))
{
    m_pool.setMaxThreadCount(1);
}

PreviewTextSource::~PreviewTextSource()
{
    m_pool.clear();
    m_pool.waitForDone();
}

std::shared_ptr<std::atomic_bool> PreviewTextSource::read(const QUuid& itemId, qint64 maxCharacters,
                                                          std::function<void(QString, qint64)> done)
{
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    // The result goes through this object, which outlives its workers; the receiver sets the
    // flag when it goes, on the thread that runs done.
    m_pool.start(
        [this, loader = m_loader, itemId, maxCharacters, cancelled, done = std::move(done)] {
            if (*cancelled)
                return;
            auto start = loader->loadTextStart(itemId, maxCharacters);
            if (!start || *cancelled)
                return;
            QMetaObject::invokeMethod(
                this,
                [cancelled, done, text = std::move(start->text), length = start->characters] {
                    if (!*cancelled)
                        done(text, length);
                },
                Qt::QueuedConnection);
        });
    return cancelled;
}

} // namespace brivet
