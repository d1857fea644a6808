#include "SetForm.h"

#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/DogCommands.h"
#include "characters/DogTable.h"
#include "characters/DogWindow.h"
#include "kit/HoverHelp.h"
#include "kit/WindowKit.h"
#include "kit/WrappingLabel.h"
#include "platform/Fonts.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kSection = QStringLiteral("EXEINI");

QString spaces(int count) { return QString(count, QChar(0x3000)); }

void colourText(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

// Dogs whose picture in the list faces right (the mirrored drawing).
bool facesRight(int dogNumber)
{
    return dogNumber == 1 || dogNumber == 3 || dogNumber == 6 || dogNumber == 9;
}

} // namespace

bool SetForm::readsAsChosen(const QString &value)
{
    return TextRules::isWholeNumber(value) && TextRules::leadingNumber(value) == 1.0;
}

SetForm::SetForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("設定"));
    setFont(Fonts::proportionalGothic(9));

    Command1 = Kit::place(new QPushButton(QStringLiteral("ID/PASS"), this), "Command1", {8, 8, 96, 26});
    Command2 = Kit::place(new QPushButton(QStringLiteral("POPサーバー"), this), "Command2", {112, 8, 104, 26});

    // The left half is as wide as the instructions' one-line sentence, so that no sentence of
    // them breaks at an odd place; fonts that lay out wider on a denser screen get a margin.
    const QString savedSentence = QStringLiteral("この設定は「犬設定」ボタンをクリックすると保存されます。");
    const QFontMetrics metrics(font());
    const int left = qMax(284, int(metrics.horizontalAdvance(savedSentence) * 1.04) + 4);
    const int shift = left - 284;

    Label7 = Kit::place(
        new WrappingLabel(
            spaces(1) +
                QStringLiteral("新着メールがあった場合の犬の設定。複数選べます。メールチェック以外でも確認可能。") +
                spaces(16) + savedSentence + spaces(34) +
                QStringLiteral("相手が犬を送信して来たときは、それが優先されます。") + spaces(37) +
                QStringLiteral("犬の確認を行いたい場合は、１～１０（複数、全部でも良い。但し、ハードの処理速度に自信"
                               "のある方のみ）をチェックし、「犬を見る」をクリックして下さい。"),
            this),
        "Label7", {8, 40, left, 152});
    colourText(Label7, QColor(255, 0, 0));

    Text2 = Kit::place(new QPlainTextEdit(this), "Text2", {8, 40, left, 152});
    Text2->setReadOnly(true);
    Text2->setFocusPolicy(Qt::NoFocus);
    Text2->setAccessibleName(QStringLiteral("説明"));
    Text2->hide();

    Frame1 = Kit::place(new QFrame(this), "Frame1", {8, 198, left, 84});
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    // Each box under its dog number: dogs 1 to 5 in the top row (boxes Check4, Check1, Check5,
    // Check3, Check2), 6 to 10 below.
    for (int dog = 1; dog <= DogTable::Count; ++dog) {
        const int check = DogTable::checkOfDog(dog);
        const int x = 12 + ((dog - 1) % 5) * 28;
        const int y = dog <= 5 ? 4 : 42;
        auto *number = new QLabel(QString::number(dog), Frame1);
        number->setGeometry(x, y, 20, 16);
        number->setAlignment(Qt::AlignCenter);
        Check[size_t(check)] =
            Kit::place(new QCheckBox(Frame1), QStringLiteral("Check%1").arg(check), {x + 2, y + 16, 18, 18});
        Kit::captionFor(Check[size_t(check)], number);
    }
    // Two lines, broken between the number and the breed.
    const int noteWidth = int(qMax(metrics.horizontalAdvance(QStringLiteral("１～５の番号は")),
                                   metrics.horizontalAdvance(QStringLiteral("「犬種」です。")))
                              * 1.04)
                          + 4;
    Label9 = Kit::place(new WrappingLabel(spaces(18) + QStringLiteral("１～５の番号は「犬種」です。"), Frame1),
                        "Label9", {156, 4, noteWidth, 40});

    Command3 = Kit::place(new QPushButton(QStringLiteral("犬設定"), this), "Command3", {8, 290, 88, 26});
    colourText(Command3, QColor(255, 0, 0));
    Command4 = Kit::place(new QPushButton(QStringLiteral("犬を見る"), this), "Command4", {104, 290, 88, 26});
    Command5 = Kit::place(new QPushButton(QStringLiteral("愛犬を格納"), this), "Command5", {200, 290, 92, 26});

    Label8 = Kit::place(
        new WrappingLabel(QStringLiteral("出現させた犬を消滅させたい場合は、この「設定」フォームを終了させて下さい。"), this),
        "Label8", {8, 322, left, 48});
    colourText(Label8, QColor(0, 0, 255));

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(298 + shift, 4, 4, 376);

    Label10 = Kit::place(new QLabel(spaces(9) + QStringLiteral("愛犬一覧表"), this), "Label10", {308 + shift, 8, 284, 22});
    Label10->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label10->setAutoFillBackground(true);
    {
        QPalette palette = Label10->palette();
        palette.setColor(QPalette::Window, QColor(0, 0, 96));
        palette.setColor(QPalette::WindowText, QColor(255, 255, 255));
        Label10->setPalette(palette);
    }

    // The list of dogs: 1 to 5 on the left, 6 to 10 on the right, each with its number beside it.
    for (int dog = 1; dog <= 10; ++dog) {
        const int column = dog <= 5 ? 0 : 1;
        const int row = (dog - 1) % 5;
        const int x = 316 + shift + column * 142;
        const int y = 36 + row * 69;
        auto *number = new QLabel(QString::number(dog), this);
        number->setGeometry(x, y + 24, 22, 16);
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *picture = Kit::place(new QLabel(this), QStringLiteral("Image1_%1").arg(dog), {x + 28, y, 64, 64});
        picture->setPixmap(QPixmap::fromImage(DogWindow::framePicture(dog, facesRight(dog) ? 2 : 0)));
        Kit::captionFor(picture, number);
        Image1[size_t(dog)] = picture;
    }

    connect(Command1, &QPushButton::clicked, this, [] { Kit::bringToFront(Forms::idPassForm()); });
    connect(Command2, &QPushButton::clicked, this, [] { Kit::bringToFront(Forms::optionForm()); });
    connect(Command3, &QPushButton::clicked, this, &SetForm::SaveDogChoice);
    connect(Command4, &QPushButton::clicked, this, &SetForm::lookAtDogs);
    connect(Command5, &QPushButton::clicked, this, [] { DogCommands::ClearDogSelection(); });

    m_help = new HoverHelp(Text2);
    m_help->showOver(Command1, QStringLiteral("ID,PASSの設定を行います。これを行わないと通信エラーとなります。"));
    m_help->showOver(Command2, QStringLiteral("サーバーの設定を行います。これを行わないと通信エラーとなります。"));
    m_help->showOver(Command3, QStringLiteral("新着メール受信時（新着メールがあった場合のみ）に出現させたい愛"
                                              "犬をチェックボックスで選択し、このボタンで設定を保存します。"));
    m_help->showOver(Command4, QStringLiteral("愛犬の確認を行いたい時にどうぞ。見るだけで、保存は行われません。"));
    m_help->showOver(Command5, QStringLiteral("各種設定他、愛犬がちょっと邪魔という時にどうぞ。"));
    m_help->turnOffOver(Frame1, HoverHelp::Off::HideAndEmpty);
    m_help->turnOffOverBackground(this, HoverHelp::Off::HideAndEmpty);

    resize(600 + shift, 384);
    Kit::keepControlsInside(this, this);
}

