#include "MainForm.h"

#include "addressbook/FriendForm.h"
#include "app/AccountSettings.h"
#include "app/AutoCheck.h"
#include "app/Forms.h"
#include "app/OptionForm.h"
#include "characters/DogCommands.h"
#include "characters/SetForm.h"
#include "kit/HoverHelp.h"
#include "kit/WindowKit.h"
#include "platform/Browser.h"
#include "platform/Clock.h"
#include "platform/Fonts.h"
#include "platform/PlayWave.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "receive/MailCheck.h"
#include "send/WriteForm.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

#include <utility>
#include <vector>

const char *const MainForm::HomePage = "https://www.wanderpup.example/";

namespace {

constexpr int kClientWidth = 512;
constexpr int kClientHeight = 347;

const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

// The bark error texts by PlayWave result.
QString barkErrorText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("ファイルサイズが大きすぎて展開に\r\n時間がかかる可能性があるため中止しました");
    case 2: return QStringLiteral("フラグの指定が正しくありません");
    case 3: return QStringLiteral("指定されたファイルは存在しません");
    case 4: return QStringLiteral("API がエラーを返しました");
    default: return QStringLiteral("未定義の致命的なエラーです");
    }
}

} // namespace

MainForm::MainForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Wanderpup　Ver 1.0"));
    Kit::fixWindow(this, QSize(kClientWidth, kClientHeight), false);
    setFont(Fonts::proportionalGothic(9));
    m_background.load(QStringLiteral(":/app/doghouse.png"));

    // Each command label explains itself in the help line, which comes after them.
    std::vector<std::pair<CommandLabel *, QString>> helpTexts;
    const auto addLabel = [this, &helpTexts](const char *name, const QString &caption, const QRect &geometry,
                                             const QColor &colour, const QString &hoverText) {
        auto *label = Kit::place(new CommandLabel(caption, colour, this), name, geometry);
        if (!hoverText.isEmpty())
            helpTexts.emplace_back(label, hoverText);
        return label;
    };

    const QString received = QStringLiteral("着信（着信履歴）したメールを見ます。画面はマウスでストレッチが出来ます。");
    const QString sent = QStringLiteral("送信（送信履歴）したメールを見ます。画面はマウスでストレッチが出来ます。");

    CommandLabel *label9 = addLabel("Label9", QStringLiteral("     新規作成"), {16, 160, 81, 17}, kWhite,
                                    QStringLiteral("メールの新規作成・送信を行います。"));
    CommandLabel *label8 = addLabel("Label8", QStringLiteral("        受信"), {16, 188, 81, 17}, kWhite,
                                    QStringLiteral("新着メールの受信を行います。"));
    CommandLabel *label7 = addLabel("Label7", QStringLiteral("   着信履歴"), {24, 215, 73, 13}, kWhite, received);
    CommandLabel *label6 = addLabel("Label6", QStringLiteral("     送信履歴"), {16, 240, 81, 17}, kWhite, sent);
    CommandLabel *label10 = addLabel(
        "Label10", QStringLiteral("   アドレス帳"), {416, 160, 81, 17}, kWhite,
        QStringLiteral("アドレス帳への登録を行います。着信からの自動入力、送信時の一発入力が可能になります。"));
    CommandLabel *label11 = addLabel(
        "Label11", QStringLiteral("      設定"), {416, 188, 73, 13}, kWhite,
        QStringLiteral("ID,PASS,サーバーの設定。これを行わないと通信エラーになります。デスクトップ上を動くキャラの設定もここで！"));
    CommandLabel *label5 = addLabel("Label5", QStringLiteral("     HomePage"), {408, 215, 81, 13}, kWhite,
                                    QStringLiteral("メーラー専門店、作者のホームページです。"));
    CommandLabel *label4 = addLabel("Label4", QStringLiteral("      Small"), {416, 240, 73, 13}, kWhite,
                                    QStringLiteral("フォーム（画面）を最小化します。"));
    Label13 = addLabel("Label13", QStringLiteral("       お散歩"), {304, 69, 81, 17}, kBlue,
                       QStringLiteral("犬小屋から犬を出します。デスクトップ上を自由に駆け回ります。"));
    Label14 = addLabel("Label14", QStringLiteral("       ハウス"), {304, 101, 81, 17}, kBlue,
                       QStringLiteral("犬を犬小屋に入れます。散歩させない限り出ることは出来ません。フォーム（メイン画面）を移動させても中に入ったまま出られません。"));
    Label19 = addLabel("Label19", QStringLiteral("愛犬を格納"), {120, 104, 89, 17}, kWhite,
                       QStringLiteral("愛犬を格納します。文書編集時他、ちょっと邪魔という時に。"));
    Label19->setFont(Fonts::proportionalGothic(9.75));
    CommandLabel *label15 = addLabel("Label15", QStringLiteral("    Cry"), {416, 264, 73, 25}, kWhite, QString());
    label15->setFont(Fonts::antiqua(15.75));
    Label18 = addLabel("Label18", QStringLiteral("One"), {408, 296, 41, 17}, kWhite,
                       QStringLiteral("一度だけ犬の鳴き声を聞きます。"));
    Label18->setFont(Fonts::antiqua(11.25));
    Label17 = addLabel("Label17", QStringLiteral("Loop"), {464, 296, 41, 17}, kWhite,
                       QStringLiteral("連続して泣き声を聞きます。（結構うるさい）"));
    Label17->setFont(Fonts::antiqua(11.25));
    Label16 = addLabel("Label16", QStringLiteral("Quiet"), {32, 288, 57, 33}, kWhite,
                       QStringLiteral("連続して鳴いている犬の鳴き声をとめます。"));
    Label16->setFont(Fonts::antiqua(15.75));
    CommandLabel *label1 = addLabel(
        "Label1", QStringLiteral("Wanderpup Ver 1.0"), {132, 135, 137, 17}, kWhite,
        QStringLiteral("新着時に可愛いキャラがデスクトップ上をコミカルに動きます。５個のキャラから選べます。送信者がキャラを選定することも・・・"));
    label1->setFont(Fonts::antiqua(11.25));

    // The help line; the picture empties it.
    Label2 = Kit::place(new QLabel(this), "Label2", {120, 24, 297, 41});
    Label2->setFont(Fonts::proportionalGothic(9.75));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setStyleSheet(QStringLiteral("color: rgb(255, 255, 0); background: transparent;"));
    m_help = new HoverHelp(Label2);
    m_help->turnOffOverBackground(this, HoverHelp::Off::Empty);
    for (const auto &[label, text] : helpTexts)
        m_help->showOver(label, text);

    Text1 = Kit::place(new QLineEdit(this), "Text1", {112, 0, 249, 18});
    Text1->setAlignment(Qt::AlignCenter);
    Text1->setReadOnly(true);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->setAccessibleName(QStringLiteral("受信結果"));

    // The clock box lies below the visible area; a sent mail is dated in its format. Neither
    // it nor the playback options are ever seen, so the keyboard and screen readers pass them by.
    Text2 = Kit::place(new QLineEdit(QStringLiteral("Text2"), this), "Text2", {120, kClientHeight + 40, 200, 18});
    const QRect belowTheWindow(0, kClientHeight + 80, 20, 20);
    ChkLoop = Kit::place(new QCheckBox(this), "ChkLoop", belowTheWindow);
    ChkLoop->setChecked(true);
    ChkOnMem = Kit::place(new QCheckBox(this), "ChkOnMem", belowTheWindow);
    ChkSynchro = Kit::place(new QCheckBox(this), "ChkSynchro", belowTheWindow);
    for (QWidget *unseen : std::initializer_list<QWidget *>{Text2, ChkLoop, ChkOnMem, ChkSynchro}) {
        unseen->setFocusPolicy(Qt::NoFocus);
        unseen->hide();
    }

    Timer1 = Kit::named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &MainForm::tickClock);
    Timer1->start();

    Timer2 = Kit::named(new QTimer(this), "Timer2");
    connect(Timer2, &QTimer::timeout, this, [] { DogCommands::syncVisibility(); });

    connect(label4, &CommandLabel::activated, this, &QWidget::showMinimized);
    connect(label5, &CommandLabel::activated, this, &MainForm::homePageCommand);
    connect(label6, &CommandLabel::activated, this, [] { Forms::tyakuForm()->OpenHistory(2); });
    connect(label7, &CommandLabel::activated, this, [] { Forms::tyakuForm()->OpenHistory(1); });
    connect(label8, &CommandLabel::activated, this, &MainForm::receiveCommand);
    connect(label9, &CommandLabel::activated, this, [] {
        WriteForm *compose = Forms::writeForm();
        compose->show();
        compose->raise();
        compose->activateWindow();
    });
    connect(label10, &CommandLabel::activated, this, [] {
        FriendForm *book = Forms::friendForm();
        book->show();
        book->raise();
        book->activateWindow();
    });
    connect(label11, &CommandLabel::activated, this, &MainForm::settingsCommand);
    connect(Label13, &CommandLabel::activated, this, &MainForm::walkCommand);
    connect(Label14, &CommandLabel::activated, this, &MainForm::kennelCommand);
    connect(Label16, &CommandLabel::activated, this, &MainForm::quietCommand);
    connect(Label17, &CommandLabel::activated, this, [this] { barkCommand(true); });
    connect(Label18, &CommandLabel::activated, this, [this] { barkCommand(false); });
    connect(Label19, &CommandLabel::activated, this, [] { DogCommands::ClearDogSelection(); });

    Kit::centreOnScreen(this);
}

