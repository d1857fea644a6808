#include "SetForm.h"

#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/DogCommands.h"
#include "characters/DogWindow.h"
#include "platform/Fonts.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextRules.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
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

int SetForm::keyOfCheck(int checkNumber)
{
    static const int keys[] = {0, 4, 1, 5, 3, 2, 6, 7, 8, 9, 10};
    return checkNumber >= 1 && checkNumber <= 10 ? keys[checkNumber] : 0;
}

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
    resize(600, 384);
    setMouseTracking(true);

    auto button = [this](const char *name, const QString &caption, const QRect &geometry) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(geometry);
        b->installEventFilter(this);
        b->setMouseTracking(true);
        return b;
    };
    Command1 = button("Command1", QStringLiteral("ID/PASS"), {8, 8, 96, 26});
    Command2 = button("Command2", QStringLiteral("POPサーバー"), {112, 8, 104, 26});

    Label7 = new QLabel(this);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setText(
        spaces(1) +
        QStringLiteral("新着メールがあった場合の犬の設定。複数選べます。メールチェック以外でも確認可能。") +
        spaces(16) + QStringLiteral("この設定は「犬設定」ボタンをクリックすると保存されます。") + spaces(34) +
        QStringLiteral("相手が犬を送信して来たときは、それが優先されます。") + spaces(37) +
        QStringLiteral("犬の確認を行いたい場合は、１～１０（複数、全部でも良い。但し、ハードの処理速度に自信"
                       "のある方のみ）をチェックし、「犬を見る」をクリックして下さい。"));
    Label7->setGeometry(8, 40, 284, 152);
    Label7->setWordWrap(true);
    Label7->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    colourText(Label7, QColor(255, 0, 0));

    Text2 = new QPlainTextEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(8, 40, 284, 152);
    Text2->setReadOnly(true);
    Text2->setFocusPolicy(Qt::NoFocus);
    Text2->hide();

    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    Frame1->setGeometry(8, 198, 284, 84);
    Frame1->setMouseTracking(true);
    Frame1->installEventFilter(this);
    // Top row: dogs 1 to 5, whose boxes are Check4, Check1, Check5, Check3, Check2.
    const int topRow[] = {4, 1, 5, 3, 2};
    for (int i = 0; i < 10; ++i) {
        const int dog = i + 1;
        const int check = i < 5 ? topRow[i] : dog;
        const int x = 12 + (i % 5) * 28;
        const int y = i < 5 ? 4 : 42;
        auto *number = new QLabel(QString::number(dog), Frame1);
        number->setGeometry(x, y, 20, 16);
        number->setAlignment(Qt::AlignCenter);
        auto *box = new QCheckBox(Frame1);
        box->setObjectName(QStringLiteral("Check%1").arg(check));
        box->setGeometry(x + 2, y + 16, 18, 18);
        Check[size_t(check)] = box;
    }
    Label9 = new QLabel(spaces(18) + QStringLiteral("１～５の番号は「犬種」です。"), Frame1);
    Label9->setObjectName(QStringLiteral("Label9"));
    Label9->setGeometry(148, 2, 132, 50);
    Label9->setWordWrap(true);
    Label9->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Command3 = button("Command3", QStringLiteral("犬設定"), {8, 290, 88, 26});
    colourText(Command3, QColor(255, 0, 0));
    Command4 = button("Command4", QStringLiteral("犬を見る"), {104, 290, 88, 26});
    Command5 = button("Command5", QStringLiteral("愛犬を格納"), {200, 290, 92, 26});

    Label8 = new QLabel(
        QStringLiteral("出現させた犬を消滅させたい場合は、この「設定」フォームを終了させて下さい。"), this);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setGeometry(8, 322, 284, 48);
    Label8->setWordWrap(true);
    Label8->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    colourText(Label8, QColor(0, 0, 255));

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(298, 4, 4, 376);

    Label10 = new QLabel(spaces(9) + QStringLiteral("愛犬一覧表"), this);
    Label10->setObjectName(QStringLiteral("Label10"));
    Label10->setGeometry(308, 8, 284, 22);
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
        const int x = 316 + column * 142;
        const int y = 36 + row * 69;
        auto *number = new QLabel(QString::number(dog), this);
        number->setGeometry(x, y + 24, 22, 16);
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("Image1_%1").arg(dog));
        picture->setGeometry(x + 28, y, 64, 64);
        picture->setPixmap(QPixmap::fromImage(DogWindow::framePicture(dog, facesRight(dog) ? 2 : 0)));
        Image1[size_t(dog)] = picture;
    }

    connect(Command1, &QPushButton::clicked, this, [] { Forms::idPassForm()->show(); });
    connect(Command2, &QPushButton::clicked, this, [] { Forms::optionForm()->show(); });
    connect(Command3, &QPushButton::clicked, this, &SetForm::SaveDogChoice);
    connect(Command4, &QPushButton::clicked, this, &SetForm::lookAtDogs);
    connect(Command5, &QPushButton::clicked, this, [] { DogCommands::ClearDogSelection(); });
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
        if (length < 1 || !readsAsChosen(value))
            continue;
        for (int check = 1; check <= 10; ++check)
            if (keyOfCheck(check) == key)
                setTicked(check, true);
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
            IniFile::WritePrivateProfileString(kSection, QStringLiteral("NAME%1").arg(keyOfCheck(check)),
                                               QStringLiteral("1"), file);
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
        DogCommands::closeAll();
    hideHover();
    event->ignore();
    hide();
}

void SetForm::showHover(const QString &text)
{
    Text2->setPlainText(text);
    Text2->show();
}

void SetForm::hideHover()
{
    Text2->hide();
    Text2->clear();
}

void SetForm::mouseMoveEvent(QMouseEvent *event)
{
    if (!childAt(event->position().toPoint()))
        hideHover();
    QWidget::mouseMoveEvent(event);
}

bool SetForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (watched == Frame1) {
            hideHover();
        } else if (watched == Command1) {
            showHover(QStringLiteral("ID,PASSの設定を行います。これを行わないと通信エラーとなります。"));
        } else if (watched == Command2) {
            showHover(QStringLiteral("サーバーの設定を行います。これを行わないと通信エラーとなります。"));
        } else if (watched == Command3) {
            showHover(QStringLiteral("新着メール受信時（新着メールがあった場合のみ）に出現させたい愛犬をチェ"
                                     "ックボックスで選択し、このボタンで設定を保存します。"));
        } else if (watched == Command4) {
            showHover(QStringLiteral("愛犬の確認を行いたい時にどうぞ。見るだけで、保存は行われません。"));
        } else if (watched == Command5) {
            showHover(QStringLiteral("各種設定他、愛犬がちょっと邪魔という時にどうぞ。"));
        }
    }
    return QWidget::eventFilter(watched, event);
}
