#pragma once

#include <QComboBox>

// The port list, COM1..COM16. Each entry's tooltip says what the port stands
// for; it is refreshed whenever the list opens, since links in the port
// folder come and go while the program runs.
class PortComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit PortComboBox(QWidget *parent = nullptr);

    void refreshToolTips();
    void showPopup() override;
};
