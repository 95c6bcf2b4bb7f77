#pragma once

#include "BusyCursor.h"
#include "link/SensorCommands.h"
#include "session/SensorSession.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class CaptionLabel;
class GroupFrame;
class PortComboBox;
class PulseReadout;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QRadioButton;
class SerialService;
class SweepSurface;

// The one window: builds the layout, runs the start-up sequence, hands the
// operator's clicks to the session and shows what the session reports.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(std::unique_ptr<SerialService> port, QWidget *parent = nullptr);
    ~MainWindow() override;

    // For tests and the benchmark.
    SensorSession &session() { return session_; }

protected:
    // A modal warning box that says what the notice means; tests record the
    // text instead.
    virtual void showWarning(const SessionNotice &notice);
    // Ends the program; tests only note it.
    virtual void endProgram();

    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *closing) override;
    void moveEvent(QMoveEvent *moved) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void buildLayout();
    void buildInstructions();
    void buildPortPicker();
    void buildTraceSurface();
    void buildRateAndGainOptions();
    void buildBaselineControls();
    void buildSerialNumberBox();
    void buildCommandButtons();
    void buildPulseReadout();
    void selectOptions();
    void keepFocusOffDisplays();
    void setFocusOrder();
    void connectSession();
    void runStartup();
    void centreOnScreen();
    void showParameters();
    void followScreen();
    void exitProgram();

    SensorSession session_;
    bool framed_ = false; // centred again once the window manager framed it
    bool followingScreen_ = false;
    std::optional<BusyCursor> busyCursor_; // during the session's pauses
    QPointer<QMessageBox> portLostBox_;    // the box that says so, while it is open

    // The controls, by what they do; their object names are the layout's.
    CaptionLabel *instructionsLabel_ = nullptr;                                 // Label1
    CaptionLabel *portPromptLabel_ = nullptr;                                   // Label14
    PortComboBox *portList_ = nullptr;                                          // Combo1
    SweepSurface *traceSurface_ = nullptr;                                      // Picture1
    GroupFrame *rateFrame_ = nullptr;                                           // Frame1
    std::array<QRadioButton *, SensorCommands::RatesHz.size()> rateOptions_ {}; // Option1-5
    GroupFrame *gainFrame_ = nullptr;                                           // Frame2
    std::array<QRadioButton *, SensorCommands::GainSteps> gainOptions_ {};      // Option6-15
    CaptionLabel *baselineLabel_ = nullptr;                                     // Label7
    QPushButton *baselineUpButton_ = nullptr;                                   // Command2
    QPushButton *baselineDownButton_ = nullptr;                                 // Command3
    QLineEdit *serialNumberBox_ = nullptr;                                      // Text1
    PulseReadout *pulseReadout_ = nullptr;                                      // PulseReadout
    QPushButton *startButton_ = nullptr;                                        // Command1
    QPushButton *stopButton_ = nullptr;                                         // Command5
    QPushButton *exitButton_ = nullptr;                                         // Command4
};
