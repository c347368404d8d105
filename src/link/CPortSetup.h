#pragma once

#include <QString>
#include <QStringList>

#include <array>

// What the port setup dialog shows and what it gives back, without widgets.
// The speed travels as one signed number: its absolute value is the link
// speed, a negative value means "Use default settings" (no speed upgrade).
class CPortSetup {
public:
    struct Settings {
        QString portName;
        int speed = 19200;
    };

    // The speeds offered, in the order the list shows them.
    static constexpr std::array<int, 13> kSpeeds = {
        1200, 2400, 4800, 9600, 19200, 38400, 56000,
        57600, 115200, 128000, 230400, 256000, 460800,
    };

    explicit CPortSetup(const Settings& initial);

    const Settings& Initial() const { return m_initial; }
    // The box "Use default settings" starts ticked for a negative speed.
    bool UseDefaultSettings() const { return m_initial.speed < 0; }
    // The speed shown: the absolute value of the given speed.
    int ShownSpeed() const;
    // Position of the shown speed in kSpeeds, -1 when it is not offered.
    int ShownSpeedIndex() const;

    // The settings confirmed with OK. portText is what the port entry holds
    // (leading and trailing blanks are dropped); speedIndex is the chosen
    // position in kSpeeds or -1. An empty port or no chosen speed keeps the
    // given value; the speed is negated when useDefault is set.
    Settings Confirm(const QString& portText, int speedIndex, bool useDefault) const;

    static int SpeedIndex(int speed);

    // The names of the serial ports the system offers: the stable name
    // under /dev/serial/by-id where a port has one, else the device path.
    static QStringList AvailablePorts();

private:
    Settings m_initial;
};
