#include "HistoryWindowFixture.h"
#include "app/Forms.h"
#include "characters/SetForm.h"
#include "platform/Cp932.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QStyle>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

QByteArray field(const QByteArray &value, int width)
{
    QByteArray bytes = value.left(width);
    bytes.append(QByteArray(width - bytes.size(), ' '));
    return bytes;
}

// A record as the file holds it, built here byte by byte.
QByteArray record(const QString &subject, const QString &date, const QString &address, const QByteArray &body)
{
    QByteArray bytes = field(Cp932::fromUnicode(subject), 100) + field(Cp932::fromUnicode(date), 90)
                       + field(Cp932::fromUnicode(address), 90) + field(body, 32000);
    bytes.append("\r\n\x01\x00", 4);
    return bytes;
}

class HistoryWindow : public HistoryWindowFixture
{
protected:
    void clickBesideTheRows()
    {
        QTreeView *list = window()->MailListView;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 3));
    }

    void hover(QWidget *widget, QPoint at = QPoint(3, 3))
    {
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(widget, &move);
    }
};

TEST_F(HistoryWindow, ControlsAtCreation)
{
    TyakuForm *w = window();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->Command1->text(), QStringLiteral("１件削除"));
    EXPECT_EQ(w->Command3->text(), QStringLiteral("アドレス帳登録"));
    EXPECT_EQ(w->Command4->text(), QStringLiteral("返事を出す"));
    EXPECT_EQ(w->Command5->text(), QStringLiteral("全件削除"));
    EXPECT_EQ(w->Command2->text(), QStringLiteral("犬格納"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("件数"));
    EXPECT_EQ(w->Command1->geometry(), QRect(8, 40, 89, 25));
    EXPECT_EQ(w->Text2->geometry(), QRect(536, 44, 33, 18));
    EXPECT_EQ(w->mFile->title(), QStringLiteral("ファイル(&F)"));
    EXPECT_EQ(w->medit->title(), QStringLiteral("編集(&E)"));
    EXPECT_TRUE(w->findChild<QAction *>(QStringLiteral("mtugikensaku")));
    EXPECT_EQ(w->tbToolBar->findChild<QAction *>(QStringLiteral("Copy"))->toolTip(), QStringLiteral("ｺﾋﾟｰ"));
    EXPECT_EQ(w->client()->size(), QSize(619, 470));

    // Columns: titles, and widths of a half and two quarters of what the list shows at creation,
    // room left for a vertical scroll bar so that no horizontal one is needed; fixed afterwards.
    QAbstractItemModel *model = w->MailListView->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Subject"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("From"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Date"));
    const int scrollBar = w->MailListView->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int shown = w->MailListView->width() - 2 * w->MailListView->frameWidth();
    EXPECT_LE(w->MailListView->header()->length() + scrollBar, shown);
    EXPECT_GE(w->MailListView->header()->length() + scrollBar, shown - 2);
    const int subject = w->MailListView->columnWidth(0);
    EXPECT_NEAR(w->MailListView->columnWidth(1), subject / 2, 1);
    EXPECT_NEAR(w->MailListView->columnWidth(2), subject / 2, 1);
    w->resize(900, 700);
    EXPECT_EQ(w->MailListView->columnWidth(0), subject);
    EXPECT_LE(w->minimumWidth(), 620); // as small as the window starts, not smaller than its buttons
    EXPECT_GE(w->minimumWidth(), w->client()->mapTo(w, w->Text2->geometry().bottomRight()).x());
}