MainForm::~MainForm() = default;

void MainForm::startUp()
{
    // 1. The dog commands start in kennel mode with barking off.
    Label13->setEnabled(true);
    Label14->setEnabled(false);
    Label17->setEnabled(true);
    Label18->setEnabled(true);
    Label16->setEnabled(false);
    // 2. The outline.
    applyOutline();
    // 3. The status box shows only after the first mail check.
    Text1->hide();
    // 4. The compose window, hidden; its timer runs from now on.
    Forms::writeForm()->Check1->setChecked(false);
    // 5. Server settings.
    Petpost::load(ProgramFolder::petpostIni(), AccountSettings::instance());
    // 6. The transport.
    MailTransport::instance().NMailInitializeWinSock();
    MailTransport::instance().NMailSetOption(1, 8192);
    // While a network call waits for a server, the windows keep painting and the dogs walking.
    MailTransport::instance().setWaitHook(Kit::keepWindowsAlive);
    // 7. A first start asks for the servers.
    if (AccountSettings::instance().Pop3Server.isEmpty())
        Forms::optionForm()->show();
    // 8. The saved dog choice.
    Forms::setForm()->LoadDogChoice();
    // The check by itself, when the server dialog turned it on.
    m_autoCheck = new AutoCheck(this);
    m_autoCheck->startUp();
}