bool SetForm::isTicked(int checkNumber) const
{
    return checkNumber >= 1 && checkNumber <= 10 && Check[size_t(checkNumber)]->checkState() == Qt::Checked;
}

void SetForm::setTicked(int checkNumber, bool ticked)
{
    if (checkNumber >= 1 && checkNumber <= 10)
        Check[size_t(checkNumber)]->setChecked(ticked);
}

void SetForm::LoadDogChoice(int keyCount)
{
    const QString file = ProgramFolder::charaDataIni();
    for (int key = 1; key <= std::min(keyCount, 10); ++key) {
        QString value;
        const int length = IniFile::GetPrivateProfileString(kSection, QStringLiteral("NAME%1").arg(key),
                                                            QString(), value, 1256, file);
        if (length >= 1 && readsAsChosen(value))
            setTicked(DogTable::checkOfIniKey(key), true);
    }
}

void SetForm::SaveDogChoice()
{
    // Failures to write are silent: the read-back below then finds the old values.
    const QString file = ProgramFolder::charaDataIni();
    for (int key = 1; key <= 10; ++key)
        IniFile::WritePrivateProfileString(kSection, QStringLiteral("NAME%1").arg(key), QStringLiteral("0"),
                                           file);
    for (int check = 1; check <= 10; ++check)
        if (isTicked(check))
            IniFile::WritePrivateProfileString(
                kSection, QStringLiteral("NAME%1").arg(DogTable::iniKeyOfCheck(check)), QStringLiteral("1"), file);
    LoadDogChoice(10);
}

void SetForm::lookAtDogs() { Forms::mainForm()->Timer2->start(500); }

void SetForm::closeEvent(QCloseEvent *event)
{
    // The boxes are the dog selection that new mail uses: the window only hides, so the user's
    // choice survives. The dogs that "犬を見る" brought out go away, as the note promises.
    MainForm *main = Forms::existingMainForm();
    const bool syncing = main && main->Timer2->isActive();
    if (main)
        main->Timer2->stop();
    if (syncing)
        DogCommands::closeVisible();
    m_help->turnOff(HoverHelp::Off::HideAndEmpty);
    event->ignore();
    hide();
}
