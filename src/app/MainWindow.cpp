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
    delete picture1_;
}

void MainWindow::buildLayout()
{
    namespace L = WindowLayout;
    setWindowTitle(Texts::WindowTitle);
    setWindowIcon(Artwork::windowIcon());
    resize(L::ClientWidth / Twips::PerPixel, L::ClientHeight / Twips::PerPixel);

    label1_ = named(new CaptionLabel(this), "Label1");
    place(label1_, L::Label1);
    label1_->setFont(Artwork::kaiFont(16, false));
    label1_->setWordWrap(true);
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label1_->setAutoFillBackground(true);
    {
        QPalette pal = label1_->palette();
        pal.setColor(QPalette::Window, QColor(224, 224, 224));
        label1_->setPalette(pal);
    }
    setTextColour(label1_, QColor(192, 64, 0));

    label14_ = named(new CaptionLabel(this), "Label14");
    place(label14_, L::Label14);
    label14_->setFont(Artwork::kaiFont(16, true));
    label14_->setWordWrap(true);
    label14_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label14_, QColor(192, 0, 0));
    label14_->setCaption(Texts::PortPrompt);

    combo1_ = named(new PortComboBox(this), "Combo1");
    place(combo1_, L::Combo1);
    combo1_->setFont(Artwork::songFont(19));
    setTextColour(combo1_, QColor(0, 0, 0));

    picture1_ = named(new SweepSurface(session_.acquisition().canvas().image(), this), "Picture1");
    place(picture1_, L::Picture1);

    auto *frame1 = named(new GroupFrame(Texts::RateFrame, this), "Frame1");
    place(frame1, L::Frame1);
    for (size_t i = 0; i < L::RateOptions.size(); ++i)
        rateOptions_[i] = makeOption(frame1, L::RateOptions[i]);

    auto *frame2 = named(new GroupFrame(Texts::GainFrame, this), "Frame2");
    place(frame2, L::Frame2);
    for (size_t i = 0; i < L::GainOptions.size(); ++i)
        gainOptions_[i] = makeOption(frame2, L::GainOptions[i]);
    // The layout's selections; selecting them here sends nothing.
    rateOptions_[size_t(session_.rateOption())]->setChecked(true);
    gainOptions_[size_t(session_.gainOption())]->setChecked(true);
    frame1->tabToCheckedOption();
    frame2->tabToCheckedOption();

    auto *frame3 = named(new GroupFrame(Texts::BaselineFrame, this), "Frame3");
    place(frame3, L::Frame3);
    label7_ = named(new CaptionLabel(frame3), "Label7");
    place(label7_, L::Label7);
    label7_->setFont(Artwork::sansFont(13, true));
    label7_->setAlignment(Qt::AlignCenter);
    setTextColour(label7_, QColor(255, 0, 0));

    const auto pictureButton = [frame3](const char *name, bool up, const L::Box &box) {
        auto *b = named(new FlatButton(frame3), name);
        place(b, box);
        b->setIcon(Artwork::triangleIcon(up));
        b->setIconSize(QSize(32, 32));
        QPalette pal = b->palette();
        pal.setColor(QPalette::Button, QColor(224, 224, 224));
        b->setPalette(pal);
        return b;
    };
    command2_ = pictureButton("Command2", true, L::Command2);
    command3_ = pictureButton("Command3", false, L::Command3);

    auto *frame4 = named(new GroupFrame(Texts::SerialFrame, this), "Frame4");
    place(frame4, L::Frame4);
    text1_ = named(new QLineEdit(frame4), "Text1");
    place(text1_, L::Text1);

    const auto pushButton = [this](const char *name, const QString &caption, const L::Box &box) {
        auto *b = named(new QPushButton(caption, this), name);
        place(b, box);
        b->setFont(Artwork::kaiFont(19, true));
        return b;
    };
    command1_ = pushButton("Command1", Texts::Start, L::Command1);
    command5_ = pushButton("Command5", Texts::Stop, L::Command5);
    command4_ = pushButton("Command4", Texts::Exit, L::Command4);
    place(named(new PulseReadout(session_.pulseMeter(), this), "PulseReadout"), L::PulseReadout);

    // Labels, frames and the surface never take the focus.
    for (QWidget *w :
         std::initializer_list<QWidget *> {label1_, label14_, label7_, picture1_, frame1, frame2, frame3, frame4})
        w->setFocusPolicy(Qt::NoFocus);

    // The focus order of the layout; Stop comes first and has the focus.
    QList<QWidget *> order {command5_, command4_, command3_, command2_};
    order.append(QList<QWidget *>(rateOptions_.begin(), rateOptions_.end()));
    const auto text1At = gainOptions_.begin() + L::GainOptionsBeforeText1;
    order.append(QList<QWidget *>(gainOptions_.begin(), text1At));
    order << text1_ << combo1_;
    order.append(QList<QWidget *>(text1At, gainOptions_.end()));
    order << command1_;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    command5_->setFocus();
}