QPolygon MainForm::outline()
{
    return QPolygon({{0, 0}, {0, 368}, {118, 368}, {118, 185}, {397, 185}, {397, 368}, {513, 368}, {513, 0}});
}

QRegion MainForm::clientOutline() const
{
    // The outline is given for the whole window with a frame of 21 pixels above the client area,
    // the frame the picture was drawn for. The doorway is cut where the picture has it, whatever
    // frame this desktop draws and at every scale.
    const QPoint frame(0, 21);
    const QRect doorway = QRect(QPoint(118, 185), QPoint(396, 367)).translated(-frame);
    return QRegion(rect()).subtracted(QRegion(doorway));
}

void MainForm::applyOutline()
{
    setMask(clientOutline());
}

void MainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyOutline();
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // At a first start the server dialog opened before this window; the keyboard goes to the
    // dialog, not to the window that came up after it.
    QTimer::singleShot(0, this, [] {
        OptionForm *dialog = Forms::existingOptionForm();
        if (dialog && dialog->isVisible()) {
            dialog->raise();
            dialog->activateWindow();
        }
    });
}

void MainForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(92, 58, 30));
    painter.drawPixmap(0, 0, m_background);
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (!m_shutDown) {
        m_shutDown = true;
        // An automatic check ends properly first: it stops before its next mail.
        if (m_autoCheck)
            m_autoCheck->stopForExit();
        // Closed while a network call waits: the transport is still in use further down and
        // ends with the program, once that call has returned.
        if (!Kit::waitingOnNetwork())
            MailTransport::instance().NMailEndWinSock();
        clearMask();
    }
    event->accept();
    // Every other window goes at once, without its own closing steps.
    QMetaObject::invokeMethod(qApp, [] { QApplication::exit(0); }, Qt::QueuedConnection);
}

void MainForm::tickClock()
{
    Text2->setText(Clock::now());
}

void MainForm::walkCommand()
{
    Label13->setEnabled(false);
    Label14->setEnabled(true);
    DogCommands::walkAll();
}

void MainForm::kennelCommand()
{
    Label13->setEnabled(true);
    Label14->setEnabled(false);
    DogCommands::kennelAll();
}

void MainForm::receiveCommand()
{
    kennelCommand();
    Label2->setText(QStringLiteral("メールを受信します。"));
    // During an automatic check the click waits for it instead of logging in again.
    if (m_autoCheck && m_autoCheck->join())
        return;
    CheckMail();
}

void MainForm::quietCommand()
{
    Label17->setEnabled(true);
    Label16->setEnabled(false);
    PlayWave(QString(), false, false, false, true);
}

void MainForm::barkCommand(bool loop)
{
    if (loop) {
        Label17->setEnabled(false);
        Label18->setEnabled(true);
    } else {
        Label17->setEnabled(true);
        Label18->setEnabled(false);
    }
    Label16->setEnabled(true);
    ChkLoop->setChecked(loop);
    PlayWave(QString(), false, false, false, true);
    const int result = PlayWave(ProgramFolder::barkSound(), ChkSynchro->isChecked(),
                                ChkLoop->isChecked(), ChkOnMem->isChecked(), false);
    if (result != 0)
        MsgBox(barkErrorText(result), Prompter::Buttons::Ok, Prompter::Icon::Critical,
               QStringLiteral("エラー"));
}

void MainForm::settingsCommand()
{
    Forms::setForm()->LoadDogChoice(5);
    Forms::setForm()->show();
    Forms::setForm()->raise();
}

void MainForm::homePageCommand()
{
    if (!Browser::open(QUrl(QString::fromLatin1(HomePage))))
        MsgBox(QStringLiteral("ブラウザを起動できませんでした。\r\n") + QString::fromLatin1(HomePage),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}
