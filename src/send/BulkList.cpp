#include "BulkList.h"

#include "addressbook/AddressBookFile.h"

namespace BulkList {

Plan plan(const QString &bookFile, const QList<int> &entryRecords)
{
    Plan result;
    for (int entry = 0; entry < entryRecords.size(); ++entry) {
        const int record = entryRecords[entry];
        const std::optional<QString> address = AddressBook::BulkRecipient(bookFile, record);
        if (!address)
            ++result.beyondBook;
        else if (address->trimmed().isEmpty())
            ++result.withoutAddress;
        else
            result.mails.append({entry, record, *address});
    }
    return result;
}

} // namespace BulkList
