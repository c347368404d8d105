#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <memory>

#include "cli/CCliArguments.h"
#include "cli/CConsolePrompt.h"
#include "library/CParameterFile.h"

class CCliDevice;
class CDeviceLibrary;
class QTextStream;

// Runs one command of torv-cli and gives its exit status (CliExit): finds the
// port and the library as the window does, connects, runs the command over the
// window's classes, and leaves the link whatever happened.
class CCliCommands {
public:
    explicit CCliCommands(const CCliArguments& arguments);
    ~CCliCommands();

    int Run();

private:
    int Ports();
    int Identify();
    int Show();
    int Get();
    int Set();
    int Backup();
    int Diff();
    int Restore();

    int RunOnDevice();
    // The first candidate that is not empty (none: empty).
    static QString FirstGiven(const QStringList& candidates);
    // No --port, TORV_PORT or Port setting: says how to name one and which
    // ports there are.
    int NoPortNamed(const QString& settingsPath);
    // Sends the ESC back to 19200 baud; a return it did not confirm is said
    // on stderr and turns a success into Differs.
    int LeaveDevice(int status);
    int Fail(int status, const QString& error);
    int ReadParameterFile(const QString& path, CParameterFile::Image& image);
    // Checks the file's type and revision cells against the device; an exit
    // status on failure or refusal, else Ok with mismatch set.
    int CheckIdentity(const CParameterFile::Image& image, bool& mismatch, QString& text);
    // The operand's file (read before connecting), checked against the device.
    struct FileCheck {
        CParameterFile::Image image{};
        bool mismatch = false;
        QString identity;   // "ESC type/revision: device -> file"
    };
    int ReadAndCheck(FileCheck& check);
    QJsonValue ParameterJson(const class IProperty& row) const;
    void Print(const QString& text) const;
    void PrintJson(const QJsonValue& value) const;
    // Progress and cancelling for the parameter file's cell loops.
    void WatchSteps(const QString& label);

    const CCliArguments& m_args;
    CConsolePrompt m_prompt;
    std::unique_ptr<CDeviceLibrary> m_library;
    std::unique_ptr<CCliDevice> m_device;
    std::unique_ptr<class CProgressBar> m_progress;
    CParameterFile::Image m_fileImage{};
};
