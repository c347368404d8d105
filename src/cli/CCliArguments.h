#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

// The command line of torv-cli: common options anywhere, then the command and
// its operands.
//   torv-cli [--port PATH] [--library FILE] [--max-speed BAUD] [--json] [-v]
//            [-q] [--force] [--yes] COMMAND [OPERANDS] [COMMAND OPTIONS]
// The logger and firmware commands are two words ("logs list", "firmware
// list"); Command() gives both, separated by one blank.
class CCliArguments {
public:
    // Parses the arguments after the program name. False on wrong usage;
    // Error() then says why.
    bool Parse(const QStringList& arguments);

    QString Command() const { return m_command; }
    const QStringList& Operands() const { return m_operands; }
    QString Port() const { return m_port; }          // empty: TORV_PORT, else the Port setting
    QString Library() const { return m_library; }    // empty: TORV_LIBRARY, else the ESCFile setting
    int MaxSpeed() const { return m_maxSpeed; }      // 0: no bound
    bool Json() const { return m_json; }
    bool Verbose() const { return m_verbose; }
    bool Force() const { return m_force; }
    bool Yes() const { return m_yes; }
    // Writing commands keep no backup of the ESC's settings first.
    bool NoBackup() const { return m_noBackup; }
    // logs save, logs workbook: the log numbers named with --log (empty:
    // every log).
    const std::vector<int>& Logs() const { return m_logs; }
    // logs decode: the file named with -o (empty: standard output); logs
    // plot: the image file (always given).
    QString Output() const { return m_output; }
    // logs plot: the image size of --size.
    QSize Size() const { return m_size; }
    static constexpr int kMinPlotSide = 100;
    static constexpr int kMaxPlotSide = 8192;
    // library update: the URL of --url (empty: TORV_UPDATE_URL or the
    // maker's server).
    QString Url() const { return m_url; }
    // library update: only say whether a newer library exists.
    bool Check() const { return m_check; }
    // Nothing but errors and the data asked for.
    bool Quiet() const { return m_quiet; }
    // logs erase: block by block.
    bool Blocks() const { return m_blocks; }
    // flash: the boot loader recovery path and the identity it is given.
    bool Bootloader() const { return m_bootloader; }
    int DevId() const { return m_devId; }
    int HwVer() const { return m_hwVer; }
    // monitor: how long to stream (0: until Ctrl+C), and CSV lines.
    int Seconds() const { return m_seconds; }
    static constexpr int kMaxSeconds = 86400;
    bool Csv() const { return m_csv; }
    bool Help() const { return m_help; }
    bool Version() const { return m_version; }
    QString Error() const { return m_error; }

    // The file to read for a FILE operand: "-" is standard input.
    static QString InputPath(const QString& operand);
    // Whether an output operand means standard output ("-").
    static bool IsStandardStream(const QString& operand) { return operand == QLatin1String("-"); }

    // Whether the command talks to a device.
    bool NeedsDevice() const;

    // The program's help, or the command's when one is named.
    static QString HelpText(const QString& command = QString());

private:
    bool Fail(const QString& error);
    bool TakeValue(const QStringList& arguments, int& i, const QString& option, QString& value);
    bool TakeNumber(const QStringList& arguments, int& i, const QString& option, int limit, int& value);
    // The command options given to a command that does not take them.
    bool CheckCommandOptions();

    QString m_command;
    QStringList m_operands;
    QString m_port;
    QString m_library;
    int m_maxSpeed = 0;
    bool m_json = false;
    bool m_verbose = false;
    bool m_force = false;
    bool m_yes = false;
    bool m_noBackup = false;
    std::vector<int> m_logs;
    QString m_output;
    QSize m_size{1200, 700};
    QString m_url;
    bool m_blocks = false;
    bool m_bootloader = false;
    int m_devId = -1;
    int m_hwVer = -1;
    int m_seconds = 0;
    bool m_csv = false;
    bool m_check = false;
    bool m_quiet = false;
    QStringList m_commandOptions;   // the command options given, for the check
    bool m_help = false;
    bool m_version = false;
    QString m_error;
};
