#include "platform/gnome/GnomePasteboard.h"

#include "platform/gnome/GnomeLogging.h"
#include "platform/gnome/GnomeShellExtension.h"
#include "platform/linux/ClipboardMimeTypes.h"
#include "platform/linux/UriList.h"
#include "platform/x11/X11ClipboardTargets.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <algorithm>
#include <iterator>

namespace brivet {

namespace {

namespace Types = ClipboardMimeTypes;

bool offers(const QStringList& types, const char* type)
{
    return types.contains(QLatin1String(type));
}

template <typename List> bool offersAny(const QStringList& types, const List& list)
{
    return std::any_of(std::begin(list), std::end(list),
                       [&](const char* type) { return offers(types, type); });
}

// The one type GNOME is given of what Brivet offers: files as a URI list (which file managers
// and editors take), else the text, else a link, else the first image.
std::optional<X11ClipboardTarget>
singleTarget(const QList<PasteboardRepresentation>& representations)
{
    const auto has = [&](PasteboardType type) {
        return std::any_of(representations.begin(), representations.end(),
                           [&](const PasteboardRepresentation& r) { return r.type == type; });
    };
    QByteArray wanted;
    if (has(PasteboardType::FileURL) || (!has(PasteboardType::String) && has(PasteboardType::URL)))
        wanted = "text/uri-list";
    else if (has(PasteboardType::String))
        wanted = "text/plain;charset=utf-8";
    for (const X11ClipboardTarget& target : x11ClipboardTargets(representations)) {
        if (wanted.isEmpty() ? target.target.startsWith("image/") : target.target == wanted)
            return target;
    }
    return std::nullopt;
}

} // namespace

GnomePasteboard::GnomePasteboard(GnomeShellExtension& shell, QObject* parent)
    : Pasteboard(parent), m_shell(shell)
{
    connect(&m_shell, &GnomeShellExtension::clipboardChanged, this, &GnomePasteboard::noteChange);
    qCInfo(lcGnome) << "watching the clipboard through Brivet's GNOME Shell extension";
}

void GnomePasteboard::noteChange(quint32 serial, const QStringList& types, bool own)
{
    const Change change{serial, types, QDateTime::currentDateTime()};
    qCDebug(lcGnome) << "clipboard serial" << serial << "offers" << types
                     << (own ? "(Brivet's own)" : "");
    if (own || types.isEmpty()) {
        // Brivet's own offer is never read; an empty clipboard has nothing to read.
        file(change, {}, types.isEmpty());
        return;
    }
    if (offersAny(types, Types::secretHints)) {
        qCDebug(lcGnome) << "skipped a secret: the clipboard owner marked it concealed";
        file(change, {}, false);
        return;
    }
    m_waiting = change;
    if (!m_reading)
        startNext();
}

void GnomePasteboard::startNext()
{
    if (!m_waiting)
        return;
    Reading reading;
    reading.change = *m_waiting;
    m_waiting.reset();
    const QStringList& types = reading.change.types;
    if (offersAny(types, Types::files))
        reading.contents.types.append(PasteboardType::FileURL);
    for (const auto& [type, kind] : Types::images) {
        if (offers(types, type))
            reading.contents.types.append(kind);
    }
    if (offersAny(types, Types::texts))
        reading.contents.types.append(PasteboardType::String);
    m_reading = std::move(reading);
    readNext();
}

// Asks for the next type worth reading: a file list, else the text and then an image (any
// owner answers the text at once, while rendering an image may take a program seconds).
void GnomePasteboard::readNext()
{
    Reading& reading = *m_reading;
    const auto ask = [&](const char* type) {
        const QString mimeType = QString::fromLatin1(type);
        auto* watcher = new QDBusPendingCallWatcher(
            m_shell.readClipboard(reading.change.serial, mimeType), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, mimeType](QDBusPendingCallWatcher* w) { received(mimeType, w); });
    };
    const auto askNextOf = [&](const auto& list, auto typeOf) {
        while (reading.next < int(std::size(list))) {
            const char* type = typeOf(list[reading.next++]);
            if (offers(reading.change.types, type)) {
                ask(type);
                return true;
            }
        }
        reading.next = 0;
        return false;
    };
    const auto name = [](const char* type) {
        return type;
    };
    const auto imageName = [](const auto& entry) {
        return entry.first;
    };
    switch (reading.stage) {
    case Reading::Stage::Files:
        if (askNextOf(Types::files, name))
            return;
        reading.stage = Reading::Stage::Text;
        [[fallthrough]];
    case Reading::Stage::Text:
        if (!reading.contents.data.contains(PasteboardType::String) &&
            askNextOf(Types::texts, name))
            return;
        reading.stage = Reading::Stage::Image;
        [[fallthrough]];
    case Reading::Stage::Image:
        if (askNextOf(Types::images, imageName))
            return;
    }
    finishReading();
}

