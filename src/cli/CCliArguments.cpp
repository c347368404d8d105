#include "cli/CCliArguments.h"

#include "link/CPortSetup.h"

#include <algorithm>
#include <array>

namespace {

struct CommandInfo {
    const char* name;
    int operands;        // -1: any number (help); otherwise at least minOperands, at most operands
    int minOperands;
    bool device;
    const char* usage;
    const char* description;
};

const CommandInfo kCommands[] = {
    {"ports", 0, 0, false, "ports", "Lists the serial ports the machine offers."},
    {"identify", 0, 0, true, "identify",
     "Shows the connected ESC: name, identity bytes (cells 64, 65, 66, 70), firmware version,\n"
     "capabilities and logger size."},
    {"show", 0, 0, true, "show",
     "Shows every parameter with its value, under its category.\n"
     "With --json: a list of objects with name, category, value (as shown), raw and cells."},
    {"get", 1, 1, true, "get NAME",
     "Shows one parameter. NAME is matched without regard to case; a unique beginning is enough."},
    {"set", 2, 2, true, "set NAME VALUE",
     "Writes one parameter and shows the value the ESC reports afterwards. VALUE is given as the\n"
     "window's editor takes it: the text of a list entry, on/off (or 1/0) for a check, a number in\n"
     "shown units for a range, an integer for a plain number. A value outside the parameter's\n"
     "limits is refused and nothing is written."},
    {"backup", 1, 1, true, "backup FILE.escp",
     "Saves the first 128 cells of the ESC to a parameter file (replaced only when complete)."},
    {"diff", 1, 1, true, "diff FILE.escp",
     "Lists everything that would change if the file were restored, as \"name: device value ->\n"
     "file value\": every parameter, then every curve point (\"Throttle curve point 2 (cell 33)\")\n"
     "and every other written cell (\"cell 31\"); a type or revision mismatch comes first.\n"
     "Exit status 0 when nothing differs, 1 when something does."},
    {"restore", 1, 1, true, "restore FILE.escp",
     "Loads a parameter file into the ESC: lists what will change (as diff does), writes cells 0\n"
     "to 63, connects again and checks that every written setting reads back as in the file. The\n"
     "file is read before anything is sent (a file that cannot be read: exit status 4). A file of\n"
     "another ESC type or revision is refused (exit status 2) unless --force is given."},
    {"logs list", 0, 0, true, "logs list",
     "Downloads the logger memory and lists its logs, one line each: number, first and last page,\n"
     "duration and the channels recorded. With --json: a list of objects with number, first_page,\n"
     "last_page, duration (seconds) and content (the channel labels)."},
    {"logs save", 1, 1, true, "logs save DIR [--log N]...",
     "Downloads the logger memory and writes each log (or each log named with --log) as\n"
     "DIR/log-<N>.csv (log-<N>-2.csv for a number met again), the log file the window's chart\n"
     "saves. A file already there that holds another log (numbers start again after an erase)\n"
     "is not replaced unless --force is given (exit status 2, nothing written); an empty logger\n"
     "is exit status 1. A file is replaced only when complete. When the ESC stops answering\n"
     "for good, the complete logs before that point are saved and the exit status is 1."},
    {"logs workbook", 1, 1, true, "logs workbook DIR [--log N]...",
     "Downloads the logger memory and writes the diagnostic workbook of every log (or of each log\n"
     "named with --log) to DIR/logs.xml, the XML Spreadsheet the window's Display with Shift\n"
     "writes: worksheet \"Ini\" with the calibration cells, worksheet \"Log\" with the pages. The\n"
     "file is replaced only when complete."},
    {"logs decode", 1, 1, false, "logs decode FILE.csv [-o OUT.csv]",
     "Decodes a saved log with the device library's channels into a plain CSV: the header\n"
     "time,<label>,..., then one row per sample (time in seconds). Needs no ESC; writes to standard\n"
     "output unless -o names a file. A FILE of - is read from standard input, an OUT of - is\n"
     "standard output. Of a log file that is cut or damaged only the whole samples\n"
     "before the damage are written; standard error names the incomplete page and the exit status\n"
     "is 4."},
    {"logs plot", 1, 1, false, "logs plot FILE.csv -o OUT.png [--size WxH]",
     "Draws the chart of a saved log, every channel in its palette colour against its own axis,\n"
     "into a PNG image of the given size (default 1200x700). Needs no ESC and no display. Of a log\n"
     "file that is cut or damaged only the whole samples before the damage are drawn; standard\n"
     "error names the incomplete page and the exit status is 4."},
    {"logs erase", 0, 0, true, "logs erase [--blocks] [--yes]",
     "Erases the logger memory with one erase command, or with --blocks block by block. Asks first\n"
     "unless --yes is given; without a terminal to ask on, --yes is needed. Ctrl+C stops the block\n"
     "erase between two blocks (exit status 130; the memory is then partly erased)."},
    {"logs write-image", 1, 1, true, "logs write-image FILE [--yes]",
     "Writes a memory image into the logger, page by page (a short last page is filled with 0xFF),\n"
     "over the logs in the ESC, then reads every written page back. Asks first unless --yes is\n"
     "given. An image larger than the logger memory is refused with nothing written (exit status 2).\n"
     "Exit status 1 when pages read back otherwise than written (they are listed) or the ESC stopped\n"
     "answering, 130 on Ctrl+C; the logger memory then holds part of the image."},
    {"firmware list", 1, 0, true, "firmware list [DIR]",
     "Lists the firmware update files of the folder (default: FirmwareFolder of TORV.ini) made for\n"
     "the connected ESC, newest first: version and description. With --json: path, version and\n"
     "description of each."},
    {"flash", 1, 1, true, "flash FILE.upd [--yes] [--bootloader --devid N --hwver N]",
     "Uploads a firmware update file to the ESC's boot loader and prints the firmware version the ESC\n"
     "reports afterwards. The file is checked first: a damaged file is refused (exit status 4), a file\n"
     "for another device or hardware is refused with nothing sent (exit status 2). Asks first unless\n"
     "--yes is given. Ctrl+C stops after the current page; the ESC then stays in its boot loader and\n"
     "the same command can be run again. With --bootloader an ESC that answers only its boot loader\n"
     "is flashed without connecting: --devid and --hwver give its device identifier and hardware\n"
     "version, which the file must match; where the boot loader answers them itself (cells 64 and 70),\n"
     "the file must match its answer too."},
    {"curves show", 1, 0, true, "curves show [NAME]",
     "Shows the curves the device library gives the ESC (or the one named) with their points as the\n"
     "ESC reports them: name, cells and the point values from the first point on (a point whose cell\n"
     "cannot be read shows ?; the exit status is then 1). NAME is matched without regard to case; a\n"
     "unique beginning is enough. With --json: objects with name, start, length, cells, points (null\n"
     "where not read), complete and fixedEnds."},
    {"curves set", 2, 2, true, "curves set NAME V1,V2,...",
     "Writes the points of one curve, one value per point from the first, and reads them back. Each\n"
     "value is a whole number from 0 to 255; a curve of 3 or more points keeps its first and last\n"
     "point (as in the window's curve editor). A wrong count or a value out of range is refused and\n"
     "nothing is written (exit status 2); so is a curve that cannot be read completely first (exit\n"
     "status 1). Exit status 1 when a write is not answered or the ESC reports other values. Ctrl+C\n"
     "stops between two points (exit status 130)."},
    {"monitor", 0, 0, true, "monitor [--seconds N] [--csv]",
     "Streams the ESC's live values as the measurement panel does, at the fastest link speed both\n"
     "sides support, with servo value 1 on every request (the motor is never driven). Prints one\n"
     "line per record: the time in seconds from the start and every panel value (servo, RPM,\n"
     "voltage, current, tempA, as the device library names them) in its format; with --csv a\n"
     "header line with the units (time_s,servo_us,RPM,voltage_V,...), then comma-separated plain\n"
     "numbers, the time in seconds with millisecond resolution. Runs for N seconds, or until\n"
     "Ctrl+C; either way the last request says servo 1 and the link returns to 19200 baud. At\n"
     "the end standard error tells the records per second achieved and the rate the line allows\n"
     "(72 bytes of 10 bits per record). With --json: only a summary object (rates, counts, the\n"
     "last values). Exit status 1 when the ESC stopped answering at any time of the run."},
    {"library update", 0, 0, false, "library update [--url URL] [--check]",
     "Asks the maker's web server (or the URL of --url or TORV_UPDATE_URL) for the device library\n"
     "and, when its version is above the one in use, writes it over the library file (--library, or\n"
     "ESCFile of TORV.ini; replaced only when the download is complete and well-formed) and reports\n"
     "the old and the new version. Versions compare part by part as whole numbers (2.14 is above\n"
     "2.9). A library that is not newer is left alone (exit status 0); a library file that is\n"
     "missing or broken is replaced. Exit status 5 when the server cannot be reached or the\n"
     "download breaks off, 4 when the download is no device library (well-formed, with an ESC\n"
     "element) or the file cannot be written, 2 for a URL that is not http or https, 130 on\n"
     "Ctrl+C (the file is left as it was). With --check nothing is written: the command says\n"
     "whether the server has a newer library (exit status 1) or not (exit status 0)."},
    {"melody show", 0, 0, true, "melody show",
     "Shows the custom melodies stored in the ESC, one line each: kind (A from cell 160, W from\n"
     "cell 128), first cell and the encoded melody in hex, terminator included. With --json: a list\n"
     "of objects with kind, firstCell and melody."},
    {"melody check", 1, 1, false, "melody check FILE.tsm",
     "Checks a melody file without an ESC and prints its kind, description and encoded form in hex\n"
     "(a FILE of - is read from standard input).\n"
     "A file that cannot be read or does not parse gives its error text (\"!error - syntax\", ...)\n"
     "and exit status 4; so does a lead number whose low byte is 255, the end mark of a melody.\n"
     "With --json: file, kind, description and melody."},
    {"melody write", 1, 1, true, "melody write FILE.tsm",
     "Writes the melody of the file into the ESC's melody cells (kind A from cell 160, W from cell\n"
     "128), terminator included, as the window's Load does, and reads every written cell back.\n"
     "Exit status 4 for a file that does not parse (nothing written), 1 when a cell reads back\n"
     "otherwise than written, 130 when Ctrl+C stops it between two cells."},
    {"help", -1, 0, false, "help [COMMAND]", "Shows this help, or the help of one command."},
};

// The commands of two words, by their first: a word that begins a command
// of the table followed by a blank.
bool IsGroup(const QString& name)
{
    const QString prefix = name + QLatin1Char(' ');
    return std::any_of(std::begin(kCommands), std::end(kCommands),
                       [&prefix](const CommandInfo& c) { return QLatin1String(c.name).startsWith(prefix); });
}

// The command at the front of the positional arguments: one word, or two
// for a group.
QString TakeCommand(QStringList& positional)
{
    if (positional.isEmpty())
        return QString();
    QString command = positional.takeFirst();
    if (IsGroup(command) && !positional.isEmpty())
        command += QLatin1Char(' ') + positional.takeFirst();
    return command;
}

// "torv-cli logs list", "torv-cli logs save DIR", ... one line each.
QString GroupUsage(const QString& group)
{
    QStringList lines;
    for (const CommandInfo& c : kCommands) {
        if (QLatin1String(c.name).startsWith(group + QLatin1Char(' ')))
            lines.append(QStringLiteral("torv-cli %1").arg(QLatin1String(c.usage)));
    }
    return lines.join(QStringLiteral("; "));
}

const CommandInfo* Find(const QString& name)
{
    const auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                                 [&name](const CommandInfo& c) { return name == QLatin1String(c.name); });
    return it == std::end(kCommands) ? nullptr : &*it;
}

