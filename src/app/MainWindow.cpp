#include "MainWindow.h"

#include "Artwork.h"
#include "BusyCursor.h"
#include "CaptionLabel.h"
#include "DeferredCall.h"
#include "FlatButton.h"
#include "GroupFrame.h"
#include "SweepSurface.h"
#include "Texts.h"
#include "acquire/RecordWriter.h"
#include "acquire/Twips.h"
#include "link/PortDirectory.h"
#include "link/SensorCommands.h"
#include "link/SerialNumber.h"
#include "link/SerialService.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSerialPortInfo>
#include <algorithm>

namespace {

// Layout values are twips.
void place(QWidget *w, int left, int top, int width, int height)
{
    constexpr int k = Twips::PerPixel;
    w->setGeometry(left / k, top / k, width / k, height / k);
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    pal.setColor(QPalette::ButtonText, colour);
    w->setPalette(pal);
}

// The port list refreshes what each entry stands for whenever it opens, since
// links in the port folder come and go while the program runs.
class PortComboBox : public QComboBox
{
public:
    using QComboBox::QComboBox;

    void refreshToolTips()
    {
        const QList<QSerialPortInfo> known = QSerialPortInfo::availablePorts();
        for (int i = 0; i < count(); ++i)
            setItemData(i, PortDirectory::describe(i + PortDirectory::FirstPort, known), Qt::ToolTipRole);
    }

