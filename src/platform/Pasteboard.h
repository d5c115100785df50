#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace brivet {

// The kinds of clipboard data Brivet reads and writes. Each platform maps them onto its own
// formats (on X11: text/uri-list, image/tiff, image/png, UTF8_STRING, ...).
enum class PasteboardType { FileURL, TIFF, PNG, JPEG, String, URL };

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

// One representation to put on the clipboard.
struct PasteboardRepresentation
{
    PasteboardType type;
    QByteArray data; // strings UTF-8; FileURL and URL: the URL text
};

// The system clipboard. All calls are made on the main thread and never block on another
// program: the change count advances once the contents of a change have been fetched.
class Pasteboard : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Pasteboard() override = default;

    // Increases with every change of the clipboard's owner or contents.
    virtual qint64 changeCount() const = 0;
    // The contents fetched for the change that changeCount() reports.
    virtual PasteboardContents contents() const = 0;

    // Empties the clipboard (Brivet becomes its owner, with nothing to offer).
    virtual void clearContents() = 0;
    // Offers the representations, replacing whatever Brivet offered before.
    virtual void write(const QList<PasteboardRepresentation>& representations) = 0;
};

} // namespace brivet
