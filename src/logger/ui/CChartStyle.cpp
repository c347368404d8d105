#include "logger/ui/CChartStyle.h"

#include "base/IPrompt.h"
#include "controls/CMChartSerie.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Up to 15 significant digits.
QString Number(double value)
{
    return QString::number(value, 'g', 15);
}

bool ReadNumber(const QLineEdit* field, double& value)
{
    bool ok = false;
    value = field->text().trimmed().toDouble(&ok);
    return ok;
}
}

CChartStyle::CChartStyle(std::vector<std::shared_ptr<CMChartSerie>> series, int index, IPrompt& prompt,
                         QWidget* parent)
    : QDialog(parent), m_series(std::move(series)), m_prompt(prompt)
{
    setWindowTitle(tr("Chart Style"));
    setObjectName(QStringLiteral("chartStyle"));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("object"));
    for (const auto& serie : m_series) {
        m_list->addItem(serie->Name());
        m_entries.push_back({serie->Colour(), static_cast<int>(serie->Mode()), serie->Minimum(), serie->Maximum(),
                             serie->SpinStep()});
    }

    m_colour = new QPushButton(tr("Colour..."), this);
    m_colour->setObjectName(QStringLiteral("colour"));
    const char* names[3] = {"Auto", "Aligned to zero", "Custom"};
    auto* modeBox = new QGroupBox(tr("Scale"), this);
    auto* modeLayout = new QVBoxLayout(modeBox);
    for (int i = 0; i < 3; ++i) {
        m_modes[i] = new QRadioButton(tr(names[i]), modeBox);
        m_modes[i]->setObjectName(QStringLiteral("mode%1").arg(i));
        modeLayout->addWidget(m_modes[i]);
        connect(m_modes[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                SetMode(i);
        });
    }

    auto* range = new QGridLayout;
    m_min = new QLineEdit(this);
    m_min->setObjectName(QStringLiteral("min"));
    m_max = new QLineEdit(this);
    m_max->setObjectName(QStringLiteral("max"));
    int row = 0;
    for (QLineEdit* field : {m_max, m_min}) {
        range->addWidget(new QLabel(field == m_min ? tr("Min") : tr("Max"), this), row, 0);
        range->addWidget(field, row, 1);
        auto* up = new QToolButton(this);
        up->setArrowType(Qt::UpArrow);
        auto* down = new QToolButton(this);
        down->setArrowType(Qt::DownArrow);
        // The spin control reports -1 upward and +1 downward; the value
        // moves by delta times the entry's step, subtracted.
        connect(up, &QToolButton::clicked, this, [this, field] { Spin(field, -1); });
        connect(down, &QToolButton::clicked, this, [this, field] { Spin(field, 1); });
        range->addWidget(up, row, 2);
        range->addWidget(down, row, 3);
        m_spins.push_back(up);
        m_spins.push_back(down);
        ++row;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CChartStyle::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CChartStyle::reject);

    auto* right = new QVBoxLayout;
    right->addWidget(m_colour);
    right->addWidget(modeBox);
    right->addLayout(range);
    right->addStretch();
    auto* top = new QHBoxLayout;
    auto* objectColumn = new QVBoxLayout;
    objectColumn->addWidget(new QLabel(tr("Object"), this));
    objectColumn->addWidget(m_list);
    top->addLayout(objectColumn);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);

    connect(m_colour, &QPushButton::clicked, this, &CChartStyle::ChooseColour);
    connect(m_list, &QListWidget::currentRowChanged, this, &CChartStyle::OnSelectionChanged);
    const int first = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : 0;
    if (!m_entries.empty())
        m_list->setCurrentRow(first);
}

void CChartStyle::OnSelectionChanged(int row)
{
    if (row == m_current)
        return;
    if (m_current >= 0 && !StoreFields()) {
        const QSignalBlocker block(m_list);
        m_list->setCurrentRow(m_current);
        return;
    }
    m_current = row;
    ShowEntry();
}

void CChartStyle::ShowEntry()
{
    if (m_current < 0 || m_current >= static_cast<int>(m_entries.size()))
        return;
    const Entry& entry = m_entries[static_cast<std::size_t>(m_current)];
    ShowColour();
    m_min->setText(Number(entry.minimum));
    m_max->setText(Number(entry.maximum));
    {
        const QSignalBlocker block0(m_modes[0]);
        const QSignalBlocker block1(m_modes[1]);
        const QSignalBlocker block2(m_modes[2]);
        m_modes[entry.mode >= 0 && entry.mode <= 2 ? entry.mode : 0]->setChecked(true);
    }
    SetMode(entry.mode);
}

void CChartStyle::ShowColour()
{
    const int colour = m_entries[static_cast<std::size_t>(m_current)].colour;
    const QColor c(CMChartSerie::Red(colour), CMChartSerie::Green(colour), CMChartSerie::Blue(colour));
    m_colour->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; }")
                                .arg(c.name(), c.lightness() < 128 ? QStringLiteral("white") : QStringLiteral("black")));
}

bool CChartStyle::StoreFields()
{
    double minimum = 0;
    double maximum = 0;
    for (QLineEdit* field : {m_min, m_max}) {
        double value = 0;
        if (!ReadNumber(field, value)) {
            field->setFocus();
            field->selectAll();
            return false;
        }
        (field == m_min ? minimum : maximum) = value;
    }
    Entry& entry = m_entries[static_cast<std::size_t>(m_current)];
    entry.minimum = minimum;
    entry.maximum = maximum;
    return true;
}

void CChartStyle::SetMode(int mode)
{
    if (m_current < 0)
        return;
    m_entries[static_cast<std::size_t>(m_current)].mode = mode;
    const bool custom = mode == 2;
    m_min->setEnabled(custom);
    m_max->setEnabled(custom);
    for (QToolButton* spin : m_spins)
        spin->setEnabled(custom);
}

void CChartStyle::ChooseColour()
{
    if (m_current < 0)
        return;
    Entry& entry = m_entries[static_cast<std::size_t>(m_current)];
    const quint32 initial = 0xFF000000u | (static_cast<quint32>(CMChartSerie::Red(entry.colour)) << 16) |
                            (static_cast<quint32>(CMChartSerie::Green(entry.colour)) << 8) |
                            static_cast<quint32>(CMChartSerie::Blue(entry.colour));
    const std::optional<quint32> chosen = m_prompt.ChooseColour(initial);
    if (!chosen)
        return;
    entry.colour = CMChartSerie::MakeColour(static_cast<int>((*chosen >> 16) & 0xFF),
                                            static_cast<int>((*chosen >> 8) & 0xFF), static_cast<int>(*chosen & 0xFF));
    ShowColour();
}

void CChartStyle::Spin(QLineEdit* field, int delta)
{
    double value = 0;
    if (m_current < 0 || !ReadNumber(field, value))
        return;
    field->setText(Number(value - delta * m_entries[static_cast<std::size_t>(m_current)].step));
}

void CChartStyle::accept()
{
    if (m_current >= 0 && !StoreFields())
        return;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        CMChartSerie& serie = *m_series[i];
        const Entry& entry = m_entries[i];
        serie.SetColour(entry.colour);
        serie.SetMode(static_cast<CMChartSerie::ScaleMode>(entry.mode));
        if (entry.mode == 2)
            serie.SetCustomRange(entry.minimum, entry.maximum);
    }
    QDialog::accept();
}