    void showPopup() override
    {
        refreshToolTips();
        QComboBox::showPopup();
    }
};

struct OptionLayout
{
    const char *name;
    const char *caption;
    int left, top, width, height;
};

constexpr std::array<OptionLayout, SensorCommands::RatesHz.size()> RateLayout {{
    {"Option1", "200Hz", 240, 360, 975, 300},
    {"Option2", "300Hz", 1200, 360, 975, 300},
    {"Option3", "400Hz", 2160, 360, 975, 300},
    {"Option4", "500hz", 3120, 360, 855, 255},
    {"Option5", "1000Hz", 4080, 360, 855, 255},
}};

constexpr std::array<OptionLayout, SensorCommands::GainSteps> GainLayout {{
    {"Option6", "1x", 120, 480, 495, 495},
    {"Option7", "2x", 720, 480, 495, 495},
    {"Option8", "3x", 1320, 480, 495, 495},
    {"Option9", "4x", 1920, 480, 495, 495},
    {"Option10", "5x", 2520, 480, 495, 495},
    {"Option11", "6x", 3120, 480, 495, 495},
    {"Option12", "7x", 3720, 480, 495, 495},
    {"Option13", "8x", 4320, 480, 495, 555},
    {"Option14", "9x", 4920, 480, 495, 495},
    {"Option15", "10x", 5520, 480, 615, 495},
}};

constexpr int InitialRateOption = 0; // "200Hz"
constexpr int InitialGainOption = 3; // "4x"

// The option shown as selected; one always is.
template <size_t N> int checkedOption(const std::array<QRadioButton *, N> &options)
{
    const auto it = std::find_if(options.begin(), options.end(), [](const QRadioButton *b) { return b->isChecked(); });
    return it == options.end() ? 0 : int(it - options.begin());
}

QRadioButton *makeOption(QWidget *frame, const OptionLayout &o)
{
    auto *b = new QRadioButton(QString::fromUtf8(o.caption), frame);
    b->setObjectName(QString::fromLatin1(o.name));
    place(b, o.left, o.top, o.width, o.height);
    return b;
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<SerialService> port, QWidget *parent)
    : QWidget(parent)
    , port_(std::move(port))
{
    setObjectName(QStringLiteral("Form1"));
    connect(port_.get(), &SerialService::readyRead, this, &MainWindow::onReadyRead);
    // Queued: the warning box must not open inside the serial code that noticed.
    connect(port_.get(), &SerialService::failed, this, &MainWindow::onPortFailed, Qt::QueuedConnection);

    buildLayout();
    runStartup();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildLayout()
{
    setWindowTitle(Texts::WindowTitle);
    setWindowIcon(Artwork::windowIcon());
    // Nothing moves or scales with the window: no layouts, fixed geometry.
    resize(ClientWidth / Twips::PerPixel, ClientHeight / Twips::PerPixel);

    label1_ = new CaptionLabel(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    place(label1_, 120, 120, 8055, 1695);
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

    label14_ = new CaptionLabel(this);
    label14_->setObjectName(QStringLiteral("Label14"));
    place(label14_, 8280, 240, 1695, 735);
    label14_->setFont(Artwork::kaiFont(16, true));
    label14_->setWordWrap(true);
    label14_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label14_, QColor(192, 0, 0));
    label14_->setCaption(Texts::PortPrompt);

    auto *combo = new PortComboBox(this);
    combo1_ = combo;
    combo1_->setObjectName(QStringLiteral("Combo1"));
    place(combo1_, 8280, 1320, 1695, 405);
    combo1_->setFont(Artwork::songFont(19));
    combo1_->setEditable(true);
    // Typed text never becomes an entry: the list is always COM1..COM16.
    combo1_->setInsertPolicy(QComboBox::NoInsert);
    combo1_->setMaxVisibleItems(PortDirectory::LastPort);
    setTextColour(combo1_, QColor(0, 0, 0));
    // The list closes and the window repaints before the pauses begin.
    connect(combo1_, &QComboBox::activated, this,
            [this](int index) { DeferredCall::runOnceShown([this, index] { selectPort(index); }); });

    picture1_ = new SweepSurface(acquisition_.canvas().image(), this);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    place(picture1_, 120, 2040, TraceCanvas::SurfaceWidth, TraceCanvas::SurfaceHeight);

    auto *frame1 = new GroupFrame(Texts::RateFrame, this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    place(frame1, 120, 5040, 6255, 735);
    for (size_t i = 0; i < RateLayout.size(); ++i) {
        rateOptions_[i] = makeOption(frame1, RateLayout[i]);
        connect(rateOptions_[i], &QRadioButton::clicked, this, [this, i] { setRate(int(i)); });
    }

    auto *frame2 = new GroupFrame(Texts::GainFrame, this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    place(frame2, 120, 5880, 6255, 1095);
    for (size_t i = 0; i < GainLayout.size(); ++i) {
        gainOptions_[i] = makeOption(frame2, GainLayout[i]);
        connect(gainOptions_[i], &QRadioButton::clicked, this, [this, i] { setGain(int(i)); });
    }
    // Part of the layout: selecting them here sends nothing.
    rateOptions_[InitialRateOption]->setChecked(true);
    gainOptions_[InitialGainOption]->setChecked(true);
    frame1->tabToCheckedOption();
    frame2->tabToCheckedOption();

    auto *frame3 = new GroupFrame(Texts::BaselineFrame, this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    place(frame3, 6600, 5040, 855, 1935);
    label7_ = new CaptionLabel(frame3);
    label7_->setObjectName(QStringLiteral("Label7"));
    place(label7_, 240, 240, 375, 255);
    label7_->setFont(Artwork::sansFont(13, true));
    label7_->setAlignment(Qt::AlignCenter);
    setTextColour(label7_, QColor(255, 0, 0));

    const auto pictureButton = [frame3](const char *name, bool up, int top) {
        auto *b = new FlatButton(frame3);
        b->setObjectName(QString::fromLatin1(name));
        place(b, 120, top, 615, 615);
        b->setIcon(Artwork::triangleIcon(up));
        b->setIconSize(QSize(32, 32));
        QPalette pal = b->palette();
        pal.setColor(QPalette::Button, QColor(224, 224, 224));
        b->setPalette(pal);
        return b;
    };
    command2_ = pictureButton("Command2", true, 600);
    command3_ = pictureButton("Command3", false, 1200);
    connect(command2_, &QPushButton::clicked, this, &MainWindow::baselineUp);
    connect(command3_, &QPushButton::clicked, this, &MainWindow::baselineDown);

    auto *frame4 = new GroupFrame(Texts::SerialFrame, this);
    frame4->setObjectName(QStringLiteral("Frame4"));
    place(frame4, 7680, 5160, 2295, 735);
    text1_ = new QLineEdit(frame4);
    text1_->setObjectName(QStringLiteral("Text1"));
    place(text1_, 120, 240, 2055, 375);
    text1_->installEventFilter(this);

    const auto pushButton = [this](const char *name, const QString &caption, int left) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        place(b, left, 6360, 855, 495);
        b->setFont(Artwork::kaiFont(19, true));
        return b;
    };
    command1_ = pushButton("Command1", Texts::Start, 7560);
    command5_ = pushButton("Command5", Texts::Stop, 8400);
    command4_ = pushButton("Command4", Texts::Exit, 9240);
    connect(command1_, &QPushButton::clicked, this, &MainWindow::start);
    connect(command5_, &QPushButton::clicked, this, &MainWindow::stop);
    connect(command4_, &QPushButton::clicked, this, &MainWindow::exitProgram);

    // Labels, frames and the surface never take the focus.
    for (QWidget *w :
         std::initializer_list<QWidget *> {label1_, label14_, label7_, picture1_, frame1, frame2, frame3, frame4})
        w->setFocusPolicy(Qt::NoFocus);

    // The focus order of the layout; Stop comes first and has the focus.
    QList<QWidget *> order {command5_, command4_, command3_, command2_};
    order.append(QList<QWidget *>(rateOptions_.begin(), rateOptions_.end()));
    for (int i = 0; i < 7; ++i)
        order << gainOptions_[size_t(i)];
    order << text1_ << combo1_ << gainOptions_[7] << gainOptions_[8] << gainOptions_[9] << command1_;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    command5_->setFocus();
}

void MainWindow::runStartup()
{
    fileNumber_ = 1;
    portNumber_ = 1;
    for (int n = PortDirectory::FirstPort; n <= PortDirectory::LastPort; ++n)
        combo1_->addItem(PortDirectory::portName(n));
    static_cast<PortComboBox *>(combo1_)->refreshToolTips();
    combo1_->setCurrentIndex(-1);
    combo1_->setEditText(QString());
    // The port defaults live in the serial service; the port stays closed.
    label1_->setCaption(Texts::instructions());
    baselineLevel_ = 0;
    label7_->setCaption(QString::number(baselineLevel_));

    centreOnScreen();
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

void MainWindow::moveEvent(QMoveEvent *event)
{
    // The frame's size is known only once the window manager has put it
    // round the shown window: centre again then, once.
    if (!framed_ && frameGeometry().size() != size()) {
        framed_ = true;
        centreOnScreen();
    }
    QWidget::moveEvent(event);
}

bool MainWindow::requirePortOpen()
{
    if (port_->isOpen())
        return true;
    showWarning(Texts::PortNotOpen);
    return false;
}

void MainWindow::selectPort(int index)
{
    if (port_->isOpen())
        port_->close();
    if (index >= 0 && index < PortDirectory::LastPort)
        portNumber_ = index + PortDirectory::FirstPort;

    QString why;
    bool ok = false;
    {
        const BusyCursor busy;
        ok = port_->open(portNumber_, &why);
        for (const QByteArray &command : SensorCommands::portInitialisation()) {
            if (!ok)
                break;
            port_->pause(SerialService::Pause::PortInit);
            ok = port_->write(command);
        }
    }
    if (!ok) {
        showWarning(why.isEmpty() ? Texts::PortSelectionError : Texts::PortSelectionError + Texts::ReasonLine.arg(why));
        return;
    }
    showSensorDefaults();
}

void MainWindow::showSensorDefaults()
{
    // The sensor is now at 1x, baseline 0 and 200 Hz: show that, not what the
    // controls showed before.
    rateOptions_[0]->setChecked(true);
    gainOptions_[0]->setChecked(true);
    baselineLevel_ = 0;
    label7_->setCaption(QString::number(baselineLevel_));
}

void MainWindow::start()
{
    if (!requirePortOpen())
        return;
    // The newest Start takes the bytes from now on; a serial-number query still
    // waiting never completes.
    pendingQueries_ = 0;
    acquisition_.startRun();
    acquiring_ = true;
    port_->write(SensorCommands::StartStream);
    // Bytes already waiting become the first samples.
    drainInput();
}

void MainWindow::stop()
{
    const bool sent = port_->isOpen() && port_->write(SensorCommands::StopStream);
    // The buffer may hold a recording made before the sensor went away, so it
    // is saved even when the stop command could not be sent. The index line
    // says what the window showed at this moment.
    RecordIndex::Entry facts;
    facts.rateHz = SensorCommands::RatesHz[size_t(checkedOption(rateOptions_))];
    facts.gain = checkedOption(gainOptions_) + 1;
    facts.baseline = baselineLevel_;
    facts.port = PortDirectory::portName(portNumber_);
    facts.device = PortDirectory::device(portNumber_);
    const QString name = RecordWriter::fileName(fileNumber_);
    const RecordWriter::Saved saved = recordWriter_.save(QDir::currentPath(), fileNumber_, acquisition_.sweep(), facts);
    if (!saved.record) {
        showWarning(Texts::RecordNotSaved.arg(name, saved.reason));
        return;
    }
    ++fileNumber_;
    if (!saved.indexLine)
        showWarning(Texts::IndexLineMissing.arg(name, RecordIndex::FileName, saved.reason));
    if (!sent)
        showWarning(Texts::StopWithoutPort.arg(name));
}

void MainWindow::exitProgram()
{
    if (port_->isOpen())
        port_->close();
    endProgram();
}

void MainWindow::endProgram()
{
    QCoreApplication::exit(0);
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::ScreenChangeInternal:
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    case QEvent::DevicePixelRatioChange:
#endif
        // The trace is kept in the screen's own pixels, so it stays sharp.
        acquisition_.setDevicePixelRatio(devicePixelRatioF());
        if (picture1_)
            picture1_->update();
        break;
    default:
        break;
    }
    return handled;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close button does what Exit does.
    exitProgram();
    event->accept();
}

bool MainWindow::sendSensorCommand(const QByteArray &command, const QByteArray &parameter)
{
    if (!requirePortOpen())
        return false;
    // Stop, change, restart. A write that fails has closed the port and
    // reported it, so the sequence just ends there.
    const BusyCursor busy;
    if (!port_->write(SensorCommands::StopStream))
        return false;
    port_->pause(SerialService::Pause::Busy);
    if (!port_->write(command) || !port_->write(parameter))
        return false;
    port_->pause(SerialService::Pause::Busy);
    if (!port_->write(SensorCommands::StartStream))
        return false;
    port_->discardInput();
    port_->discardOutput();
    return true;
}

void MainWindow::setRate(int option)
{
    sendSensorCommand(SensorCommands::SetRate, SensorCommands::parameter(option));
}

void MainWindow::setGain(int option)
{
    sendSensorCommand(SensorCommands::SetGain, SensorCommands::parameter(option));
}

void MainWindow::changeBaseline(int step)
{
    if (!requirePortOpen())
        return;
    constexpr int levels = SensorCommands::BaselineLevels;
    const int level = (baselineLevel_ + step + levels) % levels;
    // The level shown is the sensor's: it changes only once the command is out.
    if (!sendSensorCommand(SensorCommands::SetBaseline, SensorCommands::parameter(level)))
        return;
    baselineLevel_ = level;
    label7_->setCaption(QString::number(baselineLevel_));
}

void MainWindow::baselineUp()
{
    changeBaseline(+1);
}

void MainWindow::baselineDown()
{
    changeBaseline(-1);
}

void MainWindow::querySerialNumber()
{
    if (!requirePortOpen())
        return;
    port_->discardInput();
    if (!port_->write(SensorCommands::SerialNumber))
        return;
    text1_->clear();
    ++pendingQueries_;
    drainInput();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == text1_ && event->type() == QEvent::MouseButtonRelease) {
        const auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && text1_->rect().contains(me->position().toPoint()))
            querySerialNumber();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::onReadyRead()
{
    drainInput();
}

void MainWindow::drainInput()
{
    // The newest query is served first; an older one then needs six more.
    while (pendingQueries_ > 0) {
        if (port_->bytesAvailable() < SerialNumber::ReplyLength)
            return;
        const QByteArray reply = port_->read(SerialNumber::ReplyLength);
        text1_->setText(text1_->text() + SerialNumber::digitsText(reply));
        --pendingQueries_;
    }
    if (acquiring_)
        takeSamples();
}

void MainWindow::takeSamples()
{
    // Everything waiting is one batch, and the surface repaints once for it.
    std::array<char, 4096> chunk;
    while (port_->bytesAvailable() > 0) {
        const qint64 n = port_->read(chunk.data(), qint64(chunk.size()));
        if (n <= 0)
            break;
        acquisition_.take({reinterpret_cast<const std::uint8_t *>(chunk.data()), size_t(n)});
    }
    picture1_->traceChanged(acquisition_.finishBatch());
}

void MainWindow::onPortFailed()
{
    showWarning(Texts::PortLost);
}

void MainWindow::showWarning(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, Texts::WarningTitle, CaptionLabel::displayed(text), QMessageBox::Ok, this);
    box.exec();
}
