#include "DogWindow.h"

#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogTable.h"
#include "kit/WindowKit.h"
#include "platform/RandomSource.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int kTick = 200;

void setInterval(QTimer *timer, int ms)
{
    if (ms <= 0) {
        timer->stop();
    } else {
        timer->start(ms);
    }
}

// The two drawings of each dog, decoded once per process; windows made later share them.
const QImage &drawing(int dogNumber, int phase)
{
    static std::array<QImage, 22> cache;
    QImage &image = cache[size_t(dogNumber * 2 + phase)];
    if (image.isNull()) {
        image.load(
            QStringLiteral(":/dogs/dog%1_%2.png").arg(dogNumber, 2, 10, QLatin1Char('0')).arg(phase + 1));
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    return image;
}

} // namespace

int DogWindow::dogNumber() const
{
    return DogTable::dogOfForm(m_formNumber);
}

QString DogWindow::titleOf(int formNumber)
{
    switch (formNumber) {
    case 4: return QStringLiteral("気分・・・１");
    case 1: return QStringLiteral("気分・・・２");
    case 5: return QStringLiteral("気分・・・２");
    case 3: return QStringLiteral("気分・・・４");
    case 2: return QStringLiteral("気分・・・５");
    default: return QStringLiteral("Form%1").arg(formNumber);
    }
}

QImage DogWindow::framePicture(int dogNumber, int slot)
{
    if (dogNumber < 1 || dogNumber > 10 || slot < 0 || slot > 7)
        return QImage();
    const QImage &picture = drawing(dogNumber, slot % 2);
    return (slot % 4) >= 2 ? picture.mirrored(true, false) : picture;
}

QRegion DogWindow::BuildOutline(const QImage &picture)
{
    QRegion region;
    if (picture.isNull())
        return region;
    const QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
    const std::vector<QRect> bands = outlineBands(reinterpret_cast<const quint32 *>(pixels.constBits()),
                                                  pixels.width(), pixels.height(), pixels.bytesPerLine() / 4);
    if (!bands.empty())
        region.setRects(bands.data(), int(bands.size()));
    return region;
}

// On X the dogs place themselves: a window manager (weston's for Xwayland is one) may ignore a
// managed window's own moves, and none has any say over a window it does not manage.
DogWindow::DogWindow(int formNumber, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint
                          | Qt::BypassWindowManagerHint)
    , m_formNumber(formNumber)
    , m_scale(TwipsScale::onScreen())
    , m_walk(m_scale.perPixelX(), m_scale.perPixelY())
{
    setObjectName(QStringLiteral("Form%1").arg(formNumber));
    setWindowTitle(titleOf(formNumber));
    // Dogs never take the keyboard from the window the user works in.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    for (int slot = 0; slot < 8; ++slot)
        Picture1[size_t(slot)] = framePicture(dogNumber(), slot);

    // 1. Outlines. 2. The size of frame box 0. 3. Always on top (window flags above).
    BuildOutlines();
    setFixedSize(m_scale.toPixels(QSizeF(DogWalk::FrameBox, DogWalk::FrameBox)));
    // 4. The twips factors were read above. 5. A fresh random sequence.
    RandomSource::reseedFromClock();
    // 6. Born at the mouse pointer.
    move(QCursor::pos());

    m_slot = 0;
    applyShape(m_outlines[0]);

    Timer1 = Kit::named(new QTimer(this), "Timer1");
    connect(Timer1, &QTimer::timeout, this, &DogWindow::walkTick);
    Timer2 = Kit::named(new QTimer(this), "Timer2");
    connect(Timer2, &QTimer::timeout, this, &DogWindow::kennelTick);
    setTimer2Interval(kTick);
}

DogWindow::~DogWindow() = default;

void DogWindow::BuildOutlines()
{
    // Slots with the same picture are computed separately all the same: each window owns all eight.
    for (size_t slot = 0; slot < 8; ++slot)
        m_outlines[slot] = BuildOutline(Picture1[slot]);
}

void DogWindow::setTimer1Interval(int ms) { setInterval(Timer1, ms); }

void DogWindow::setTimer2Interval(int ms) { setInterval(Timer2, ms); }

QPoint DogWindow::twipsPosition() const
{
    return m_scale.toTwips(pos());
}

void DogWindow::moveToTwips(QPoint twips)
{
    move(m_scale.toPixels(QPointF(twips)));
}

void DogWindow::walkTick()
{
    const QSize screen(Twips::screenWidth(), Twips::screenHeight());
    moveToTwips(m_walk.walkTick(twipsPosition(), screen));
    showFrame(m_walk.slot());
}

void DogWindow::kennelTick()
{
    // The kennel is measured from the main window's outer frame; without a main window the dog
    // keeps its place.
    MainForm *main = Forms::existingMainForm();
    const QPoint spot =
        main ? m_walk.kennelTick(m_scale.toTwips(main->frameGeometry().topLeft()))
             : m_walk.kennelTick(twipsPosition() - QPoint(DogWalk::KennelOffset, DogWalk::KennelOffset));
    moveToTwips(spot);
    showFrame(m_walk.slot());
}

void DogWindow::showFrame(int slot)
{
    // The region is shared with the stored outline, so the previous shape is released here.
    m_slot = slot;
    applyShape(m_outlines[size_t(slot)]);
    update();
}

void DogWindow::applyShape(const QRegion &outline)
{
    // An empty mask would show the whole square: a frame without a dog shows nothing instead,
    // through a shape that lies beside the window.
    static const QRegion nothing(-1, -1, 1, 1);
    setMask(outline.isEmpty() ? nothing : outline);
}

void DogWindow::setFramePicture(int slot, const QImage &picture)
{
    Picture1[size_t(slot)] = picture;
    m_outlines[size_t(slot)] = BuildOutline(picture);
    if (slot == m_slot)
        showFrame(slot);
}

void DogWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, Picture1[size_t(m_slot)]);
}

void DogWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        event->accept();
        // No window manager moves a dog on X (it manages none); elsewhere the desktop may move it
        // as if its title bar had been grabbed. Else the dog follows the pointer by itself.
        QWindow *handle = windowHandle();
        if (QGuiApplication::platformName() != QLatin1String("xcb") && handle && handle->startSystemMove())
            return;
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - pos();
        return;
    }
    if (event->buttons() == Qt::RightButton) {
        event->accept();
        // Ends the program at once, without the main window's closing steps.
        QCoreApplication::exit(0);
        return;
    }
    QWidget::mousePressEvent(event);
}

void DogWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void DogWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}
