#pragma once

#include "store/ClipboardItem.h"

#include <QString>
#include <optional>

namespace brivet {

class Database;

// The index behind the history's search: a substring match over textContent, urlString,
// fileName and sourceAppName that ignores case and accents, in any script. Each field is kept
// folded (see fold()) in ClipboardItemFolded, and a trigram index over those columns answers
// needles of three characters or more; shorter needles scan the folded columns. Triggers on
// ClipboardItem note every record whose fields change, whoever writes the file, and drain()
// brings those records up to date, so a store written by a program that does not know the
// index is caught up on its next open.
//
// An index that is missing, or that was made with another folding, is made anew from the
// records in the background (buildSome(), in short transactions); until it is complete,
// searches test the records themselves (condition() with indexed false, through the SQL
// function brivet_match), slower but with the same answers.
namespace SearchIndex {

// The form in which fields are indexed and needles are looked up: case folded, with the
// marks people leave out when typing (accents, Hebrew points, Arabic vowel marks) removed;
// marks that are letters of their script stay.
QString fold(const QString& text);

// The plain definition of a match that the index answers: true when one of the four fields
// contains the needle, compared folded. foldedNeedle is fold(needle), non-empty.
bool matches(const ClipboardItem& item, const QString& foldedNeedle);

// Catches the index up; when it is missing or made with another folding, starts it anew,
// empty, for buildSome() to fill. Quick either way; runs in a transaction of its own.
[[nodiscard]] std::optional<QString> ensure(Database& database);

// Indexes up to `records` of the records the index does not hold yet, in a transaction of
// its own; done once it holds them all.
[[nodiscard]] std::optional<QString> buildSome(Database& database, int records, bool* done);

// Whether the index holds every record (else condition() must be asked with indexed false).
bool isReady(Database& database);

// Adds brivet_match, which condition() uses with indexed false, to the connection.
[[nodiscard]] bool addFunctions(Database& database);

// Indexes the records noted since the last call; part of the caller's transaction.
[[nodiscard]] std::optional<QString> drain(Database& database);

// The records matching foldedNeedle in SQL, with one parameter ?1, to be bound to argument.
struct Condition
{
    QString sql;   // a condition on ClipboardItem.pk
    QString items; // a query of their identities, as the column item
    // Short needles: the test on a row of ClipboardItemFolded alone, so that a caller can
    // scan fewer rows than all; empty when the trigram index answers.
    QString foldedTest;
    QString argument; // the folded needle
    // When the index is asked for a part of the needle only (see indexPart below): that part,
    // a second parameter ?3; the records it finds are then tested for the whole needle.
    QString part;

    // Whether the index answers: else foldedTest is a test on a row of ClipboardItem.
    bool indexed = true;
};
// With scan, any needle gets foldedTest (for a caller that reads a few rows one by one).
// Without indexed, the records themselves are tested. With an indexPart (a substring of the
// needle of three characters or more, e.g. TrigramSample::rarestPart()), the index is asked
// for that part and the records it finds are tested for the needle.
Condition condition(const QString& foldedNeedle, bool scan = false, bool indexed = true,
                    const QString& indexPart = {});

} // namespace SearchIndex
} // namespace brivet