bool LooksLikeNumber(const QString& text)
{
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

// The options and the commands that take them: "*" every command, "device"
// the commands that talk to an ESC, "library" those that read the device
// library; otherwise the command names, separated by "|". An option that
// means something else to each of its commands has one entry per meaning.
struct OptionInfo {
    const char* synopsis;
    const char* help;
    const char* commands;
};

const OptionInfo kOptions[] = {
    {"--port PATH", "serial port (default: TORV_PORT, else Port of TORV.ini)", "device"},
    {"--library FILE", "device library (default: TORV_LIBRARY, else ESCFile of TORV.ini, else\n"
                       "Brisko.esc beside the program or in its share/torv folder)", "library"},
    {"--max-speed BAUD", "highest link speed the connection may raise to (one of the port setup's\n"
                         "speeds; 19200 keeps the handshake speed)", "device"},
    {"--force", "load a file of another ESC type or revision", "restore"},
    {"--force", "replace files that hold other logs", "logs save"},
    {"--log N", "only log N (repeatable)", "logs save|logs workbook"},
    {"-o FILE", "write to FILE instead of standard output (- is standard output)", "logs decode"},
    {"-o FILE", "the PNG image to write", "logs plot"},
    {"--size WxH", "image size in pixels (default 1200x700)", "logs plot"},
    {"--blocks", "erase block by block", "logs erase"},
    {"--bootloader", "flash an ESC that answers only its boot loader, without connecting", "flash"},
    {"--devid N", "with --bootloader: the device identifier the file must match", "flash"},
    {"--hwver N", "with --bootloader: the hardware version the file must match", "flash"},
    {"-y, --yes", "do not ask for confirmation", "logs erase|logs write-image|flash"},
    {"--no-backup", "write without keeping a backup of the ESC's settings first (kept by\n"
                    "default in $XDG_DATA_HOME/TORV/backups, the newest 50)",
     "set|restore|curves set|melody write|flash"},
    {"--seconds N", "stream for N seconds (default: until Ctrl+C)", "monitor"},
    {"--csv", "a header line with the units, then one line of plain numbers per record", "monitor"},
    {"--url URL", "where to download the library from (default: TORV_UPDATE_URL, else the\n"
                  "maker's server)", "library update"},
    {"--check", "only say whether the server has a newer library; install nothing", "library update"},
    {"--json", "machine-readable output on standard output", "*"},
    {"-q, --quiet", "print nothing but errors and the data asked for (no progress, notes or\n"
                    "confirmations)", "*"},
    {"-v, --verbose", "the link's debug trace on standard error", "*"},
    {"-h, --help", "this help", "*"},
};

// Whether the option entry applies to the command.
bool Takes(const OptionInfo& option, const CommandInfo& command)
{
    const QString scope = QLatin1String(option.commands);
    if (scope == QLatin1String("*"))
        return true;
    const QString name = QLatin1String(command.name);
    if (scope == QLatin1String("device"))
        return command.device;
    if (scope == QLatin1String("library"))
        return command.device || name.startsWith(QLatin1String("logs ")) || name == QLatin1String("library update");
    return scope.split(QLatin1Char('|')).contains(name);
}

// "  --port PATH       serial port ..." with continuation lines indented
// under the text.
QString OptionLine(const QString& synopsis, const QString& help)
{
    constexpr int kColumn = 20;
    QString text = QStringLiteral("  ") + synopsis.leftJustified(kColumn - 3) + QLatin1Char(' ');
    return text + QString(help).replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(kColumn, QLatin1Char(' ')))
           + QLatin1Char('\n');
}

