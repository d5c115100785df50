#pragma once

#include "platform/Pasteboard.h"
#include "platform/PasteboardChanges.h"

#include <QDateTime>
#include <QStringList>
#include <optional>

class QDBusPendingCallWatcher;

namespace brivet {

class GnomeShellExtension;

// The clipboard on GNOME, through Brivet's extension in the shell: each change arrives with its
// MIME types, and Brivet reads the types it wants (files, else the text and then an image),
// one request at a time, so that a copy marked secret is never read. Once read, the change
// count advances and the change is queued, as on the other back ends. A newer change ends the
// read in progress (what was read is kept); at most one change waits. Writes offer one type,
// the best one of the first representation: GNOME holds single-type offers only.
class GnomePasteboard : public Pasteboard
{
    Q_OBJECT
public:
    explicit GnomePasteboard(GnomeShellExtension& shell, QObject* parent = nullptr);

    bool notifiesChanges() const override { return true; }
    qint64 changeCount() const override { return m_changes.count(); }
    PasteboardContents contents() const override { return m_changes.contents(); }
    QList<PasteboardChange> takeChanges(qint64 handledCount) override
    {
        return m_changes.take(handledCount);
    }
    void clearContents() override;
    void write(const QList<PasteboardRepresentation>& representations) override;
    void writeIfUnowned(const QList<PasteboardRepresentation>& representations) override;

private:
    struct Change
    {
        quint32 serial = 0;
        QStringList types;
        QDateTime time;
    };
    // What is read of one change, and what is left to ask for.
    struct Reading
    {
        Change change;
        PasteboardContents contents;
        enum class Stage
        {
            Files,
            Text,
            Image
        } stage = Stage::Files;
        int next = 0; // the next type of the stage's list to try
    };

    void noteChange(quint32 serial, const QStringList& types, bool own);
    void startNext();
    void readNext();
    void received(const QString& mimeType, QDBusPendingCallWatcher* watcher);
    void finishReading();
    void file(const Change& change, PasteboardContents contents, bool ownerGone);
    void offer(const QList<PasteboardRepresentation>& representations, bool onlyIfUnowned);

    GnomeShellExtension& m_shell;
    PasteboardChanges m_changes;
    std::optional<Reading> m_reading;
    std::optional<Change> m_waiting;
};

} // namespace brivet
