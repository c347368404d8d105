#pragma once

#include <QDialog>
#include <QString>

#include <vector>

#include "library/CFileParameters.h"

class QLabel;
class QPushButton;
class QTableWidget;

// What a parameter file would change in the connected ESC: one row per
// setting whose value differs (setting, ESC value, file value), an identity
// mismatch said first, and "Load this file" to go on to the load. It shows
// the values it is given and never talks to the ESC.
class CCompareDlg : public QDialog {
    Q_OBJECT
public:
    // The result when the user chose to load the file.
    static constexpr int ResultLoad = 2;

    CCompareDlg(const QString& path, const QString& identityMismatch,
                const std::vector<CFileParameters::Change>& changes, QWidget* parent = nullptr);

    QTableWidget* Table() const { return m_table; }
    QLabel* Mismatch() const { return m_mismatch; }
    QLabel* Summary() const { return m_summary; }
    QPushButton* LoadButton() const { return m_load; }

private:
    QTableWidget* m_table = nullptr;
    QLabel* m_mismatch = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_load = nullptr;
};
