#include "store/ClipboardItem.h"

#include <QCoreApplication>
#include <QLocale>
#include <QUrl>
#include <cmath>
#include <memory>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

namespace brivet {
namespace {

std::optional<Blob> blobFrom(const std::optional<QByteArray>& bytes)
{
    if (!bytes)
        return std::nullopt;
    return Blob(*bytes);
}

icu::UnicodeString aliasOf(const QString& text)
{
    // Read-only alias of the UTF-16 buffer: no copy of a possibly huge text.
    return icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace

ClipboardItem::ClipboardItem(const ClipboardItemContent& content, const QDateTime& now)
    : contentType(content.contentType), textContent(content.textContent),
      imageData(blobFrom(content.imageData)), thumbnailData(blobFrom(content.thumbnailData)),
      urlString(content.urlString), filePath(content.filePath), fileName(content.fileName),
      fileData(blobFrom(content.fileData)), timestamp(now), sourceAppName(content.sourceAppName),
      sourceAppBundleID(content.sourceAppBundleID),
      characterCount(content.textContent ? countCharacters(*content.textContent) : 0)
{
    for (auto it = content.representations.constBegin(); it != content.representations.constEnd();
         ++it)
        representations.insert(it.key(), Blob(it.value()));
}

QString ClipboardItem::timeAgo(const QDateTime& now) const
{
    const double seconds = timestamp.msecsTo(now) / 1000.0;
    if (seconds < 60.0)
        return QCoreApplication::translate("brivet::ClipboardItem", "Just now");

    struct Unit
    {
        double seconds;
        URelativeDateTimeUnit unit;
    };
    static constexpr Unit units[] = {
        {365.0 * 86400, UDAT_REL_UNIT_YEAR}, {30.0 * 86400, UDAT_REL_UNIT_MONTH},
        {7.0 * 86400, UDAT_REL_UNIT_WEEK},   {86400, UDAT_REL_UNIT_DAY},
        {3600, UDAT_REL_UNIT_HOUR},          {60, UDAT_REL_UNIT_MINUTE},
    };
    const Unit* chosen = &units[std::size(units) - 1];
    for (const Unit& unit : units) {
        if (seconds >= unit.seconds) {
            chosen = &unit;
            break;
        }
    }
    const double amount = std::floor(seconds / chosen->seconds);

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(QLocale::system().name().toUtf8().constData());
    icu::RelativeDateTimeFormatter formatter(locale, nullptr, UDAT_STYLE_SHORT,
                                             UDISPCTX_CAPITALIZATION_NONE, status);
    icu::UnicodeString result;
    formatter.formatNumeric(-amount, chosen->unit, result, status);
    if (U_FAILURE(status))
        return QStringLiteral("%1 min. ago").arg(static_cast<qint64>(seconds / 60));
    return fromIcu(result);
}

QString ClipboardItem::detailText() const
{
    switch (type()) {
    case ContentType::Text:
        return QCoreApplication::translate("brivet::ClipboardItem", "%1 characters").arg(characterCount);
    case ContentType::Image:
        return imageData ? sizeText(imageData->size()) : QCoreApplication::translate("brivet::ClipboardItem", "Image");
    case ContentType::Link: {
        if (!urlString)
            return QCoreApplication::translate("brivet::ClipboardItem", "Link");
        const QUrl url(*urlString, QUrl::StrictMode);
        if (url.isValid() && !url.host().isEmpty())
            return url.host();
        return *urlString;
    }
    case ContentType::File: {
        QString label = QCoreApplication::translate("brivet::ClipboardItem", "File");
        if (fileName) {
            const QString lastComponent = fileName->section(QLatin1Char('/'), -1);
            const qsizetype dot = lastComponent.lastIndexOf(QLatin1Char('.'));
            const QString extension = dot < 0 ? QString() : lastComponent.mid(dot + 1);
            if (!extension.isEmpty())
                label = QCoreApplication::translate("brivet::ClipboardItem", "%1 File").arg(extension.toUpper());
        }
        if (!fileData)
            return label;
        return label + QStringLiteral(" \u00B7 ") + sizeText(fileData->size());
    }
    }
    return {};
}

size_t qHash(const ClipboardItem& item, size_t seed)
{
    return ::qHash(item.persistentId(), seed);
}

qint64 countCharacters(const QString& text)
{
    if (text.isEmpty())
        return 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status))
        return text.size();
    const icu::UnicodeString alias = aliasOf(text);
    iterator->setText(alias);
    qint64 count = 0;
    iterator->first();
    while (iterator->next() != icu::BreakIterator::DONE)
        ++count;
    return count;
}

QString sizeText(qint64 byteCount)
{
    const qint64 kilobytes = byteCount / 1024;
    if (kilobytes > 1024)
        return QStringLiteral("%1 MB").arg(kilobytes / 1024);
    return QStringLiteral("%1 KB").arg(kilobytes);
}

} // namespace brivet
