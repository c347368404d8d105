#pragma once

#include <QString>

// A one-line progress bar on standard error, drawn only when standard error
// is a terminal; it is wiped when done so that the output stays clean.
class CProgressBar {
public:
    explicit CProgressBar(const QString& label);
    ~CProgressBar();
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    void Show(int done, int total);
    void Finish();

private:
    QString m_label;
    bool m_enabled;
    bool m_drawn = false;
    int m_lastWidth = -1;
};