// The options section of one command's help.
QString CommandOptions(const CommandInfo& command)
{
    QString text = QStringLiteral("Options:\n");
    for (const OptionInfo& option : kOptions) {
        if (Takes(option, command))
            text += OptionLine(QLatin1String(option.synopsis), QLatin1String(option.help));
    }
    return text;
}

const char* const kGeneralHelp =
    "Options of every command:\n"
    "  --json            machine-readable output on standard output\n"
    "  -q, --quiet       print nothing but errors and the data asked for (no progress, notes or\n"
    "                    confirmations)\n"
    "  -v, --verbose     the link's debug trace on standard error\n"
    "  -h, --help        this help; after a command, the command's help with its options\n"
    "  -V, --version     the program's version\n"
    "Options of the commands that talk to an ESC or read the device library:\n"
    "  --port PATH       serial port (default: TORV_PORT, else Port of TORV.ini)\n"
    "  --library FILE    device library (default: TORV_LIBRARY, else ESCFile of TORV.ini, else\n"
    "                    Brisko.esc beside the program or in its share/torv folder)\n"
    "  --max-speed BAUD  highest link speed the connection may raise to\n"
    "A FILE operand of - is standard input (diff, restore, melody check, melody write,\n"
    "logs decode, logs plot); -o - is standard output (logs decode).\n"
    "\n"
    "Environment:\n"
    "  TORV_PORT         the serial port when --port is not given\n"
    "  TORV_LIBRARY      the device library when --library is not given\n"
    "  TORV_UPDATE_URL   where library update downloads the library from\n";

} // namespace

