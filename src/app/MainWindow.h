#pragma once

#include "acquire/Acquisition.h"
#include "acquire/RecordWriter.h"
#include "link/SensorCommands.h"

#include <QWidget>
#include <array>
#include <memory>

class CaptionLabel;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SerialService;
class SweepSurface;

// The one window: builds the layout, runs the start-up sequence and routes
// the operator's clicks and the sensor's bytes to the pieces that act on them.
//
// Who takes received bytes: a serial-number query while one waits (the newest
// first), otherwise the acquisition once Start has been clicked, otherwise
// nobody, and they wait in the port until the next discard.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 10230;
    static constexpr int ClientHeight = 7155;

    explicit MainWindow(std::unique_ptr<SerialService> port, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Read-only views for tests and the benchmark.
    int portNumber() const { return portNumber_; }
    int baselineLevel() const { return baselineLevel_; }
    int fileNumber() const { return fileNumber_; }
    bool acquiring() const { return acquiring_; }
    int pendingSerialQueries() const { return pendingQueries_; }
    const Acquisition &acquisition() const { return acquisition_; }

    // The control handlers, as the operator's clicks reach them.
    void selectPort(int index);
    void start();
    void stop();
    void exitProgram();
    void setRate(int option);
    void setGain(int option);
    void baselineUp();
    void baselineDown();
    void querySerialNumber();

    // Handles every received byte that has a taker now.
    void drainInput();

protected:
    // A modal warning box; tests record the text instead.
    virtual void showWarning(const QString &text);
    // Ends the program; tests only note it.
    virtual void endProgram();

    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void runStartup();
    void centreOnScreen();
    bool requirePortOpen();
    bool sendSensorCommand(const QByteArray &command, const QByteArray &parameter);
    void changeBaseline(int step);
    void showSensorDefaults();
    void onReadyRead();
    void onPortFailed();
    void takeSamples();

    std::unique_ptr<SerialService> port_;
    Acquisition acquisition_;
    RecordWriter recordWriter_;

    // Form-level state.
    int portNumber_ = 1;
    int baselineLevel_ = 0;
    int fileNumber_ = 1;
    bool acquiring_ = false;
    int pendingQueries_ = 0;
    bool framed_ = false; // centred again once the window manager framed it

    CaptionLabel *label1_ = nullptr;
    CaptionLabel *label14_ = nullptr;
    QComboBox *combo1_ = nullptr;
    SweepSurface *picture1_ = nullptr;
    std::array<QRadioButton *, SensorCommands::RatesHz.size()> rateOptions_ {};
    std::array<QRadioButton *, SensorCommands::GainSteps> gainOptions_ {};
    CaptionLabel *label7_ = nullptr;
    QPushButton *command2_ = nullptr;
    QPushButton *command3_ = nullptr;
    QLineEdit *text1_ = nullptr;
    QPushButton *command1_ = nullptr;
    QPushButton *command5_ = nullptr;
    QPushButton *command4_ = nullptr;
};
