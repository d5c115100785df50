// The changes a clipboard back end holds until the monitor takes them.
#include "platform/PasteboardChanges.h"
#include "support/TestContent.h"
#include "support/TestMain.h"

#include <QTest>

using namespace brivet;

class TestPasteboardChanges : public QObject
{
    Q_OBJECT

    static QList<qint64> counts(const QList<PasteboardChange>& changes)
    {
        QList<qint64> result;
        for (const PasteboardChange& change : changes)
            result << change.changeCount;
        return result;
    }

private slots:
    // Untaken, the oldest go past 64 changes or 512 MiB, but the newest always stays; taking
    // gives only what came after the count already handled, and forgets the rest.
    void holdsTheNewestWithinTheLimits()
    {
        PasteboardChanges changes;
        const auto file = [&changes](const PasteboardContents& contents, bool ownerGone = false) {
            return changes.file({0, contents, {}, std::nullopt, ownerGone});
        };
        for (int i = 1; i <= 70; ++i)
            file(test::textCopy(QString::number(i)));
        QCOMPARE(changes.count(), 70);
        QCOMPARE(changes.contents().stringForType(PasteboardType::String), QString("70"));
        const QList<qint64> held = counts(changes.take(0));
        QCOMPARE(held.size(), 64);
        QCOMPARE(held.first(), 7);
        QVERIFY(changes.take(0).isEmpty());

        file(test::textCopy("a"));
        file({}, true);
        const QList<PasteboardChange> taken = changes.take(71);
        QCOMPARE(counts(taken), QList<qint64>{72});
        QVERIFY(taken.first().ownerGone);

        PasteboardContents huge;
        huge.types = {PasteboardType::PNG};
        huge.data.insert(PasteboardType::PNG, QByteArray(520 * 1024 * 1024, 'x'));
        file(test::textCopy("b"));
        file(huge);
        QCOMPARE(counts(changes.take(0)), QList<qint64>{74});
    }
};

BRIVET_TEST_CLASS(TestPasteboardChanges)
#include "tst_pasteboardchanges.moc"
