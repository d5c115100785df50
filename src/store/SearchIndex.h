#pragma once

#include "store/ClipboardItem.h"

#include <QString>
#include <optional>

namespace brivet {

class Database;

// The index behind the history's search: a case-insensitive substring match over textContent,
// urlString, fileName and sourceAppName, in any script. Each field is kept case-folded
// (Unicode full-string folding after canonical composition) in ClipboardItemFolded, and a
// trigram index over those columns answers needles of three characters or more; shorter
// needles scan the folded columns. Triggers on ClipboardItem note every record whose fields
// change, whoever writes the file, and drain() brings those records up to date, so a store
// written by a program that does not know the index is caught up on its next open.
namespace SearchIndex {

// The form in which fields are indexed and needles are looked up.
QString fold(const QString& text);

// The plain definition of a match that the index answers: true when one of the four fields
// contains the needle, compared folded. foldedNeedle is fold(needle), non-empty.
bool matches(const ClipboardItem& item, const QString& foldedNeedle);

// Creates the index when it is missing and catches it up; runs in a transaction of its own.
[[nodiscard]] std::optional<QString> ensure(Database& database);

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
    QString argument;
};
// With scan, any needle gets foldedTest (for a caller that reads a few rows one by one).
Condition condition(const QString& foldedNeedle, bool scan = false);

} // namespace SearchIndex
} // namespace brivet
