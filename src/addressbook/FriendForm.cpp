#include "FriendForm.h"

#include "addressbook/AddressBookFile.h"
#include "characters/DogCommands.h"
#include "kit/Twips.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QValidator>

namespace {

// The client area, in twips.
constexpr double kClientWidth = 6375, kClientHeight = 6960;
constexpr double kListTop = 1500, kListHeight = 4920;

const QString kGrey = QStringLiteral("background-color: rgb(192, 192, 192);");

// A failure the file layer explained: shown as it says, and nothing else happens.
void sayWhy(const QString &why)
{
    MsgBox(why, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

class AddressLength : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        return input.size() <= AddressBook::AddressCharacters ? Acceptable : Invalid;
    }
};

} // namespace

FriendForm::FriendForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FriendForm"));
    setWindowTitle(QStringLiteral("アドレス帳"));
    // A fixed single border with a close box only.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFont(Fonts::proportionalGothic(9));
    const TwipsScale scale = TwipsScale::onScreen();
    setFixedSize(scale.toPixelsX(kClientWidth), scale.toPixelsY(kClientHeight));

    Label1 = Kit::placeInTwips(new QLabel(QStringLiteral("名前"), this), "Label1", {120, 150, 1215, 255});
    Text2 = Kit::placeInTwips(new QLineEdit(this), "Text2", {1440, 105, 3255, 330});
    Text2->setMaxLength(30);
    // Names are typed in kana: leave the input method free to compose them (no Latin-only hint).
    Text2->setInputMethodHints(Qt::ImhNone);
    Label1->setBuddy(Text2);

    Label2 = Kit::placeInTwips(new QLabel(QStringLiteral("メールアドレス"), this), "Label2", {120, 570, 1275, 255});
    Text4 = Kit::placeInTwips(new QLineEdit(this), "Text4", {1440, 525, 3975, 330});
    // A longer address is refused whole, never cut: typing stops at the limit, and a paste that
    // would pass it is not taken.
    Text4->setValidator(new AddressLength(Text4));
    connect(Text4, &QLineEdit::inputRejected, this, [this] {
        Label7->setText(QStringLiteral("メールアドレスは%1文字までです。").arg(AddressBook::AddressCharacters));
    });
    Text4->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoAutoUppercase);
    Label2->setBuddy(Text4);
    Command1 = Kit::placeInTwips(new QPushButton(QStringLiteral("貼付"), this), "Command1", {5520, 510, 735, 360});
    Command1->setStyleSheet(kGrey);

    Command4 = Kit::placeInTwips(new QPushButton(QStringLiteral("登録"), this), "Command4", {120, 990, 1095, 375});
    Command5 = Kit::placeInTwips(new QPushButton(QStringLiteral("削除"), this), "Command5", {1320, 990, 1095, 375});
    Command3 =
        Kit::placeInTwips(new QPushButton(QStringLiteral("愛犬格納"), this), "Command3", {2520, 990, 1335, 375});
    Label3 = Kit::placeInTwips(new QLabel(QStringLiteral("登録件数"), this), "Label3", {4200, 1050, 915, 255});
    Text3 = Kit::placeInTwips(new QLineEdit(this), "Text3", {5160, 1005, 1095, 330});
    Text3->setReadOnly(true);
    Text3->setAlignment(Qt::AlignRight);
    Label3->setBuddy(Text3);

    List1 = Kit::placeInTwips(new QListWidget(this), "List1", {0, kListTop, kClientWidth, kListHeight});
    QPalette cyan = List1->palette();
    cyan.setColor(QPalette::Base, QColor(192, 255, 255));
    List1->setPalette(cyan);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setUniformItemSizes(true);
    List1->setAccessibleName(QStringLiteral("アドレス帳"));

    const double stripTop = kListTop + kListHeight;
    Picture1 = Kit::placeInTwips(new QFrame(this), "Picture1", {0, stripTop, kClientWidth, kClientHeight - stripTop});
    Picture1->setFrameShape(QFrame::Panel);
    Picture1->setFrameShadow(QFrame::Sunken);
    Label7 = Kit::placeInTwips(new QLabel(Picture1), "Label7", {90, 120, kClientWidth - 180, 270});

    // The refresh command lies outside the window, with its keep-out note: neither is seen,
    // tabbed to or read out.
    Command2 = Kit::placeInTwips(new QPushButton(QStringLiteral("Command2"), this), "Command2",
                                 {kClientWidth + 600, 300, 1095, 375});
    Command2->setFocusPolicy(Qt::NoFocus);
    Label5 = Kit::placeInTwips(new QLabel(QStringLiteral("※重要削除するな！！"), this), "Label5",
                               {kClientWidth + 600, 750, 2400, 255});
    Command2->hide();
    Label5->hide();

    setTabOrder(Text2, Text4);
    setTabOrder(Text4, Command1);
    setTabOrder(Command1, Command4);
    setTabOrder(Command4, Command5);
    setTabOrder(Command5, Command3);
    setTabOrder(Command3, Text3);
    setTabOrder(Text3, List1);

    connect(Command1, &QPushButton::clicked, this, &FriendForm::pasteAddress);
    connect(Command4, &QPushButton::clicked, this, &FriendForm::registerEntry);
    connect(Command5, &QPushButton::clicked, this, &FriendForm::deleteEntry);
    connect(Command3, &QPushButton::clicked, this, [] { DogCommands::ClearDogSelection(); });
    connect(Command2, &QPushButton::clicked, this, [this] {
        if (!RefreshAddressList())
            sayWhy(AddressBook::lastError());
    });

    Kit::centreOnScreen(this);

    // Load: the name and address boxes are left alone, so an address put into Text4 while the
    // window is being created stays.
    Text3->setText(QStringLiteral("0"));
    Label7->clear();
    if (!RefreshAddressList())
        sayWhy(AddressBook::lastError());
}