TEST_F(HistoryWindow, LayoutFollowsTheOuterSize)
{
    const TyakuForm::Layout l = TyakuForm::layoutFor(12000, 9000);
    EXPECT_EQ(l.list, QRectF(0, 1080, 11880, 3150));
    EXPECT_DOUBLE_EQ(l.text7.y(), 4190);
    EXPECT_DOUBLE_EQ(l.text8.y(), 4190);
    EXPECT_DOUBLE_EQ(l.text9.y(), 4190);
    EXPECT_DOUBLE_EQ(l.editor.y(), 4550);
    EXPECT_DOUBLE_EQ(l.editor.width(), 11880);
    EXPECT_DOUBLE_EQ(l.editor.height(), 3420);
    EXPECT_DOUBLE_EQ(l.editor.x(), 20);
    EXPECT_DOUBLE_EQ(l.text7.x(), 20);
    EXPECT_NEAR(l.text8.x(), 6058.8, 1e-9);
    EXPECT_NEAR(l.text9.x(), 9682.2, 1e-9);
    EXPECT_DOUBLE_EQ(l.text7.width(), 6000);
    EXPECT_DOUBLE_EQ(l.text8.width(), 3600);
    EXPECT_DOUBLE_EQ(l.text9.width(), 2400);
    EXPECT_DOUBLE_EQ(l.strip.width(), 12000);

    // The same on the window: 12000 x 9000 twips are 800 x 600 pixels at 15 twips a pixel.
    TyakuForm *w = window();
    w->OpenHistory(1);
    const QSize frame = w->frameGeometry().size() - w->size();
    w->resize(800 - frame.width(), 600 - frame.height());
    EXPECT_EQ(w->MailListView->geometry(), QRect(0, 72, 792, 210));
    EXPECT_EQ(w->rtfEd->geometry(), QRect(1, 303, 792, 228));
    EXPECT_EQ(w->Text7->y(), 279);
    EXPECT_EQ(w->Text8->geometry().topLeft(), QPoint(404, 279));
    EXPECT_EQ(w->Text9->geometry().topLeft(), QPoint(645, 279));
    EXPECT_EQ(w->Text8->width(), 240);
    EXPECT_EQ(w->Picture1->width(), 800);
    EXPECT_EQ(w->Command5->geometry(), QRect(296, 40, 89, 25)); // buttons keep their places
}

TEST_F(HistoryWindow, EmptyHistoryListsNothingAndAClickSaysSo)
{
    TyakuForm *w = window();
    w->OpenHistory(1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("着信履歴"));
    EXPECT_EQ(HistoryMode, 1);
    EXPECT_EQ(w->rowCount(), 0);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("0"));
    EXPECT_TRUE(w->Text7->text().isEmpty() && w->Text8->text().isEmpty() && w->Text9->text().isEmpty());
    EXPECT_TRUE(w->rtfEd->toPlainText().isEmpty());
    clickBesideTheRows();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("選択するデータがありません"));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Wanderpup"));
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::Ok);
}

TEST_F(HistoryWindow, SentHistoryListsOldestFirstAndShowsTheLast)
{
    folder.write(QStringLiteral("★MailData/ppdata5.data"),
                 record(QStringLiteral("  最初の件名"), QStringLiteral("2026/12/01  10:00:00"),
                        QStringLiteral("a@example.jp"), "first body")
                     + record(QStringLiteral("second"), QStringLiteral("2026/12/02  11:00:00"),
                              QStringLiteral("b@example.jp"), "  second\r\nbody  ")
                     + record(QStringLiteral("third"), QStringLiteral("2026/12/03  12:00:00"),
                              QStringLiteral("c@example.jp"), QByteArray("third\r\nbody\0hidden", 18)));
    TyakuForm *w = window();
    w->OpenHistory(2);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("送信履歴"));
    EXPECT_EQ(HistoryMode, 2);
    ASSERT_EQ(w->rowCount(), 3);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("3"));
    // The list shows the fields as stored (leading spaces kept), the boxes trimmed.
    EXPECT_TRUE(w->mailList->text(0, 0).startsWith(QStringLiteral("  最初の件名")));
    EXPECT_EQ(w->mailList->text(1, 1).trimmed(), QStringLiteral("b@example.jp"));
    EXPECT_EQ(w->mailList->text(2, 2).trimmed(), QStringLiteral("2026/12/03  12:00:00"));
    EXPECT_EQ(w->Text7->text(), QStringLiteral("third"));
    EXPECT_EQ(w->Text8->text(), QStringLiteral("c@example.jp"));
    EXPECT_EQ(w->Text9->text(), QStringLiteral("2026/12/03  12:00:00"));
    // A NUL in the stored body ends what is shown.
    EXPECT_EQ(w->rtfEd->toPlainText(), QStringLiteral("third\nbody"));
    EXPECT_EQ(w->bodyText(), QStringLiteral("third\r\nbody"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("third\nbody"));

    click(1);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(w->Text7->text(), QStringLiteral("second"));
    EXPECT_EQ(w->Text5->text(), QStringLiteral("b@example.jp"));
    EXPECT_EQ(w->rtfEd->toPlainText(), QStringLiteral("second\nbody"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("second\nbody"));
    EXPECT_EQ(w->selectedRecordNumber(), 2);

    click(0);
    EXPECT_EQ(w->Text7->text(), QStringLiteral("最初の件名"));
    // A long value is shown from its start, not scrolled to its end.
    for (QLineEdit *box : {w->Text7, w->Text8, w->Text9})
        EXPECT_EQ(box->cursorPosition(), 0) << box->objectName().toStdString();
}

TEST_F(HistoryWindow, ClickWithoutASelectedRowChangesNothing)
{
    folder.write(QStringLiteral("★MailData/ppdata2.data"),
                 record(QStringLiteral("only"), QStringLiteral("d"), QStringLiteral("x@example.jp"), "body"));
    TyakuForm *w = window();
    w->OpenHistory(1);
    w->Text7->setText(QStringLiteral("typed"));
    clickBesideTheRows();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(w->Text7->text(), QStringLiteral("typed"));
    EXPECT_TRUE(w->Text5->text().isEmpty());
    EXPECT_EQ(w->selectedRecordNumber(), 0);
}

TEST_F(HistoryWindow, RowsOfACheckShowTheirOwnRecords)
{
    // The list after a mail check holds only that check's mails: records 3 and 4 of the file.
    QByteArray file;
    for (int n = 1; n <= 4; ++n)
        file += record(QStringLiteral("mail %1").arg(n), QStringLiteral("d"), QStringLiteral("a"),
                       QByteArray("body ") + QByteArray::number(n));
    folder.write(QStringLiteral("★MailData/ppdata2.data"), file);
    TyakuForm *w = window();
    w->OpenHistory(1);
    w->clearList();
    w->addStoredRow(QStringLiteral("mail 3"), QStringLiteral("a"), QStringLiteral("d"), 1, 3);
    w->addStoredRow(QStringLiteral("mail 4"), QStringLiteral("a"), QStringLiteral("d"), 1, 4);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("2"));
    click(0);
    EXPECT_EQ(w->Text7->text(), QStringLiteral("mail 3"));
    EXPECT_EQ(w->rtfEd->toPlainText(), QStringLiteral("body 3"));
}

