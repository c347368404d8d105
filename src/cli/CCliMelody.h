#pragma once

#include <QString>

class CCliArguments;
class CCliDevice;
class CMelody;

// The melody commands of torv-cli: the custom melodies stored in the ESC,
// the check of a melody file, and writing one into the ESC's melody cells
// as the window's melody dialog loads it, read back afterwards.
class CCliMelody {
public:
    // device: the connected ESC; none for check, which needs no device.
    CCliMelody(const CCliArguments& arguments, CCliDevice* device);

    int Show();
    int Check();
    int Write();

private:
    // The operand's file, parsed; an exit status with the error printed
    // when it cannot be read or does not parse.
    int ReadFile(CMelody& melody);
    // Refuses an ESC whose library entry offers no custom melodies.
    int CheckCapability();

    const CCliArguments& m_args;
    CCliDevice* m_device;
};