FriendForm::~FriendForm() = default;

QString FriendForm::rowText(const QString &address, const QString &name)
{
    return address + QStringLiteral("  ") + name;
}

bool FriendForm::RefreshAddressList()
{
    List1->clear();
    const QString book = AddressBook::BookFile();
    const QList<AddressRecord> records = AddressBook::ReadAll(book);
    const bool ok = AddressBook::lastError().isEmpty();
    QStringList rows;
    rows.reserve(records.size());
    for (const AddressRecord &record : records)
        rows.append(rowText(record.Address(), record.Name()));
    List1->addItems(rows);
    Text3->setText(QString::number(rows.size()));
    return ok;
}

void FriendForm::registerEntry()
{
    if (Text2->text().isEmpty()) {
        MsgBox(QStringLiteral("氏名（名称）が入力されていません。"));
        return;
    }
    if (Text4->text().isEmpty()) {
        MsgBox(QStringLiteral("メールアドレスが入力されていません。"));
        return;
    }
    // An address from "アドレス帳登録" comes whole; a bulk send would go to a cut one.
    if (const QString problem = AddressBook::addressProblem(Text4->text()); !problem.isEmpty()) {
        sayWhy(problem);
        return;
    }
    const QString book = AddressBook::BookFile();
    const int n = AddressBook::RecordCount(book) + 1;
    if (!AddressBook::WriteAddressRecord(book, n, Text2->text(), Text4->text())) {
        // What was typed stays, to be registered once the cause is gone.
        sayWhy(AddressBook::lastError());
        return;
    }
    Label7->setText(QStringLiteral("　登録が完了しました。"));
    RefreshAddressList();
    Text2->clear();
    Text4->clear();
}

void FriendForm::deleteEntry()
{
    const QList<QListWidgetItem *> selected = List1->selectedItems();
    if (selected.isEmpty()) {
        MsgBox(QStringLiteral("データが選択されていません。"));
        return;
    }
    const int n = List1->row(selected.first()) + 1;
    Label7->setText(QStringLiteral(" "));
    const int answer = MsgBox(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"),
                              Prompter::Buttons::YesNo, Prompter::Icon::Question, QStringLiteral("確認"));
    const QString book = AddressBook::BookFile();
    if (answer == Prompter::Yes) {
        if (AddressBook::MarkDeleted(book, n))
            Label7->setText(QStringLiteral("削除が完了しました"));
        else
            sayWhy(AddressBook::lastError());
    }
    // Purged on either answer: a record marked by an earlier, interrupted deletion goes too.
    if (!AddressBook::PurgeDeletedRecords(book)) {
        Label7->setText(QStringLiteral(" "));
        sayWhy(AddressBook::lastError());
    }
    RefreshAddressList();
}

void FriendForm::pasteAddress()
{
    const QString address = TextRules::CutAtNul(QGuiApplication::clipboard()->text());
    if (const QString problem = AddressBook::addressProblem(address); !problem.isEmpty()) {
        sayWhy(problem);
        return;
    }
    Text4->setText(address);
}
