// The address panel of the compose window: the list of names, the bulk send, and the To field
// filled from the address book.
#include "WriteForm.h"

#include "WriteFormParts.h"
#include "addressbook/AddressBookFile.h"
#include "kit/WindowKit.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"

#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>

namespace {

const QString kNoSelection = QStringLiteral("データが選択されていません");
const QColor kGreen(0, 128, 0);

} // namespace

using namespace WriteFormParts;

void WriteForm::buildAddressPanel()
{
    AddressPanel = Kit::placeInTwips(new QFrame(this), "AddressPanel", {PanelLeft, PanelTop, PanelWidth, PanelHeight});
    AddressPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    setBackground(AddressPanel, QColor(224, 224, 224));

    QLabel *header = Kit::placeInTwips(new QLabel(QStringLiteral("アドレス帳"), AddressPanel), "AddressHeader",
                                       {120, 150, 1000, 300});
    QLabel *countCaption =
        Kit::placeInTwips(new QLabel(QStringLiteral("件数"), AddressPanel), "Text1Label", {1170, 150, 420, 300});
    Text1 = Kit::placeInTwips(new QLineEdit(AddressPanel), "Text1", {1590, 150, 585, 300});
    Text1->setReadOnly(true);
    countCaption->setBuddy(Text1);
    Text1->setAccessibleName(countCaption->text());

    List1 = Kit::placeInTwips(new QListWidget(AddressPanel), "List1", {120, 600, 2055, 5100});
    List1->setAccessibleName(header->text());
    List1->setUniformItemSizes(true); // every name field is 90 characters: measure one, not thousands
    header->setBuddy(List1);
    List1->setAutoFillBackground(true);
    setBase(List1, White);
    List1->viewport()->installEventFilter(this);
    // Keyboard users pick a name with Enter.
    connect(List1, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { pressOnList(List1->row(item)); });

    Frame4 = Kit::placeInTwips(new QGroupBox(AddressPanel), "Frame4", {120, 5760, 2055, 600});
    Option[2] =
        Kit::placeInTwips(new QRadioButton(QStringLiteral("一括送信"), Frame4), "Option2", {90, 200, 1035, 300});
    Option[1] = Kit::placeInTwips(new QRadioButton(QStringLiteral("取消"), Frame4), "Option1", {1170, 200, 795, 300});
    connect(Option[2], &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            bulkOn();
    });
    connect(Option[1], &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            bulkOff();
    });
}

void WriteForm::fillList(const QString &file)
{
    const QStringList names = AddressBook::ReadNames(file);
    List1->clear();
    List1->addItems(names);
    m_entryRecords.clear();
    m_entryRecords.reserve(names.size());
    for (int n = 1; n <= names.size(); ++n)
        m_entryRecords.append(n);
    Text1->setText(QString::number(List1->count()));
}

void WriteForm::addressBookCommand()
{
    setOuterSize(WideWidth, m_outer.height());
    Kit::centreOnScreen(this);
    fillList(AddressBook::BookFile());
    if (List1->count() == 0 && !AddressBook::lastError().isEmpty()) {
        const bool noFolder = !QFileInfo(ProgramFolder::dataFolder()).isDir();
        MsgBox(noFolder
                   ? QStringLiteral("データフォルダ（★MailData）が見つかりません。アドレス帳を読み込めませんでした。")
                   : QStringLiteral("アドレス帳を読み込めませんでした。\r\n") + AddressBook::lastError(),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
}

void WriteForm::originalSizeCommand()
{
    setOuterSize(NormalWidth, m_outer.height());
    setBase(List1, White);
    Kit::centreOnScreen(this);
}

void WriteForm::pressOnList(int row)
{
    if (row < 0 || row >= m_entryRecords.size()) {
        MsgBox(kNoSelection, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        List1->setFocus();
        return;
    }
    const std::optional<AddressRecord> record = AddressBook::ReadRecord(AddressBook::BookFile(), m_entryRecords[row]);
    if (!record) {
        // A name of the name list beyond the end of the address book has no address.
        MsgBox(QStringLiteral("この名前のメールアドレスはアドレス帳にありません。"), Prompter::Buttons::Ok,
               Prompter::Icon::Exclamation);
        return;
    }
    ToText->setPlainText(TextRules::trimSpaces(record->Address().left(ToLimit)));
}

bool WriteForm::pressedOnList(const QMouseEvent *press)
{
    // The name under the pointer, else the one selected before.
    QListWidgetItem *item = List1->itemAt(press->position().toPoint());
    if (!item && !List1->selectedItems().isEmpty())
        item = List1->selectedItems().first();
    if (item)
        List1->setCurrentItem(item);
    pressOnList(item ? List1->row(item) : -1);
    return item == nullptr; // no name there: the list keeps its state
}

void WriteForm::bulkOn()
{
    setBase(List1, kGreen);
}

void WriteForm::bulkOff()
{
    ToText->clear();
    setBase(List1, White);
}

void WriteForm::keepFailedEntries(const QList<int> &failedEntries)
{
    QList<int> records;
    QStringList names;
    for (int entry : failedEntries) {
        records.append(m_entryRecords[entry]);
        names.append(List1->item(entry)->text());
    }
    List1->clear();
    List1->addItems(names);
    m_entryRecords = records;
    Text1->setText(QString::number(List1->count()));
}
