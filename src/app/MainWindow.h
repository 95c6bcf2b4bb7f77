#pragma once

#include "BusyCursor.h"
#include "SensorSession.h"
#include "link/SensorCommands.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class CaptionLabel;
class PortComboBox;
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
    // A modal warning box; tests record the text instead.
    virtual void showWarning(const QString &text);
    // Ends the program; tests only note it.
    virtual void endProgram();

    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *closing) override;
    void moveEvent(QMoveEvent *moved) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void buildLayout();
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
    bool nextBoxIsPortLost_ = false;
    QPointer<QMessageBox> portLostBox_; // on screen while the port is lost

    CaptionLabel *label1_ = nullptr;
    CaptionLabel *label14_ = nullptr;
    PortComboBox *combo1_ = nullptr;
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