void GnomePasteboard::received(const QString& mimeType, QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    QDBusPendingReply<QByteArray> reply = *watcher;
    Reading& reading = *m_reading;
    if (reply.isError()) {
        qCInfo(lcGnome).noquote() << "could not read" << mimeType
                                  << "of the clipboard:" << reply.error().message();
        // A newer change is on its way: this one is over, with what was read.
        if (reply.error().name().endsWith(QLatin1String(".Superseded")))
            finishReading();
        else
            readNext();
        return;
    }
    const QByteArray bytes = reply.value();
    switch (reading.stage) {
    case Reading::Stage::Files: {
        const QStringList urls = mimeType == QLatin1String(Types::files[0])
                                     ? fileUrlsFromUriList(bytes)
                                     : fileUrlsFromGnomeCopiedFiles(bytes);
        if (!urls.isEmpty()) {
            reading.contents.fileUrlStrings = urls;
            reading.contents.data.insert(PasteboardType::FileURL,
                                         urls.join(QLatin1String("\r\n")).toUtf8());
            finishReading();
            return;
        }
        break;
    }
    case Reading::Stage::Text:
        reading.contents.data.insert(PasteboardType::String,
                                     mimeType == QLatin1String("STRING")
                                         ? QString::fromLatin1(bytes).toUtf8()
                                         : QString::fromUtf8(bytes).toUtf8());
        break;
    case Reading::Stage::Image:
        if (!bytes.isEmpty()) {
            for (const auto& [type, kind] : Types::images) {
                if (mimeType == QLatin1String(type))
                    reading.contents.data.insert(kind, bytes);
            }
            finishReading();
            return;
        }
        break;
    }
    readNext();
}

void GnomePasteboard::finishReading()
{
    Reading reading = std::move(*m_reading);
    m_reading.reset();
    file(reading.change, std::move(reading.contents), false);
    startNext();
}

void GnomePasteboard::file(const Change& change, PasteboardContents contents, bool ownerGone)
{
    const qint64 count =
        m_changes.file({0, std::move(contents), change.time, std::nullopt, ownerGone});
    qCDebug(lcGnome) << "clipboard change" << count << "(serial" << change.serial << ") with"
                     << change.types.size() << "types";
    emit changed();
}

void GnomePasteboard::offer(const QList<PasteboardRepresentation>& representations,
                            bool onlyIfUnowned)
{
    const std::optional<X11ClipboardTarget> target = singleTarget(representations);
    // Nothing to offer: the marker alone, so that the clipboard is Brivet's and empty.
    const QString mimeType =
        QString::fromLatin1(target ? target->target : QByteArray(Types::ownMarker));
    auto* watcher = new QDBusPendingCallWatcher(
        m_shell.setClipboard(mimeType, target ? target->data : QByteArray(), onlyIfUnowned), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [mimeType](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                QDBusPendingReply<bool> reply = *w;
                if (reply.isError())
                    qCWarning(lcGnome).noquote() << "could not set the clipboard to" << mimeType
                                                 << ":" << reply.error().message();
            });
}

void GnomePasteboard::clearContents()
{
    offer({}, false);
}

void GnomePasteboard::write(const QList<PasteboardRepresentation>& representations)
{
    offer(representations, false);
}

void GnomePasteboard::writeIfUnowned(const QList<PasteboardRepresentation>& representations)
{
    offer(representations, true);
}

} // namespace brivet
