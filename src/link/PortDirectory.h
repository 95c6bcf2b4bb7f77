#pragma once

#include <QList>
#include <QSerialPortInfo>
#include <QString>

// Maps the operator's port numbers COM1..COM16 to devices of this system.
//
// On Unix a COMn entry (a symlink or a device node) in folder() wins, so a
// pseudo-terminal or any adapter can be attached without root; otherwise the
// fixed table below applies. On Windows COMn is the system's port of that name.
class PortDirectory
{
public:
    static constexpr int FirstPort = 1;
    static constexpr int LastPort = 16;

    static QString portName(int portNumber); // "COM3"
    // <runtime dir>/pulse-demo/ports; empty where the system has none.
    static QString folder();
    // The built-in device for a port number, ignoring the folder.
    static QString defaultDevice(int portNumber);
    // What opening COM<portNumber> opens: the folder's entry if present,
    // otherwise defaultDevice().
    static QString resolve(int portNumber);
    // The device the entry stands for, for the operator: a link's final target.
    static QString device(int portNumber);
    // What the operator may want to know of a port before picking it.
    struct Description
    {
        QString device;                                  // device()
        bool present = false;                            // there now, as far as the system can tell
        QString description, manufacturer, serialNumber; // from the system's port list
    };
    // device(), and what the system's port list (`known`) says of it.
    static Description describe(int portNumber, const QList<QSerialPortInfo> &known);
};