QString CCliArguments::InputPath(const QString& operand)
{
    return operand == QLatin1String("-") ? QStringLiteral("/dev/stdin") : operand;
}

bool CCliArguments::NeedsDevice() const
{
    const CommandInfo* info = Find(m_command);
    return info != nullptr && info->device;
}

bool CCliArguments::Fail(const QString& error)
{
    m_error = error;
    return false;
}

bool CCliArguments::TakeValue(const QStringList& arguments, int& i, const QString& option, QString& value)
{
    const QString& argument = arguments.at(i);
    const int equals = argument.indexOf(QLatin1Char('='));
    if (equals > 0) {
        value = argument.mid(equals + 1);
        return true;
    }
    if (i + 1 >= arguments.size())
        return Fail(QStringLiteral("%1 needs a value").arg(option));
    value = arguments.at(++i);
    return true;
}

bool CCliArguments::TakeNumber(const QStringList& arguments, int& i, const QString& option, int limit, int& value)
{
    QString text;
    if (!TakeValue(arguments, i, option, text))
        return false;
    bool ok = false;
    value = text.toInt(&ok);
    if (!ok || value < 0 || value > limit)
        return Fail(QStringLiteral("%1 takes a number from 0 to %2").arg(option).arg(limit));
    return true;
}

bool CCliArguments::CheckCommandOptions()
{
    struct Allowed {
        const char* option;
        const char* command;
    };
    static const Allowed kAllowed[] = {
        {"--log", "logs save"},
        {"--log", "logs workbook"},
        {"-o", "logs decode"},
        {"-o", "logs plot"},
        {"--size", "logs plot"},
        {"--blocks", "logs erase"},
        {"--bootloader", "flash"},
        {"--devid", "flash"},
        {"--hwver", "flash"},
        {"--seconds", "monitor"},
        {"--csv", "monitor"},
        {"--url", "library update"},
        {"--check", "library update"},
    };
    for (const QString& option : m_commandOptions) {
        QStringList owners;
        bool allowed = false;
        for (const Allowed& a : kAllowed) {
            if (option != QLatin1String(a.option))
                continue;
            owners.append(QStringLiteral("torv-cli %1").arg(QLatin1String(a.command)));
            allowed = allowed || m_command == QLatin1String(a.command);
        }
        if (!allowed)
            return Fail(QStringLiteral("%1 belongs to %2").arg(option, owners.join(QStringLiteral(" and "))));
    }
    if (m_command == QLatin1String("logs plot") && m_output.isEmpty())
        return Fail(QStringLiteral("usage: torv-cli logs plot FILE.csv -o OUT.png [--size WxH]"));
    if (m_yes && !m_command.isEmpty() && m_command != QLatin1String("logs erase") && m_command != QLatin1String("flash") &&
        m_command != QLatin1String("logs write-image"))
        return Fail(QStringLiteral("--yes belongs to torv-cli logs erase, logs write-image and flash"));
    const bool ids = m_devId >= 0 && m_hwVer >= 0;
    if (m_bootloader && !ids)
        return Fail(QStringLiteral("--bootloader needs --devid and --hwver"));
    if (!m_bootloader && (m_devId >= 0 || m_hwVer >= 0))
        return Fail(QStringLiteral("--devid and --hwver go with --bootloader"));
    return true;
}

