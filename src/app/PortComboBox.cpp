#include "PortComboBox.h"

#include "Texts.h"
#include "link/PortDirectory.h"

#include <QSerialPortInfo>

PortComboBox::PortComboBox(QWidget *parent)
    : QComboBox(parent)
{
    for (int n = PortDirectory::FirstPort; n <= PortDirectory::LastPort; ++n)
        addItem(PortDirectory::portName(n));
    setEditable(true);
    // Typed text never becomes an entry: the list is always COM1..COM16.
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(PortDirectory::LastPort);
    refreshToolTips();
    setCurrentIndex(-1);
    setEditText(QString());
}

void PortComboBox::refreshToolTips()
{
    const QList<QSerialPortInfo> known = QSerialPortInfo::availablePorts();
    for (int i = 0; i < count(); ++i)
        setItemData(i, Texts::portToolTip(PortDirectory::describe(i + PortDirectory::FirstPort, known)),
                    Qt::ToolTipRole);
}

void PortComboBox::showPopup()
{
    refreshToolTips();
    QComboBox::showPopup();
}
