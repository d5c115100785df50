#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

namespace brivet {

// Fills a search index that was started anew (see SearchIndex::ensure()) on a thread and a
// connection of its own, in short transactions, so that capture and the main connection's
// writes wait at most for one of them; searches test the records themselves until it is done.
// A failed step is tried again after a pause (a writer holding the file longer than the busy
// timeout); an unusable file ends the work with a warning, searches then keep testing the
// records. Destroying it stops the work after the current step.
class SearchIndexBuilder : public QObject
{
    Q_OBJECT
public:
    explicit SearchIndexBuilder(QString databasePath, QObject* parent = nullptr);
    ~SearchIndexBuilder() override;

    bool isFinished() const { return m_finished; }

signals:
    // On the builder's thread of birth, once the index holds every record.
    void finished();

private:
    void build();

    QString m_databasePath;
    std::atomic<bool> m_finished{false};
    std::unique_ptr<QThread> m_thread;
};

} // namespace brivet
