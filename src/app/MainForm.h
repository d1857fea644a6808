#pragma once

#include "kit/CommandLabel.h"

#include <QPixmap>
#include <QWidget>

class AutoCheck;
class HoverHelp;
class QCheckBox;
class QDateTime;
class QLabel;
class QLineEdit;
class QTimer;

// The dog-house main window. Creating it starts the program; closing it ends the program.
class MainForm : public QWidget
{
    Q_OBJECT
public:
    explicit MainForm(QWidget *parent = nullptr);
    ~MainForm() override;

    // Start-up steps that need the other windows; run once, before the window first shows.
    void startUp();

    // The outline: the window rectangle with the doorway cut out, in window coordinates
    // (frame and title bar included).
    static QPolygon outline();
    // The same outline in client coordinates, as applied to this window.
    QRegion clientOutline() const;

    // Controls other windows reach.
    QLineEdit *Text1;  // status box
    QLineEdit *Text2;  // clock box
    QLabel *Label2;    // help line
    QTimer *Timer1;    // clock
    QTimer *Timer2;    // dog visibility sync
    CommandLabel *Label13, *Label14, *Label16, *Label17, *Label18, *Label19;
    QCheckBox *ChkLoop, *ChkOnMem, *ChkSynchro;

    // The commands, also callable from elsewhere.
    void walkCommand();
    void kennelCommand();
    void receiveCommand();
    // One tick of the clock timer.
    void tickClock();

    static const char *const HomePage;

    // The check that runs by itself; made at start-up.
    AutoCheck *autoCheck() const { return m_autoCheck; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyOutline();
    void barkCommand(bool loop);
    void quietCommand();
    void settingsCommand();
    void homePageCommand();

    QPixmap m_background;
    HoverHelp *m_help;
    AutoCheck *m_autoCheck = nullptr;
    bool m_shutDown = false;
    bool m_shownOnce = false;
};