void MainWindow::connectSession()
{
    SensorSession *s = &session_;
    // The list closes and the window repaints before the pauses begin.
    connect(combo1_, &QComboBox::activated, this,
            [s](int index) { DeferredCall::runOnceShown([s, index] { s->selectPort(index); }); });
    for (size_t i = 0; i < rateOptions_.size(); ++i)
        connect(rateOptions_[i], &QRadioButton::clicked, s, [s, i] { s->setRate(int(i)); });
    for (size_t i = 0; i < gainOptions_.size(); ++i)
        connect(gainOptions_[i], &QRadioButton::clicked, s, [s, i] { s->setGain(int(i)); });
    connect(command2_, &QPushButton::clicked, s, &SensorSession::baselineUp);
    connect(command3_, &QPushButton::clicked, s, &SensorSession::baselineDown);
    connect(command1_, &QPushButton::clicked, s, &SensorSession::start);
    connect(command5_, &QPushButton::clicked, s, &SensorSession::stop);
    connect(command4_, &QPushButton::clicked, this, &MainWindow::exitProgram);
    text1_->installEventFilter(this);

    connect(s, &SensorSession::notice, this, [this](const SessionNotice &n) {
        nextBoxIsPortLost_ = n.kind == SessionNotice::Kind::PortLost;
        showWarning(Texts::notice(n));
    });
    // The warning that the port was lost is out of date once it is back.
    connect(s, &SensorSession::reconnected, this, [this] {
        if (portLostBox_)
            portLostBox_->reject();
    });
    connect(s, &SensorSession::parametersChanged, this, &MainWindow::showParameters);
    connect(s, &SensorSession::serialNumberChanged, text1_, &QLineEdit::setText);
    connect(s, &SensorSession::traceChanged, picture1_, &SweepSurface::traceChanged);
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
    label1_->setCaption(Texts::instructions());
    label7_->setCaption(QString::number(session_.baselineLevel()));
    centreOnScreen();
}

void MainWindow::showParameters()
{
    // Selecting an option here sends nothing: only clicks reach the session.
    rateOptions_[size_t(session_.rateOption())]->setChecked(true);
    gainOptions_[size_t(session_.gainOption())]->setChecked(true);
    label7_->setCaption(QString::number(session_.baselineLevel()));
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
    picture1_->update();
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
    if (watched == text1_ && e->type() == QEvent::MouseButtonRelease) {
        const auto *me = static_cast<QMouseEvent *>(e);
        if (me->button() == Qt::LeftButton && text1_->rect().contains(me->position().toPoint()))
            session_.querySerialNumber();
    }
    return QWidget::eventFilter(watched, e);
}

void MainWindow::showWarning(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, Texts::WarningTitle, CaptionLabel::displayed(text), QMessageBox::Ok, this);
    if (nextBoxIsPortLost_)
        portLostBox_ = &box;
    nextBoxIsPortLost_ = false;
    box.exec();
}
