#pragma once

#include <QObject>
#include <QThreadPool>
#include <QUuid>
#include <QtQml/qqmlregistration.h>
#include <atomic>
#include <functional>
#include <memory>

namespace brivet {

class ThumbnailLoader;

// Reads the start of a long text for the preview on a worker, so that a text of many
// megabytes never holds up the panel. Made by the panel controller, handed to the view.
class PreviewTextSource : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the panel controller")
public:
    explicit PreviewTextSource(std::shared_ptr<const ThumbnailLoader> loader,
                               QObject* parent = nullptr);
    ~PreviewTextSource() override;

    // Reads the first maxCharacters of the record's text and its whole length; done runs on
    // this object's thread with the text and that length, unless the returned flag is set
    // first (a read not yet started is then skipped). Set the flag before done's captures go.
    std::shared_ptr<std::atomic_bool> read(const QUuid& itemId, qint64 maxCharacters,
                                           std::function<void(QString, qint64)> done);

private:
    std::shared_ptr<const ThumbnailLoader> m_loader;
    QThreadPool m_pool;
};

} // namespace brivet
