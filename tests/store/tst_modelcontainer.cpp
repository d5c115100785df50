// Opening and creating the store file: privacy of the files, the recorded schema, refusing
// files that are not ours to change, and durability of a save against a killed process.
#include "store/ModelContainer.h"
#include "support/TestMain.h"
#include "support/TestRecords.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

using namespace brivet;

namespace {

constexpr char childEnvironment[] = "BRIVET_TST_SAVE_AND_WAIT";

QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

std::unique_ptr<ModelContainer> open(const QString& path)
{
    auto result = ModelContainer::create(path);
    if (auto* error = std::get_if<QString>(&result))
        qWarning() << *error;
    auto* container = std::get_if<std::unique_ptr<ModelContainer>>(&result);
    return container ? std::move(*container) : nullptr;
}

// Child mode: inserts and saves one record, says so, then waits to be killed.
int saveAndWait(const QString& path)
{
    auto container = open(path);
    if (!container)
        return 2;
    ClipboardItem item = test::textRecord("survives SIGKILL");
    container->mainContext().insert(item);
    if (!container->mainContext().save())
        return 3;
    std::fputs("saved\n", stdout);
    std::fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

} // namespace

class TestModelContainer : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void oneContainerPerStoreAtATime()
    {
        const QString path = m_dir.filePath("shared/BrivetCloud.sqlite");
        auto first = open(path);
        QVERIFY(first);
        auto second = ModelContainer::create(path);
        QVERIFY(std::holds_alternative<QString>(second));
        QVERIFY(std::get<QString>(second).contains("in use by another Brivet process"));
        first.reset();
        QVERIFY(open(path)); // free again once the first one is gone
    }

    void refusesFilesItMustNotChange_data()
    {
        QTest::addColumn<QByteArray>("contents"); // empty: a valid store, then made read-only
        QTest::addColumn<QString>("reason");
        QTest::addRow("not sqlite")
            << QByteArray("just some text\n").repeated(100) << "not a database";
        QTest::addRow("empty file") << QByteArray("") << "not a database";
        QTest::addRow("read-only") << QByteArray() << "read-only";
        QTest::addRow("truncated") << QByteArray("truncate") << "truncated";
        QTest::addRow("newer schema") << QByteArray("newer") << "newer version";
        QTest::addRow("someone else's database") << QByteArray("foreign") << "not a Brivet";
    }
    void refusesFilesItMustNotChange()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, reason);
        const QString path = m_dir.filePath(QTest::currentDataTag() + QString("/store.sqlite"));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const QString tag = QTest::currentDataTag();
        if (tag == "read-only" || tag == "truncated" || tag == "newer schema") {
            {
                auto container = open(path);
                QVERIFY(container);
                for (int i = 0; i < 200; ++i) {
                    ClipboardItem item = test::textRecord(QString(500, QChar('a' + i % 26)));
                    container->mainContext().insert(item);
                }
                QVERIFY(container->mainContext().save());
            }
            if (tag == "read-only")
                QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
            if (tag == "truncated")
                QVERIFY(QFile::resize(path, QFileInfo(path).size() / 2 + 100));
            if (tag == "newer schema") {
                sqlite3* db = nullptr;
                sqlite3_open(path.toUtf8(), &db);
                QCOMPARE(sqlite3_exec(db, "PRAGMA user_version = 20000", nullptr, nullptr, nullptr),
                         SQLITE_OK);
                sqlite3_close(db);
            }
        } else if (tag == "someone else's database") {
            sqlite3* db = nullptr;
            sqlite3_open(path.toUtf8(), &db);
            sqlite3_exec(db, "CREATE TABLE notes(body TEXT)", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        const QByteArray before = fileDigest(path);
        const qint64 sizeBefore = QFileInfo(path).size();
        const QStringList filesBefore = QDir(QFileInfo(path).path()).entryList(QDir::Files);

        auto result = ModelContainer::create(path);
        QVERIFY(std::holds_alternative<QString>(result));
        QVERIFY2(std::get<QString>(result).contains(reason), qPrintable(std::get<QString>(result)));
        QCOMPARE(fileDigest(path), before);
        QCOMPARE(QFileInfo(path).size(), sizeBefore);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files), filesBefore);
    }

    void aSavedRecordSurvivesSigkill()
    {
        const QString path = m_dir.filePath("killed/BrivetCloud.sqlite");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(childEnvironment, path);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray output;
        const auto savedOrEnded = [&] {
            output += child.readAllStandardOutput();
            return output.contains("saved") || child.state() == QProcess::NotRunning;
        };
        QTRY_VERIFY_WITH_TIMEOUT(savedOrEnded(), 30000);
        QCOMPARE(child.state(), QProcess::Running);
        child.kill(); // SIGKILL: no chance to flush or close anything
        QVERIFY(child.waitForFinished());

        auto container = open(path);
        QVERIFY(container);
        const auto items = container->mainContext().fetch(ItemFetch{});
        QVERIFY(items);
        QCOMPARE(items->size(), 1);
        QCOMPARE(items->first().textContent, QString("survives SIGKILL"));
    }
};

BRIVET_TEST_CLASS(TestModelContainer)
static const brivet::test::Registration childMode(brivet::test::ChildMode{childEnvironment,
                                                                          saveAndWait});
#include "tst_modelcontainer.moc"