TEST_F(HistoryWindow, HistoryAtTheRecordLimitListsEveryRecord)
{
    // A sparse file of 32767 records: the list is ready without reading the bodies.
    const QString path = folder.file(QStringLiteral("★MailData/ppdata2.data"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(32767) * 32284));
        file.seek(qint64(32766) * 32284);
        file.write(
            record(QStringLiteral("last"), QStringLiteral("d"), QStringLiteral("z@example.jp"), "the end"));
    }
    TyakuForm *w = window();
    w->OpenHistory(1);
    EXPECT_EQ(w->rowCount(), 32767);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("32767"));
    EXPECT_EQ(w->Text7->text(), QStringLiteral("last"));
    EXPECT_EQ(w->rtfEd->toPlainText(), QStringLiteral("the end"));
}

TEST_F(HistoryWindow, HoverHelpOfTheButtons)
{
    TyakuForm *w = window();
    w->OpenHistory(1);
    hover(w->Command1);
    EXPECT_TRUE(w->Text4->isVisible());
    EXPECT_EQ(w->Text4->toPlainText(),
              QStringLiteral("メールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。"));
    hover(w->Command5);
    EXPECT_EQ(w->Text4->toPlainText(), QStringLiteral("受信したメール全件削除します。"));
    hover(w->Command2);
    EXPECT_EQ(w->Text4->toPlainText(), QStringLiteral("文書の編集他、愛犬がちょっと邪魔という時にどうぞ。"));
    // Over the editor: hidden, text kept.
    hover(w->rtfEd->viewport());
    EXPECT_FALSE(w->Text4->isVisible());
    EXPECT_EQ(w->Text4->toPlainText(), QStringLiteral("文書の編集他、愛犬がちょっと邪魔という時にどうぞ。"));
    // Over the background: hidden and emptied.
    hover(w->Command4);
    EXPECT_TRUE(w->Text4->isVisible());
    hover(w->client(), QPoint(w->client()->width() - 5, 50));
    EXPECT_FALSE(w->Text4->isVisible());
    EXPECT_TRUE(w->Text4->toPlainText().isEmpty());
}

TEST_F(HistoryWindow, DogButtonClearsTheDogSelection)
{
    SetForm *set = Forms::setForm();
    set->setTicked(3, true);
    window()->Command2->click();
    for (int box = 1; box <= 10; ++box)
        EXPECT_FALSE(set->isTicked(box)) << box;
}

TEST_F(HistoryWindow, ModeSurvivesTheWindow)
{
    window()->OpenHistory(2);
    window()->close(); // destroyed on close
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Forms::existingTyakuForm());
    EXPECT_EQ(HistoryMode, 2);
    EXPECT_TRUE(window()->Text2->text().isEmpty());
}

} // namespace
