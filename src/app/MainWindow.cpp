#include "MainWindow.h"

#include "Artwork.h"
#include "BusyCursor.h"
#include "CaptionLabel.h"
#include "DeferredCall.h"
#include "FlatButton.h"
#include "GroupFrame.h"
#include "PortComboBox.h"
#include "PulseReadout.h"
#include "SweepSurface.h"
#include "Texts.h"
#include "WindowLayout.h"
#include "acquire/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

namespace {

void place(QWidget *w, const WindowLayout::Box &b)
{
    constexpr int k = Twips::PerPixel;
    w->setGeometry(b.left / k, b.top / k, b.width / k, b.height / k);
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    pal.setColor(QPalette::ButtonText, colour);
    w->setPalette(pal);
}

template <typename T> T *named(T *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QRadioButton *makeOption(QWidget *frame, const WindowLayout::Option &o)
{
    auto *b = named(new QRadioButton(QString::fromUtf8(o.caption), frame), o.name);
    place(b, o.box);
    return b;
}

// A caption of the layout: its place, face and ink; the top-aligned ones wrap.
CaptionLabel *makeCaption(QWidget *parent, const char *name, const WindowLayout::Box &box, const QFont &font,
                          Qt::Alignment alignment, const QColor &ink)
{
    auto *label = named(new CaptionLabel(parent), name);
    place(label, box);
    label->setFont(font);
    label->setWordWrap(alignment.testFlag(Qt::AlignTop));
    label->setAlignment(alignment);
    setTextColour(label, ink);
    return label;
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<SerialService> port, QWidget *parent)
    : QWidget(parent)
    , session_(std::move(port))
{
    setObjectName(QStringLiteral("Form1"));
    buildLayout();
    connectSession();
    runStartup();
}

MainWindow::~MainWindow()
{
    // The surface shows the session's trace image: it goes first.
    delete traceSurface_;
}

void MainWindow::buildLayout()
{
    setWindowTitle(Texts::WindowTitle);
    setWindowIcon(Artwork::windowIcon());
    resize(WindowLayout::ClientWidth / Twips::PerPixel, WindowLayout::ClientHeight / Twips::PerPixel);

    buildInstructions();
    buildPortPicker();
    buildTraceSurface();
    buildRateAndGainOptions();
    buildBaselineControls();
    buildSerialNumberBox();
    buildCommandButtons();
    buildPulseReadout();

    selectOptions();
    rateFrame_->tabToCheckedOption();
    gainFrame_->tabToCheckedOption();
    keepFocusOffDisplays();
    setFocusOrder();
}

void MainWindow::buildInstructions()
{
    instructionsLabel_ = makeCaption(this, "Label1", WindowLayout::Label1, Artwork::kaiFont(16, false),
                                     Qt::AlignLeft | Qt::AlignTop, WindowLayout::InstructionsInk);
    instructionsLabel_->setAutoFillBackground(true);
    QPalette pal = instructionsLabel_->palette();
    pal.setColor(QPalette::Window, WindowLayout::ControlFace);
    instructionsLabel_->setPalette(pal);
}

void MainWindow::buildPortPicker()
{
    portPromptLabel_ = makeCaption(this, "Label14", WindowLayout::Label14, Artwork::kaiFont(16, true),
                                   Qt::AlignLeft | Qt::AlignTop, WindowLayout::PortPromptInk);
    portPromptLabel_->setCaption(Texts::PortPrompt);

    portList_ = named(new PortComboBox(this), "Combo1");
    place(portList_, WindowLayout::Combo1);
    portList_->setFont(Artwork::songFont(WindowLayout::PortListPixels));
    setTextColour(portList_, WindowLayout::PortListInk);
}

void MainWindow::buildTraceSurface()
{
    // The surface paints the session's trace image, by reference.
    traceSurface_ = named(new SweepSurface(session_.acquisition().canvas().image(), this), "Picture1");
    place(traceSurface_, WindowLayout::Picture1);
}

void MainWindow::buildRateAndGainOptions()
{
    namespace L = WindowLayout;
    rateFrame_ = named(new GroupFrame(Texts::RateFrame, this), "Frame1");
    place(rateFrame_, L::Frame1);
    for (size_t i = 0; i < L::RateOptions.size(); ++i)
        rateOptions_[i] = makeOption(rateFrame_, L::RateOptions[i]);

    gainFrame_ = named(new GroupFrame(Texts::GainFrame, this), "Frame2");
    place(gainFrame_, L::Frame2);
    for (size_t i = 0; i < L::GainOptions.size(); ++i)
        gainOptions_[i] = makeOption(gainFrame_, L::GainOptions[i]);
}

void MainWindow::buildBaselineControls()
{
    namespace L = WindowLayout;
    auto *frame = named(new GroupFrame(Texts::BaselineFrame, this), "Frame3");
    place(frame, L::Frame3);
    baselineLabel_ =
        makeCaption(frame, "Label7", L::Label7, Artwork::sansFont(13, true), Qt::AlignCenter, L::BaselineInk);

    const auto triangleButton = [frame](const char *name, bool up, const L::Box &box) {
        auto *b = named(new FlatButton(frame), name);
        place(b, box);
        b->setIcon(Artwork::triangleIcon(up));
        b->setIconSize(QSize(32, 32));
        QPalette pal = b->palette();
        pal.setColor(QPalette::Button, L::ControlFace);
        b->setPalette(pal);
        return b;
    };
    baselineUpButton_ = triangleButton("Command2", true, L::Command2);
    baselineDownButton_ = triangleButton("Command3", false, L::Command3);
}

void MainWindow::buildSerialNumberBox()
{
    auto *frame = named(new GroupFrame(Texts::SerialFrame, this), "Frame4");
    place(frame, WindowLayout::Frame4);
    serialNumberBox_ = named(new QLineEdit(frame), "Text1");
    place(serialNumberBox_, WindowLayout::Text1);
}

void MainWindow::buildPulseReadout()
{
    // Below the serial number, a display only.
    pulseReadout_ = named(new PulseReadout(this), "PulseReadout");
    place(pulseReadout_, WindowLayout::PulseReadout);
}

void MainWindow::buildCommandButtons()
{
    const auto pushButton = [this](const char *name, const QString &caption, const WindowLayout::Box &box) {
        auto *b = named(new QPushButton(caption, this), name);
        place(b, box);
        b->setFont(Artwork::kaiFont(WindowLayout::ButtonFacePixels, true));
        return b;
    };
    startButton_ = pushButton("Command1", Texts::Start, WindowLayout::Command1);
    stopButton_ = pushButton("Command5", Texts::Stop, WindowLayout::Command5);
    exitButton_ = pushButton("Command4", Texts::Exit, WindowLayout::Command4);
}

void MainWindow::selectOptions()
{
    // Selecting an option here sends nothing: only clicks reach the session.
    rateOptions_[size_t(session_.rateOption())]->setChecked(true);
    gainOptions_[size_t(session_.gainOption())]->setChecked(true);
}

void MainWindow::keepFocusOffDisplays()
{
    // Labels, frames and the surface never take the focus.
    for (QWidget *w : findChildren<CaptionLabel *>())
        w->setFocusPolicy(Qt::NoFocus);
    for (QWidget *w : findChildren<GroupFrame *>())
        w->setFocusPolicy(Qt::NoFocus);
    traceSurface_->setFocusPolicy(Qt::NoFocus);
}

void MainWindow::setFocusOrder()
{
    // The focus order of the layout; Stop comes first and has the focus.
    QList<QWidget *> order {stopButton_, exitButton_, baselineDownButton_, baselineUpButton_};
    order.append(QList<QWidget *>(rateOptions_.begin(), rateOptions_.end()));
    const auto serialNumberAt = gainOptions_.begin() + WindowLayout::GainOptionsBeforeText1;
    order.append(QList<QWidget *>(gainOptions_.begin(), serialNumberAt));
    order << serialNumberBox_ << portList_;
    order.append(QList<QWidget *>(serialNumberAt, gainOptions_.end()));
    order << startButton_;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    stopButton_->setFocus();
}

void MainWindow::connectSession()
{
    SensorSession *s = &session_;
    // The list closes and the window repaints before the pauses begin.
    connect(portList_, &QComboBox::activated, this,
            [s](int index) { DeferredCall::runOnceShown([s, index] { s->selectPort(index); }); });
    for (size_t i = 0; i < rateOptions_.size(); ++i)
        connect(rateOptions_[i], &QRadioButton::clicked, s, [s, i] { s->setRate(int(i)); });
    for (size_t i = 0; i < gainOptions_.size(); ++i)
        connect(gainOptions_[i], &QRadioButton::clicked, s, [s, i] { s->setGain(int(i)); });
    connect(baselineUpButton_, &QPushButton::clicked, s, &SensorSession::baselineUp);
    connect(baselineDownButton_, &QPushButton::clicked, s, &SensorSession::baselineDown);
    connect(startButton_, &QPushButton::clicked, s, &SensorSession::start);
    connect(stopButton_, &QPushButton::clicked, s, &SensorSession::stop);
    connect(exitButton_, &QPushButton::clicked, this, &MainWindow::exitProgram);
    serialNumberBox_->installEventFilter(this);
    // The operator's markers: neither moves the focus nor reaches a control.
    connect(traceSurface_, &SweepSurface::clicked, s, &SensorSession::addMarker);
    auto *markerKey = new QShortcut(QKeySequence(Qt::Key_F2), this);
    markerKey->setAutoRepeat(false);
    connect(markerKey, &QShortcut::activated, s, &SensorSession::addMarker);

    connect(s, &SensorSession::notice, this, &MainWindow::showWarning);
    // The warning that the port was lost is out of date once it is back.
    connect(s, &SensorSession::reconnected, this, [this] {
        if (portLostBox_)
            portLostBox_->reject();
    });
    connect(s, &SensorSession::parametersChanged, this, &MainWindow::showParameters);
    connect(s, &SensorSession::serialNumberChanged, serialNumberBox_, &QLineEdit::setText);
    connect(s, &SensorSession::traceChanged, traceSurface_, &SweepSurface::traceChanged);
    connect(s, &SensorSession::pulseRead, pulseReadout_, &PulseReadout::show);
    // Clicks that arrive during the pauses wait; the cursor says why.
    connect(s, &SensorSession::busyChanged, this, [this](bool busy) {
        if (busy)
            busyCursor_.emplace();
        else
            busyCursor_.reset();
    });
}

void MainWindow::runStartup()
{
    // The port defaults live in the serial line; the port stays closed.
    instructionsLabel_->setCaption(Texts::instructions());
    baselineLabel_->setCaption(QString::number(session_.baselineLevel()));
    centreOnScreen();
}

void MainWindow::showParameters()
{
    selectOptions();
    baselineLabel_->setCaption(QString::number(session_.baselineLevel()));
}

void MainWindow::centreOnScreen()
{
    // The frame is centred, title bar included, once a window manager has
    // framed the window; until then the frame is the client area.
    const QScreen *s = screen();
    if (!s)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
}

void MainWindow::moveEvent(QMoveEvent *moved)
{
    // The frame's size is known only once the window manager has put it
    // round the shown window: centre again then, once.
    if (!framed_ && frameGeometry().size() != size()) {
        framed_ = true;
        centreOnScreen();
    }
    QWidget::moveEvent(moved);
}

void MainWindow::followScreen()
{
    // The trace is kept in the screen's own pixels, so it stays sharp.
    session_.setDevicePixelRatio(devicePixelRatioF());
    traceSurface_->update();
}

bool MainWindow::event(QEvent *e)
{
    const bool handled = QWidget::event(e);
    switch (e->type()) {
    case QEvent::Show:
        // The native window exists from the first show on.
        if (!followingScreen_ && windowHandle()) {
            followingScreen_ = true;
            connect(windowHandle(), &QWindow::screenChanged, this, &MainWindow::followScreen);
        }
        followScreen();
        break;
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    case QEvent::DevicePixelRatioChange:
        followScreen();
        break;
#endif
    default:
        break;
    }
    return handled;
}

void MainWindow::exitProgram()
{
    session_.closePort();
    endProgram();
}

void MainWindow::endProgram()
{
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent *closing)
{
    // The close button does what Exit does.
    exitProgram();
    closing->accept();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *e)
{
    // Text1 asks for the serial number when clicked: a release inside it.
    if (watched == serialNumberBox_ && e->type() == QEvent::MouseButtonRelease) {
        const auto *me = static_cast<QMouseEvent *>(e);
        if (me->button() == Qt::LeftButton && serialNumberBox_->rect().contains(me->position().toPoint()))
            session_.querySerialNumber();
    }
    return QWidget::eventFilter(watched, e);
}

void MainWindow::showWarning(const SessionNotice &notice)
{
    QMessageBox box(QMessageBox::Warning, Texts::WarningTitle, CaptionLabel::displayed(Texts::notice(notice)),
                    QMessageBox::Ok, this);
    // The box's own event loop runs the session's watch for the lost port;
    // when that brings the port back, reconnected() closes this box from
    // inside exec().
    if (notice.kind == SessionNotice::Kind::PortLost)
        portLostBox_ = &box;
    box.exec();
}
