#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QTimer;

// A caption of the main window that works as a command: a click runs it, hovering shows its
// help text in the help line.
class CommandLabel : public QLabel
{
    Q_OBJECT
public:
    CommandLabel(const QString &name, const QString &caption, const QString &hoverText, QWidget *parent);

    const QString &hoverText() const { return m_hoverText; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_hoverText;
};

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

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    CommandLabel *addLabel(const char *name, const QString &caption, const QRect &geometry,
                           const QColor &colour, const QString &hoverText);
    void applyOutline();
    void barkCommand(bool loop);
    void quietCommand();
    void settingsCommand();
    void homePageCommand();

    QPixmap m_background;
    bool m_shutDown = false;
};
