#pragma once

#include "platform/Pasteboard.h"
#include "support/TestContent.h"

namespace brivet {

// A clipboard held in memory: tests set its contents, which moves the change count like a
// copy in another application would. With setKeepsHistory(true) it holds every change until taken, as the X11 clipboard does.
class FakePasteboard : public Pasteboard
{
public:
    using Pasteboard::Pasteboard;

    bool notifiesChanges() const override { return m_notifies; }
    qint64 changeCount() const override { return m_changeCount; }
    PasteboardContents contents() const override { return m_contents; }
    QList<PasteboardChange> takeChanges(qint64 handledCount) override
    {
        if (!m_keepsHistory)
            return Pasteboard::takeChanges(handledCount);
        QList<PasteboardChange> changes;
        for (const PasteboardChange& change : std::as_const(m_history))
            if (change.changeCount > handledCount)
                changes.append(change);
        m_history.clear();
        return changes;
    }
    void writeIfUnowned(const QList<PasteboardRepresentation>& representations) override
    {
        write(representations);
    }
    void clearContents() override { setContents({}); }
    void write(const QList<PasteboardRepresentation>& representations) override
    {
        PasteboardContents contents;
        for (const PasteboardRepresentation& representation : representations) {
            contents.types.append(representation.type);
            contents.data.insert(representation.type, representation.data);
            if (representation.type == PasteboardType::FileURL)
                contents.fileUrlStrings.append(QString::fromUtf8(representation.data));
        }
        setContents(contents);
        ++m_writes;
    }

    // Another application's copy.
    void setContents(const PasteboardContents& contents)
    {
        m_contents = contents;
        ++m_changeCount;
        if (m_keepsHistory)
            m_history.append({m_changeCount, contents, {}, std::nullopt, false});
        if (m_notifies)
            emit changed();
    }
    // The owner quits and nobody takes the clipboard.
    void ownerQuits()
    {
        m_contents = {};
        m_history.append({++m_changeCount, {}, {}, std::nullopt, true});
    }
    void setKeepsHistory(bool keeps) { m_keepsHistory = keeps; }
    // Whether each change is announced by `changed`, as a desktop's clipboard does.
    void setNotifies(bool notifies) { m_notifies = notifies; }
    void setText(const QString& text) { setContents(test::textCopy(text)); }

    int writes() const { return m_writes; }

private:
    PasteboardContents m_contents;
    qint64 m_changeCount = 0;
    int m_writes = 0;
    bool m_keepsHistory = false;
    bool m_notifies = false;
    QList<PasteboardChange> m_history;
};

} // namespace brivet
