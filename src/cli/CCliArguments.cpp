#include "cli/CCliArguments.h"

#include "link/CPortSetup.h"

#include <algorithm>
#include <array>

namespace {

struct CommandInfo {
    const char* name;
    int operands;
    bool device;
    const char* usage;
    const char* description;
};

const std::array<CommandInfo, 9> kCommands = {{
    {"ports", 0, false, "ports", "Lists the serial ports the machine offers."},
    {"identify", 0, true, "identify",
     "Shows the connected ESC: name, identity bytes (cells 64, 65, 66, 70), firmware version,\n"
     "capabilities and logger size."},
    {"show", 0, true, "show",
     "Shows every parameter with its value, under its category.\n"
     "With --json: a list of objects with name, category, value (as shown), raw and cells."},
    {"get", 1, true, "get NAME",
     "Shows one parameter. NAME is matched without regard to case; a unique beginning is enough."},
    {"set", 2, true, "set NAME VALUE",
     "Writes one parameter and shows the value the ESC reports afterwards. VALUE is given as the\n"
     "window's editor takes it: the text of a list entry, on/off (or 1/0) for a check, a number in\n"
     "shown units for a range, an integer for a plain number. A value outside the parameter's\n"
     "limits is refused and nothing is written."},
    {"backup", 1, true, "backup FILE.escp",
     "Saves the first 128 cells of the ESC to a parameter file (replaced only when complete)."},
    {"diff", 1, true, "diff FILE.escp",
     "Lists every parameter whose value would change if the file were restored, as\n"
     "\"name: device value -> file value\"; a type or revision mismatch comes first.\n"
     "Exit status 0 when nothing differs, 1 when something does."},
    {"restore", 1, true, "restore FILE.escp",
     "Loads a parameter file into the ESC: writes cells 0 to 63, connects again and checks that\n"
     "every written setting reads back as in the file. A file of another ESC type or revision\n"
     "is refused (exit status 2) unless --force is given."},
    {"help", -1, false, "help [COMMAND]", "Shows this help, or the help of one command."},
}};

const CommandInfo* Find(const QString& name)
{
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [&name](const CommandInfo& c) { return name == QLatin1String(c.name); });
    return it == kCommands.end() ? nullptr : &*it;
}

bool LooksLikeNumber(const QString& text)
{
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

const char* const kOptionsHelp =
    "Options:\n"
    "  --port PATH       serial port (default: Port of TORV.ini)\n"
    "  --library FILE    device library (default: ESCFile of TORV.ini)\n"
    "  --max-speed BAUD  highest link speed the connection may raise to (one of the port setup's\n"
    "                    speeds; 19200 keeps the handshake speed)\n"
    "  --json            machine-readable output on standard output\n"
    "  --force           restore: load a file of another ESC type or revision\n"
    "  -v                the link's debug trace on standard error\n"
    "  --help            this help (after a command: the command's help)\n"
    "  --version         the program's version\n";

} // namespace

bool CCliArguments::IsCommand(const QString& name)
{
    return Find(name) != nullptr;
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
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            m_help = true;
        } else if (argument == QLatin1String("--version")) {
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
    m_command = positional.takeFirst();
    m_operands = positional;
    const CommandInfo* info = Find(m_command);
    if (info == nullptr)
        return Fail(QStringLiteral("unknown command %1 (try --help)").arg(m_command));
    if (m_command == QLatin1String("help")) {
        m_help = true;
        m_command = m_operands.value(0);
        if (!m_command.isEmpty() && Find(m_command) == nullptr)
            return Fail(QStringLiteral("unknown command %1 (try --help)").arg(m_command));
        return true;
    }
    if (!m_help && m_operands.size() != info->operands)
        return Fail(QStringLiteral("usage: torv-cli %1").arg(QLatin1String(info->usage)));
    return true;
}

QString CCliArguments::HelpText(const QString& command)
{
    const CommandInfo* info = Find(command);
    if (info != nullptr) {
        return QStringLiteral("Usage: torv-cli [options] %1\n\n%2\n\n%3")
            .arg(QLatin1String(info->usage), QLatin1String(info->description), QLatin1String(kOptionsHelp));
    }
    QString text = QStringLiteral(
        "Usage: torv-cli [options] COMMAND [OPERANDS]\n\n"
        "Configures an ESC over its serial link, as the TORV window does.\n\nCommands:\n");
    for (const CommandInfo& c : kCommands)
        text += QStringLiteral("  %1\n").arg(QLatin1String(c.usage));
    text += QStringLiteral("\n") + QLatin1String(kOptionsHelp);
    text += QStringLiteral(
        "\nExit status: 0 success; 1 a difference (diff) or a device that did not do what was asked;\n"
        "2 wrong usage or a value refused; 3 no device; 4 a file that cannot be read or written;\n"
        "130 interrupted (the ESC is sent back to 19200 baud first).\n");
    return text;
}
