#include "store/TrigramSample.h"

#include "store/Database.h"

#include <QList>
#include <QStringMatcher>
#include <limits>

namespace brivet {
namespace {

// Enough of a field to know its words; a long text's tail says little more.
constexpr int sampledCharacters = 1024;
constexpr int slices = 16;
// A record found and then tested for the whole needle costs about as much as reading this
// many postings of the index (measured over a million generated records).
constexpr qint64 testedRecordCost = 50;

quint64 trigram(const char32_t* c)
{
    return (quint64(c[0]) << 42) | (quint64(c[1]) << 21) | quint64(c[2]);
}

} // namespace

TrigramSample TrigramSample::read(Database& database, int records)
{
    TrigramSample sample;
    Statement* last = database.prepare("SELECT max(item) FROM ClipboardItemFolded");
    if (!last || !last->step()) {
        if (last)
            last->finish();
        return sample;
    }
    const qint64 newest = last->int64(0);
    last->finish();
    // Slices spread over the identities (which follow the order of the copies), so that the
    // sample is not only of the newest records.
    const int perSlice = std::max(1, records / slices);
    qint64 next = 0; // slices do not overlap in a small history
    for (int slice = 0; slice < slices; ++slice) {
        Statement* read = database.prepare(
            "SELECT item, substr(textContent, 1, ?3), substr(urlString, 1, ?3), fileName, "
            "sourceAppName FROM ClipboardItemFolded WHERE item >= ?1 ORDER BY item LIMIT ?2");
        if (!read)
            return sample;
        read->bind(1, std::max(next, newest * slice / slices))
            .bind(2, qint64(perSlice))
            .bind(3, qint64(sampledCharacters));
        while (read->step()) {
            next = read->int64(0) + 1;
            for (int column = 1; column <= 4; ++column)
                sample.add(read->text(column), sample.m_recordsRead);
            ++sample.m_recordsRead;
            sample.m_fields.emplace_back(); // between records: a part is found in one only
        }
        read->finish();
    }
    return sample;
}

void TrigramSample::add(const QString& foldedField, int record)
{
    if (foldedField.size() < 3)
        return;
    m_fields.push_back(foldedField);
    const QList<uint> characters = foldedField.toUcs4();
    const auto* c = reinterpret_cast<const char32_t*>(characters.constData());
    for (qsizetype i = 0; i + 3 <= characters.size(); ++i) {
        Count& count = m_records[trigram(c + i)];
        if (count.lastRecord != record) {
            count.lastRecord = record;
            ++count.records;
        }
    }
}

int TrigramSample::recordsHolding(const QString& part) const
{
    const QStringMatcher matcher(part);
    int records = 0;
    bool counted = false; // the current record already holds it
    for (const QString& field : m_fields) {
        if (field.isNull())
            counted = false;
        else if (!counted && matcher.indexIn(field) >= 0) {
            counted = true;
            ++records;
        }
    }
    return records;
}

double TrigramSample::postingsPerRecord(const QString& foldedNeedle) const
{
    if (m_recordsRead == 0)
        return 0;
    const QList<uint> characters = foldedNeedle.toUcs4();
    const auto* c = reinterpret_cast<const char32_t*>(characters.constData());
    qint64 postings = 0;
    for (qsizetype i = 0; i + 3 <= characters.size(); ++i) {
        const auto found = m_records.find(trigram(c + i));
        postings += found == m_records.end() ? 0 : found->second.records;
    }
    return double(postings) / m_recordsRead;
}

QString TrigramSample::rarestPart(const QString& foldedNeedle, int partLength) const
{
    const QList<uint> characters = foldedNeedle.toUcs4();
    if (characters.size() <= partLength || partLength < 3 || m_records.empty())
        return foldedNeedle;
    const auto* c = reinterpret_cast<const char32_t*>(characters.constData());
    const auto postings = [&](qsizetype i) -> qint64 {
        const auto found = m_records.find(trigram(c + i));
        return found == m_records.end() ? 0 : found->second.records;
    };
    qsizetype best = 0;
    qint64 bestPostings = std::numeric_limits<qint64>::max();
    qint64 allPostings = 0;
    for (qsizetype i = 0; i + 3 <= characters.size(); ++i)
        allPostings += postings(i);
    for (qsizetype start = 0; start + partLength <= characters.size(); ++start) {
        qint64 cost = 0;
        for (qsizetype i = start; i + 3 <= start + partLength; ++i)
            cost += postings(i);
        if (cost < bestPostings) {
            bestPostings = cost;
            best = start;
        }
    }
    const QString part = QString::fromUcs4(c + best, partLength);
    const qint64 partCost = bestPostings + testedRecordCost * recordsHolding(part);
    return 2 * partCost < allPostings ? part : foldedNeedle;
}

} // namespace brivet