bool CCliArguments::Parse(const QStringList& arguments)
{
    QStringList positional;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool isOption = !optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1
                              && !LooksLikeNumber(argument);
        if (!isOption) {
            positional.append(argument);
            continue;
        }
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (name == QLatin1String("--port")) {
            if (!TakeValue(arguments, i, name, m_port))
                return false;
        } else if (name == QLatin1String("--library")) {
            if (!TakeValue(arguments, i, name, m_library))
                return false;
        } else if (name == QLatin1String("--max-speed")) {
            QString value;
            if (!TakeValue(arguments, i, name, value))
                return false;
            bool ok = false;
            m_maxSpeed = value.toInt(&ok);
            if (!ok || CPortSetup::SpeedIndex(m_maxSpeed) < 0) {
                QStringList speeds;
                for (int speed : CPortSetup::kSpeeds)
                    speeds.append(QString::number(speed));
                return Fail(QStringLiteral("--max-speed takes one of %1").arg(speeds.join(QLatin1Char(' '))));
            }
        } else if (argument == QLatin1String("--json")) {
            m_json = true;
        } else if (argument == QLatin1String("-v") || argument == QLatin1String("--verbose")) {
            m_verbose = true;
        } else if (argument == QLatin1String("--force")) {
            m_force = true;
        } else if (argument == QLatin1String("--yes") || argument == QLatin1String("-y")) {
            m_yes = true;
        } else if (argument == QLatin1String("--no-backup")) {
            m_noBackup = true;
        } else if (name == QLatin1String("--log")) {
            int number = 0;
            if (!TakeNumber(arguments, i, name, 255, number))
                return false;
            m_logs.push_back(number);
            m_commandOptions.append(name);
        } else if (name == QLatin1String("-o") || name == QLatin1String("--output")) {
            if (!TakeValue(arguments, i, name, m_output))
                return false;
            if (m_output.isEmpty())
                return Fail(QStringLiteral("-o needs a file name"));
            m_commandOptions.append(QStringLiteral("-o"));
        } else if (name == QLatin1String("--size")) {
            QString value;
            if (!TakeValue(arguments, i, name, value))
                return false;
            const QStringList parts = value.split(QLatin1Char('x'));
            bool wide = false;
            bool high = false;
            const int width = parts.size() == 2 ? parts.at(0).toInt(&wide) : 0;
            const int height = parts.size() == 2 ? parts.at(1).toInt(&high) : 0;
            if (!wide || !high || width < kMinPlotSide || height < kMinPlotSide || width > kMaxPlotSide
                || height > kMaxPlotSide)
                return Fail(QStringLiteral("--size takes WIDTHxHEIGHT, each from %1 to %2 pixels")
                                .arg(kMinPlotSide)
                                .arg(kMaxPlotSide));
            m_size = QSize(width, height);
            m_commandOptions.append(name);
        } else if (name == QLatin1String("--url")) {
            if (!TakeValue(arguments, i, name, m_url))
                return false;
            m_commandOptions.append(name);
        } else if (argument == QLatin1String("--blocks")) {
            m_blocks = true;
            m_commandOptions.append(argument);
        } else if (argument == QLatin1String("--bootloader")) {
            m_bootloader = true;
            m_commandOptions.append(argument);
        } else if (name == QLatin1String("--devid")) {
            if (!TakeNumber(arguments, i, name, 255, m_devId))
                return false;
            m_commandOptions.append(name);
        } else if (name == QLatin1String("--hwver")) {
            if (!TakeNumber(arguments, i, name, 255, m_hwVer))
                return false;
            m_commandOptions.append(name);
        } else if (name == QLatin1String("--seconds")) {
            if (!TakeNumber(arguments, i, name, kMaxSeconds, m_seconds))
                return false;
            m_commandOptions.append(name);
        } else if (argument == QLatin1String("--csv")) {
            m_csv = true;
            m_commandOptions.append(argument);
        } else if (argument == QLatin1String("--check")) {
            m_check = true;
            m_commandOptions.append(argument);
        } else if (argument == QLatin1String("-q") || argument == QLatin1String("--quiet")) {
            m_quiet = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            m_help = true;
        } else if (argument == QLatin1String("--version") || argument == QLatin1String("-V")) {
            m_version = true;
        } else {
            return Fail(QStringLiteral("unknown option %1").arg(argument));
        }
    }

    if (positional.isEmpty()) {
        if (m_help || m_version)
            return true;
        return Fail(QStringLiteral("no command given (try --help)"));
    }
    m_command = TakeCommand(positional);
    m_operands = positional;
    const CommandInfo* info = Find(m_command);
    if (info == nullptr && !IsGroup(m_command))
        return Fail(QStringLiteral("unknown command %1 (try --help)").arg(m_command));
    if (m_command == QLatin1String("help")) {
        m_help = true;
        m_command = TakeCommand(m_operands);
        if (!m_command.isEmpty() && Find(m_command) == nullptr && !IsGroup(m_command))
            return Fail(QStringLiteral("unknown command %1 (try --help)").arg(m_command));
        return true;
    }
    if (m_help)
        return true;
    if (info == nullptr)
        return Fail(QStringLiteral("usage: %1").arg(GroupUsage(m_command)));
    if (m_operands.size() < info->minOperands || m_operands.size() > info->operands)
        return Fail(QStringLiteral("usage: torv-cli %1").arg(QLatin1String(info->usage)));
    return CheckCommandOptions();
}

