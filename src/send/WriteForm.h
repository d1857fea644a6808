#pragma once

#include <QList>
#include <QSizeF>
#include <QWidget>

#include <array>

class AttachmentControls;
class HoverHelp;
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The compose window "新規作成": recipient, subject, body, attachments, greeting lines, and at
// most one extra: a dog for the recipient's desktop, a fortune, or a bulk send to the whole
// address book. Created hidden at start-up; a send, "送信中止" or the close box destroys it, and
// the next "新規作成" creates it afresh.
class WriteForm : public QWidget
{
    Q_OBJECT
public:
    explicit WriteForm(QWidget *parent = nullptr);
    ~WriteForm() override;

    // The outer sizes in twips: normal, with the address panel, with the paste strip.
    static constexpr double NormalWidth = 7100, NormalHeight = 8200;
    static constexpr double WideWidth = 9700, TallHeight = 8955;

    // The outer size in twips (frame and title bar included), and setting it.
    QSizeF outerSize() const { return m_outer; }
    void setOuterSize(double width, double height);

    // "送信": one mail, or one per address-list entry in bulk mode.
    void sendCommand();
    // One tick of Timer1: bulk send beats a dog, a dog beats the fortune.
    void applyExclusivity();
    // The dog of the selected option; 0 for "送らない".
    int chosenDog() const;
    // The address-book record of each List1 entry, in list order.
    const QList<int> &entryRecords() const { return m_entryRecords; }

    QPushButton *Command1 = nullptr, *Command3 = nullptr, *Command4 = nullptr, *Command5 = nullptr, *Command6 = nullptr,
                *Command7 = nullptr, *Command8 = nullptr, *Command11 = nullptr;
    QLineEdit *Text2 = nullptr;
    QGroupBox *Frame1 = nullptr;
    std::array<QRadioButton *, 14> Option{}; // Option[1] .. Option[13]
    QLabel *Label12 = nullptr;
    QPlainTextEdit *ToText = nullptr;
    QLineEdit *SubjectText = nullptr;
    QComboBox *Combo1 = nullptr;
    QPushButton *AttachCommand = nullptr, *Command9 = nullptr, *Command10 = nullptr;
    QLineEdit *AttachText = nullptr;
    QListWidget *List2 = nullptr;
    QCheckBox *Check1 = nullptr;
    QPlainTextEdit *BodyText = nullptr;
    QPlainTextEdit *Text14 = nullptr;
    QLabel *Label7 = nullptr;
    QFrame *AddressPanel = nullptr;
    QListWidget *List1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QLineEdit *Text4 = nullptr;
    QPushButton *Command2 = nullptr;
    QTimer *Timer1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildButtons();
    void buildFields();
    void buildHelp();
    void load();

    void applyOuterSize();
    void syncFrame();
    void clearCommand();
    void pasteIntoTo();
    void pasteIntoBody();
    void greetingLeft();
    void statusDoubleClicked();
    void keepToWithinLimit();
    void linkCaption(QLabel *caption, QAbstractButton *control);
    void setStatus(const QString &text);

    // The dog options (WriteFormDogs.cpp).
    void buildDogChoice();

    // The address panel (WriteFormAddresses.cpp).
    void buildAddressPanel();
    void fillList(const QString &file);
    void addressBookCommand();
    void originalSizeCommand();
    void pressOnList(int row);
    bool pressedOnList(const QMouseEvent *press); // true: the press is used up
    void bulkOn();
    void bulkOff();
    void keepFailedEntries(const QList<int> &failedEntries);
    // "送信": the addresses of "宛先" as the mail needs them (WriteFormSend.cpp).
    bool takeTypedRecipients();

    HoverHelp *m_help = nullptr;
    AttachmentControls *m_attachments = nullptr;
    QList<int> m_entryRecords;
    QSizeF m_outer;
    QSize m_frameExtra; // frame and title bar as the window manager drew them, in pixels
    bool m_sending = false;
};
