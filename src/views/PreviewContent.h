#pragma once

#include "views/PreviewTextSource.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QSize>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <atomic>
#include <memory>

namespace brivet {

// What the preview of one history entry shows: which view its content needs, the fixed size of
// the content area, a file's information sheet, and the text of a text entry (its start at
// once from the list row, a longer part read off the main thread). Built anew for each
// preview; reads the entry from the panel's model, never writes.
class PreviewContent : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    // Inputs, set once when the preview is built.
    Q_PROPERTY(QAbstractItemModel* model MEMBER m_model)
    Q_PROPERTY(int row MEMBER m_row)
    Q_PROPERTY(PreviewTextSource* textSource MEMBER m_textSource)
    // Outputs, known once the inputs are all set (loaded).
    Q_PROPERTY(Kind kind READ kind NOTIFY loaded)
    Q_PROPERTY(QSize contentSize READ contentSize NOTIFY loaded)
    Q_PROPERTY(QString itemId READ itemId NOTIFY loaded)
    Q_PROPERTY(QString urlString READ urlString NOTIFY loaded)
    Q_PROPERTY(QString filePath READ filePath NOTIFY loaded)
    Q_PROPERTY(QUrl fileUrl READ fileUrl NOTIFY loaded)
    Q_PROPERTY(bool hasThumbnail READ hasThumbnail NOTIFY loaded)
    Q_PROPERTY(QString sourceAppName READ sourceAppName NOTIFY loaded)
    Q_PROPERTY(QDateTime timestamp READ timestamp NOTIFY loaded)
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    // False for a text entry without a text ("No content"); an empty text is a text.
    Q_PROPERTY(bool hasText READ hasText NOTIFY loaded)
    // Says how much of a very long text is shown, or empty when all of it is.
    Q_PROPERTY(QString textNote READ textNote NOTIFY textChanged)
    // A file's information sheet: its name, and its rows ({label, value}) that are known.
    Q_PROPERTY(QString fileName READ fileName NOTIFY loaded)
    Q_PROPERTY(QVariantList sheetRows READ sheetRows NOTIFY loaded)

public:
    enum class Kind
    {
        Text,
        Image,
        Link,
        ImageFile,
        VideoFile,
        PdfFile,
        OtherFile,
        NoFile,
    };
    Q_ENUM(Kind)

    // The most characters of a text the preview lays out; the rest is kept, and pasted.
    static constexpr qint64 shownCharacters = 20'000;

    // By the entry's kind and, for files, the last extension of the path in lower case.
    static Kind classify(const QString& contentType, const QString& filePath);
    static QSize contentSize(Kind kind);

    // The rows of a file's information sheet; empty texts for rows that are not known.
    struct FileSheet
    {
        QString name;
        QString kind;
        QString size;
        QString created;
        QString modified;
    };
    static FileSheet fileSheet(const QString& path, const QLocale& locale);

    explicit PreviewContent(QObject* parent = nullptr);
    ~PreviewContent() override;

    void classBegin() override {}
    void componentComplete() override;

    Kind kind() const { return m_kind; }
    QSize contentSize() const { return contentSize(m_kind); }
    QString itemId() const { return m_itemId; }
    QString urlString() const { return m_urlString; }
    QString filePath() const { return m_filePath; }
    QUrl fileUrl() const { return QUrl::fromLocalFile(m_filePath); }
    bool hasThumbnail() const { return m_hasThumbnail; }
    QString sourceAppName() const { return m_sourceAppName; }
    QDateTime timestamp() const { return m_timestamp; }
    QString text() const { return m_text; }
    bool hasText() const { return m_hasText; }
    QString textNote() const { return m_textNote; }
    QString fileName() const { return m_sheet.name; }
    QVariantList sheetRows() const;
    // A video's time as "m:ss" or "h:mm:ss".
    Q_INVOKABLE QString durationText(qint64 milliseconds) const;

signals:
    void loaded();
    void textChanged();

private:
    QVariant role(const char* name) const;
    void readLongText(qint64 characters);

    QPointer<QAbstractItemModel> m_model;
    int m_row = -1;
    QPointer<PreviewTextSource> m_textSource;
    Kind m_kind = Kind::Text;
    QString m_itemId;
    QString m_urlString;
    QString m_filePath;
    bool m_hasThumbnail = false;
    QString m_sourceAppName;
    QDateTime m_timestamp;
    QString m_text;
    bool m_hasText = false;
    QString m_textNote;
    FileSheet m_sheet;
    std::shared_ptr<std::atomic_bool> m_textCancelled;
};

} // namespace brivet
