#pragma once

#include "platform/FrontApplication.h"
#include "platform/IgnoredApplications.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace brivet {

// The kinds of clipboard data Brivet reads and writes. Each platform maps them onto its own
// formats (on X11: text/uri-list, image/tiff, image/png, UTF8_STRING, ...). HTML and RTF are
// the formatted forms of a copied text, kept beside its plain text.
enum class PasteboardType { FileURL, TIFF, PNG, JPEG, String, URL, HTML, RTF };

// The formatted forms of a text and the MIME types they are known by everywhere (the
// clipboard, the store, sync).
inline constexpr std::pair<PasteboardType, const char*> richTextTypes[] = {
    {PasteboardType::HTML, "text/html"}, {PasteboardType::RTF, "text/rtf"}};

inline std::optional<PasteboardType> richTextType(const QString& mimeType)
{
    for (const auto& [type, mime] : richTextTypes) {
        if (mimeType == QLatin1String(mime))
            return type;
    }
    return std::nullopt;
}

inline size_t qHash(PasteboardType type, size_t seed = 0)
{
    return ::qHash(static_cast<int>(type), seed);
}

// What the clipboard held at one change: the types its owner offered and the data that was
// fetched for them. An immutable value, safe to hand to another thread.
struct PasteboardContents
{
    QList<PasteboardType> types;
    QStringList fileUrlStrings;              // one per entry that carries a file URL, in order
    QHash<PasteboardType, QByteArray> data;  // fetched bytes; strings are UTF-8

    bool hasType(PasteboardType type) const { return types.contains(type); }
    std::optional<QByteArray> dataForType(PasteboardType type) const
    {
        auto it = data.constFind(type);
        if (it == data.constEnd())
            return std::nullopt;
        return *it;
    }
    std::optional<QString> stringForType(PasteboardType type) const
    {
        auto bytes = dataForType(type);
        if (!bytes)
            return std::nullopt;
        return QString::fromUtf8(*bytes);
    }
};

// One change of the clipboard as the platform saw it happen.
struct PasteboardChange
{
    qint64 changeCount = 0; // the count this change moved the clipboard to
    PasteboardContents contents;
    QDateTime time;                        // when it happened; invalid when unknown
    std::optional<ApplicationInfo> source; // the application in front then; absent: unknown
    bool ownerGone = false; // the owner quit and nobody took the clipboard (contents empty)
};

// One representation to put on the clipboard.
struct PasteboardRepresentation
{
    PasteboardType type;
    QByteArray data; // strings UTF-8; FileURL and URL: the URL text
};

// The system clipboard. All calls are made on the main thread and never block on another
// program: the change count advances once the contents of a change have been fetched. A
// clipboard that notifiesChanges() emits `changed` each time the count moves, so that nobody
// needs to look again and again; one that does not must be looked at.
class Pasteboard : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Pasteboard() override = default;

    // Whether `changed` is emitted for every move of the change count.
    virtual bool notifiesChanges() const { return false; }

    // Increases with every change of the clipboard's owner or contents.
    virtual qint64 changeCount() const = 0;
    // The contents fetched for the change that changeCount() reports.
    virtual PasteboardContents contents() const = 0;

    // The changes after handledCount, oldest first, and forgets every change held so far.
    // A platform that keeps no history of changes gives the newest change alone, with no time
    // and no source.
    virtual QList<PasteboardChange> takeChanges(qint64 handledCount)
    {
        if (changeCount() <= handledCount)
            return {};
        return {PasteboardChange{changeCount(), contents(), {}, std::nullopt, false}};
    }

    // The applications whose copies are not to be read. A back end that learns the
    // application in front as a change happens reads nothing of their copies; the others
    // deliver what they read, which capture lets go unread (ClipboardMonitor).
    IgnoredApplications& ignoredApplications() { return m_ignoredApplications; }
    const IgnoredApplications& ignoredApplications() const { return m_ignoredApplications; }

    // Empties the clipboard (Brivet becomes its owner, with nothing to offer).
    virtual void clearContents() = 0;
    // Offers the representations, replacing whatever Brivet offered before.
    virtual void write(const QList<PasteboardRepresentation>& representations) = 0;
    // Offers the representations only if no application owns the clipboard at that moment, so
    // that a copy made in the meantime is never replaced.
    virtual void writeIfUnowned(const QList<PasteboardRepresentation>& representations) = 0;

signals:
    // The change count moved (where notifiesChanges()).
    void changed();

private:
    IgnoredApplications m_ignoredApplications;
};

} // namespace brivet
