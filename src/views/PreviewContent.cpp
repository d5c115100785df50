#include "views/PreviewContent.h"

#include "store/ContentType.h"
#include "views/HistoryModel.h"
#include "views/PreviewTextSource.h"
#include "views/ViewsLogging.h"

#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QSet>
#include <QVariantMap>

namespace brivet {

namespace {

const QSet<QString>& imageExtensions()
{
    static const QSet<QString> extensions{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("gif"),  QStringLiteral("tiff"), QStringLiteral("tif"),
        QStringLiteral("bmp"),  QStringLiteral("webp"), QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("svg"),  QStringLiteral("ico")};
    return extensions;
}

const QSet<QString>& videoExtensions()
{
    static const QSet<QString> extensions{QStringLiteral("mp4"),  QStringLiteral("mov"),
                                          QStringLiteral("avi"),  QStringLiteral("mkv"),
                                          QStringLiteral("wmv"),  QStringLiteral("flv"),
                                          QStringLiteral("webm"), QStringLiteral("m4v")};
    return extensions;
}

// The locale's medium date (its long date without the weekday, months abbreviated) and its
// short time.
QString mediumDateShortTime(const QDateTime& when, const QLocale& locale)
{
    QString dateFormat = locale.dateFormat(QLocale::LongFormat);
    dateFormat.remove(QStringLiteral("dddd, ")).remove(QStringLiteral("dddd "));
    dateFormat.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    const QDateTime local = when.toLocalTime();
    return QStringLiteral("%1, %2").arg(locale.toString(local.date(), dateFormat),
                                        locale.toString(local.time(), QLocale::ShortFormat));
}

} // namespace

PreviewContent::Kind PreviewContent::classify(const QString& contentType, const QString& filePath)
{
    switch (contentTypeFromRaw(contentType)) {
    case ContentType::Text:
        return Kind::Text;
    case ContentType::Image:
        return Kind::Image;
    case ContentType::Link:
        return Kind::Link;
    case ContentType::File:
        break;
    }
    if (filePath.isEmpty())
        return Kind::NoFile;
    // QFileInfo::suffix(): what follows the last dot of the name ("gz" of "a.tar.gz").
    const QString extension = QFileInfo(filePath).suffix().toLower();
    if (imageExtensions().contains(extension))
        return Kind::ImageFile;
    if (videoExtensions().contains(extension))
        return Kind::VideoFile;
    if (extension == u"pdf")
        return Kind::PdfFile;
    return Kind::OtherFile;
}

QSize PreviewContent::contentSize(Kind kind)
{
    switch (kind) {
    case Kind::Text:
    case Kind::NoFile:
        return {400, 220};
    case Kind::Image:
    case Kind::ImageFile:
        return {480, 340};
    case Kind::Link:
        return {400, 100};
    case Kind::VideoFile:
        return {480, 300};
    case Kind::PdfFile:
        return {440, 380};
    case Kind::OtherFile:
        return {380, 160};
    }
    return {400, 220};
}

PreviewContent::FileSheet PreviewContent::fileSheet(const QString& path, const QLocale& locale)
{
    FileSheet sheet;
    const QFileInfo info(path);
    sheet.name = info.fileName();
    sheet.kind = QObject::tr("File");
    if (!info.exists()) // a stat; false for a missing or unreadable path
        return sheet;
    const bool isFile = info.isFile();
    // Only a regular file's content is looked at: a pipe or a device could block the read.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(
        info, isFile ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault() && !type.comment().isEmpty())
        sheet.kind = type.comment();
    if (isFile)
        sheet.size = locale.formattedDataSize(info.size(), 1, QLocale::DataSizeSIFormat);
    if (const QDateTime created = info.birthTime(); created.isValid())
        sheet.created = mediumDateShortTime(created, locale);
    if (const QDateTime modified = info.lastModified(); modified.isValid())
        sheet.modified = mediumDateShortTime(modified, locale);
    return sheet;
}

PreviewContent::PreviewContent(QObject* parent) : QObject(parent) {}

PreviewContent::~PreviewContent()
{
    if (m_textCancelled)
        *m_textCancelled = true;
}

QVariantList PreviewContent::sheetRows() const
{
    QVariantList rows;
    const auto add = [&rows](const QString& label, const QString& value) {
        if (!value.isEmpty())
            rows.append(QVariantMap{{QStringLiteral("label"), label + u':'},
                                    {QStringLiteral("value"), value}});
    };
    add(tr("Kind"), m_sheet.kind);
    add(tr("Size"), m_sheet.size);
    add(tr("Created"), m_sheet.created);
    add(tr("Modified"), m_sheet.modified);
    return rows;
}

QString PreviewContent::durationText(qint64 milliseconds) const
{
    const qint64 seconds = std::max<qint64>(milliseconds, 0) / 1000;
    const auto two = [](qint64 value) {
        return QStringLiteral("%1").arg(value, 2, 10, QChar(u'0'));
    };
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(two(seconds / 60 % 60), two(seconds % 60));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(two(seconds % 60));
}

QVariant PreviewContent::role(const char* name) const
{
    if (!m_model || m_row < 0 || m_row >= m_model->rowCount())
        return {};
    const int key = m_model->roleNames().key(name, -1);
    return key < 0 ? QVariant() : m_model->index(m_row, 0).data(key);
}

void PreviewContent::componentComplete()
{
    m_itemId = role("itemId").toString();
    m_filePath = role("filePath").toString();
    m_kind = classify(role("contentType").toString(), m_filePath);
    m_urlString = role("urlString").toString();
    m_hasThumbnail = role("hasThumbnail").toBool();
    m_sourceAppName = role("sourceAppName").toString();
    m_timestamp = role("timestamp").toDateTime();
    switch (m_kind) {
    case Kind::Text: {
        // The row holds the start of the text; all of it when it is shorter than that.
        m_text = role("previewText").toString();
        m_hasText = role("hasText").toBool();
        if (m_text.toUcs4().size() >= HistoryModel::previewLength)
            readLongText(role("characterCount").toLongLong());
        break;
    }
    case Kind::OtherFile:
        m_sheet = fileSheet(m_filePath, QLocale());
        break;
    default:
        break;
    }
    emit loaded();
    // Views bound to the text before this completed (a text view is the first a loader picks)
    // read it again.
    emit textChanged();
}

void PreviewContent::readLongText(qint64 characters)
{
    if (!m_textSource)
        return;
    m_textCancelled = m_textSource->read(
        QUuid(m_itemId), shownCharacters, [this, characters](QString text, qint64 codePoints) {
            m_text = std::move(text);
            if (codePoints > shownCharacters)
                m_textNote = tr("Showing the first %1 of %2 characters. The whole text is kept "
                                "and pastes in full.")
                                 .arg(QLocale().toString(shownCharacters),
                                      QLocale().toString(std::max(characters, codePoints)));
            qCDebug(lcViews) << "preview text read:" << m_text.size() << "of" << codePoints;
            emit textChanged();
        });
}

} // namespace brivet
