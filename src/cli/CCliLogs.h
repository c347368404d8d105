#pragma once

#include <QString>

#include "logger/CLogCsvReader.h"

#include <functional>
#include <memory>

#include "logger/CLoggerCommands.h"

class CCliArguments;
class CCliDevice;
class CDeviceLibrary;
class CLogDownload;
class CLoggerTransfer;
class CProgressBar;

// The logger commands of torv-cli: list, save, workbook, decode, plot,
// erase and write-image, over the logger classes the window's dialogs use. Every
// transfer ends on Ctrl+C (nothing is written then) and gives up when the
// ESC stops answering, so that a script is never left waiting.
class CCliLogs {
public:
    // device may be null for decode and plot, which need only the library.
    CCliLogs(const CCliArguments& arguments, CCliDevice* device, const CDeviceLibrary& library);
    ~CCliLogs();
    CCliLogs(const CCliLogs&) = delete;
    CCliLogs& operator=(const CCliLogs&) = delete;

    int List();
    int Save();
    int Workbook();
    int Decode();
    // Needs a QGuiApplication (an offscreen one serves).
    int Plot();
    int Erase();
    int WriteImage();

    // Requests answered with a time-out one after the other before a
    // transfer gives up, and the longest time without any step.
    static constexpr int kMaxFaultsInARow = 30;
    static constexpr int kStallLimitMs = 15000;

private:
    // Reads a log CSV file; an exit status, Ok when the log could be read.
    int ReadLogFile(const QString& path, QByteArray& text, CLogCsvReader::Log& log);
    enum class Ended { Completed, Interrupted, GaveUp };
    // Runs the started transfer to its end. done counts the steps taken,
    // faults the time-outs so far.
    Ended Wait(CLoggerTransfer& transfer, const std::function<uint32_t()>& done,
               const std::function<uint32_t()>& faults);
    // Downloads the logger memory into m_download; an exit status.
    int Download();
    int NeedLogger();
    // The download ended because the ESC stopped answering: says where and
    // what was kept; the Differs status.
    int CutShort(const QString& kept);
    // An existing log file holds the same log as the text about to be
    // written (the calibration line aside).
    static bool SameLog(const QByteArray& file, const QByteArray& text);
    // The downloaded logs named with --log (all without); Usage status when
    // one is not in the memory.
    int ChosenRows(std::vector<int>& rows);
    QString DeviceText() const;
    int Fail(int status, const QString& error);

    const CCliArguments& m_args;
    CCliDevice* m_device;
    const CDeviceLibrary& m_library;
    CLoggerCommands::DownloadPlan m_plan;
    std::unique_ptr<CLogDownload> m_download;
    std::unique_ptr<CProgressBar> m_progress;
    bool m_cutShort = false;   // the last download ended with the ESC silent
};
