#pragma once

#include "transport/MimeWriter.h"

#include <QRectF>
#include <QString>
#include <QWidget>

class AttachmentControls;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The reply window "返事を書く": the history window fills subject, recipient and body from a
// received mail and shows it; the user edits and sends. A reply is a plain mail: no dog, no
// fortune, no sent-history record. "送信中止" only hides it, so the reply waits there.
class BackForm : public QWidget
{
    Q_OBJECT
public:
    explicit BackForm(QWidget *parent = nullptr);
    ~BackForm() override;

    // The body of the mail being answered, which "本文に貼付" puts below the pasted text.
    void setAnsweredBody(const QString &body) { m_answeredBody = body; }
    const QString &answeredBody() const { return m_answeredBody; }
    // Where the reply goes in the thread of the mail being answered.
    void setThread(const MimeWriter::Thread &thread) { m_thread = thread; }

    // The body with CR LF line ends, and setting it.
    QString bodyText() const;
    void setBodyText(const QString &text);

    // Where the layout puts the controls that follow the window's outer size (twips).
    struct Layout
    {
        double bodyWidth, bodyHeight, toWidth, subjectWidth, attachWidth;
    };
    static Layout layoutFor(double outerWidth, double outerHeight);
    // The left edges of "添付", "追加" and "取り消し" beside an attachment field this wide.
    static double attachLeft(double attachWidth) { return attachWidth + 1240; }
    static double addLeft(double attachWidth) { return attachWidth + 2060; }
    static double cancelLeft(double attachWidth) { return attachWidth + 2940; }

    void sendCommand();
    void pasteCommand();

    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr, *Command4 = nullptr;
    QLineEdit *ToText = nullptr, *SubjectText = nullptr, *AttachText = nullptr;
    QPushButton *AttachCommand = nullptr, *Command9 = nullptr, *Command10 = nullptr;
    QListWidget *List2 = nullptr;
    QPlainTextEdit *BodyText = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void applyLayout();

    AttachmentControls *m_attachments;
    QString m_answeredBody;
    MimeWriter::Thread m_thread;
    bool m_sending = false;
};
