// Time from process start to the first exposed frame: of the main window after its whole
// start-up ("wanderpup"), or of a bare window of the same size ("minimal"). Prints milliseconds.
// Run on a display: bench/startup/run.sh does it under Xvfb with hyperfine.

#include "app/Forms.h"
#include "app/MainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>

namespace {

class ExposeWatcher : public QObject
{
public:
    explicit ExposeWatcher(QElapsedTimer &clock) : m_clock(clock) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed() && !m_done) {
            m_done = true;
            std::printf("%.2f\n", double(m_clock.nsecsElapsed()) / 1e6);
            QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
        }
        return false;
    }

private:
    QElapsedTimer &m_clock;
    bool m_done = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    const bool minimal = argc > 1 && std::strcmp(argv[1], "minimal") == 0;
    ExposeWatcher watcher(clock);

    QWidget *window = nullptr;
    if (minimal) {
        window = new QWidget;
        window->setFixedSize(512, 347);
    } else {
        MainForm *main = Forms::mainForm();
        main->startUp();
        window = main;
    }
    window->winId();
    window->windowHandle()->installEventFilter(&watcher);
    window->show();
    const int code = app.exec();
    if (minimal)
        delete window;
    else
        Forms::destroyAll();
    return code;
}