QString CCliArguments::HelpText(const QString& command)
{
    if (IsGroup(command)) {
        QString text = QStringLiteral("Usage:\n");
        for (const CommandInfo& c : kCommands) {
            if (QLatin1String(c.name).startsWith(command + QLatin1Char(' ')))
                text += QStringLiteral("  torv-cli [options] %1\n%2\n\n")
                            .arg(QLatin1String(c.usage), QString::fromLatin1(c.description)
                                                              .replace(QLatin1Char('\n'), QStringLiteral("\n    "))
                                                              .prepend(QStringLiteral("    ")));
        }
        return text + QStringLiteral("Each command's options: torv-cli %1 COMMAND --help\n").arg(command);
    }
    const CommandInfo* info = Find(command);
    if (info != nullptr) {
        return QStringLiteral("Usage: torv-cli [options] %1\n\n%2\n\n%3")
            .arg(QLatin1String(info->usage), QLatin1String(info->description), CommandOptions(*info));
    }
    QString text = QStringLiteral(
        "Usage: torv-cli [options] COMMAND [OPERANDS]\n\n"
        "Configures an ESC over its serial link, as the TORV window does.\n\nCommands:\n");
    for (const CommandInfo& c : kCommands)
        text += QStringLiteral("  %1\n").arg(QLatin1String(c.usage));
    text += QStringLiteral("\nEach command's options: torv-cli COMMAND --help\n\n") + QLatin1String(kGeneralHelp);
    text += QStringLiteral(
        "\nExit status:\n"
        "  0    success\n"
        "  1    a difference (diff) or a device that did not do what was asked (also an ESC that\n"
        "       did not confirm its return to 19200 baud at the end)\n"
        "  2    wrong usage, a value or a mismatching file refused, or a question answered no\n"
        "       (nothing done)\n"
        "  3    no device: no port named, or the port is missing, held or not permitted, or no\n"
        "       ESC answered\n"
        "  4    a file that cannot be read or written, or a damaged file\n"
        "  5    the library update's server cannot be reached or its download broke off\n"
        "  130  interrupted by Ctrl+C, SIGTERM or SIGHUP (the ESC is sent back to 19200 baud\n"
        "       first)\n");
    return text;
}
