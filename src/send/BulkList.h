#pragma once

#include <QList>
#include <QString>

// The recipients of a bulk send: one mail per entry of the compose window's address list, to
// the address of the address-book record the entry stands for (trailing spaces removed).
namespace BulkList {

struct Recipient
{
    int entry;       // position in the list, from 0
    int record;      // address-book record number
    QString address; // never empty
};

struct Plan
{
    QList<Recipient> mails;
    // Entries left out: their record lies beyond the end of the book (a list filled from the
    // name list may be longer than the book), or holds no address.
    int beyondBook = 0;
    int withoutAddress = 0;
};

// `entryRecords` is the list's entry map: the record number of each entry, in list order.
Plan plan(const QString &bookFile, const QList<int> &entryRecords);

} // namespace BulkList
