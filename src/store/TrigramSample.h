#pragma once

#include <QString>
#include <unordered_map>
#include <vector>

namespace brivet {

class Database;

// In how many of a sample of records each trigram of the folded fields occurs: which part of
// a long needle the trigram index can be asked for at the least cost. The index reads every
// posting of every trigram of a phrase, so a needle with one common trigram ("ten" is in half
// of a history) costs as much as that trigram; a part made only of rare trigrams costs little,
// and the records it finds are then tested for the whole needle. Only a choice of work: the
// answer never depends on the sample.
class TrigramSample
{
public:
    // Reads up to `records` records of the index's folded fields, spread over the history.
    static TrigramSample read(Database& database, int records = 2000);

    // What to ask the index for: the part of partLength characters (code points) of
    // foldedNeedle whose trigrams are the rarest in the sample, when it is estimated to cost
    // much less than the whole needle, counting the postings read and the records it finds
    // (each then tested for the needle); else the needle itself.
    QString rarestPart(const QString& foldedNeedle, int partLength = 5) const;

    // How many postings the index reads for foldedNeedle (a phrase of its trigrams), per
    // record of the history; 0 without a sample.
    double postingsPerRecord(const QString& foldedNeedle) const;

private:
    void add(const QString& foldedField, int record);

    struct Count
    {
        int records = 0;
        int lastRecord = -1;
    };
    int recordsHolding(const QString& part) const;

    std::unordered_map<quint64, Count> m_records;
    std::vector<QString> m_fields; // the sampled fields, folded and cut
    int m_recordsRead = 0;
};

} // namespace brivet
