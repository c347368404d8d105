#pragma once

#include <QByteArray>
#include <QProcess>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal that a child process can take as its standard input or
// error. The test keeps the terminal's own end open too, so that nothing
// written by the child is lost when it ends. Raw mode: no echo of what the
// test types, no line-ending translation of what the child writes.
class CTerminal {
public:
    CTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_name = ::ptsname(m_master);
        m_slave = ::open(m_name.constData(), O_RDWR | O_NOCTTY);
        termios raw{};
        if (m_slave < 0 || ::tcgetattr(m_slave, &raw) != 0)
            return;
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~CTerminal()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    CTerminal(const CTerminal&) = delete;
    CTerminal& operator=(const CTerminal&) = delete;

    bool IsOpen() const { return m_slave >= 0; }

    // The child's standard input and/or error become the terminal.
    void Attach(QProcess& process, bool input, bool errors) const
    {
        const QByteArray name = m_name;
        process.setChildProcessModifier([name, input, errors] {
            const int fd = ::open(name.constData(), O_RDWR);
            if (fd < 0)
                return;
            if (input)
                ::dup2(fd, STDIN_FILENO);
            if (errors)
                ::dup2(fd, STDERR_FILENO);
        });
    }

    // Everything the child has written to the terminal so far.
    QByteArray Screen()
    {
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
            m_screen.append(buffer, static_cast<qsizetype>(n));
        return m_screen;
    }

    // Types the text as if on the keyboard; false when it could not be sent.
    bool Type(const QByteArray& text) const { return ::write(m_master, text.constData(), text.size()) == text.size(); }

private:
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_name;
    QByteArray m_screen;
};
