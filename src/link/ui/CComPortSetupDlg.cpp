#include "link/ui/CComPortSetupDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, QWidget* parent)
    : CComPortSetupDlg(settings, AvailablePorts(), parent)
{
}

CComPortSetupDlg::CComPortSetupDlg(const CPortSetup::Settings& settings, const QStringList& ports,
                                   QWidget* parent)
    : QDialog(parent)
    , m_setup(settings)
    , m_result(settings)
{
    Build(ports);
}

QStringList CComPortSetupDlg::AvailablePorts()
{
    return CPortSetup::AvailablePorts();
}

void CComPortSetupDlg::Build(const QStringList& ports)
{
    setWindowTitle(tr("COM Port Setup"));
    setObjectName(QStringLiteral("ComPortSetupDlg"));

    // The port entry is editable so that a path no enumeration finds (a
    // pseudo-terminal) can be typed; the lists keep their given order.
    m_port = new QComboBox(this);
    m_port->setObjectName(QStringLiteral("PortCombo"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->addItems(ports);
    m_port->setMinimumContentsLength(14);
    const QString& name = m_setup.Initial().portName;
    const int portIndex = m_port->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    m_port->setCurrentIndex(portIndex);
    if (portIndex < 0)
        m_port->setEditText(name);

    m_speed = new QComboBox(this);
    m_speed->setObjectName(QStringLiteral("SpeedCombo"));
    for (int speed : CPortSetup::kSpeeds)
        m_speed->addItem(QString::number(speed), speed);
    m_speed->setCurrentIndex(m_setup.ShownSpeedIndex());

    m_useDefault = new QCheckBox(tr("Use default settings"), this);
    m_useDefault->setObjectName(QStringLiteral("UseDefaultCheck"));
    m_useDefault->setChecked(m_setup.UseDefaultSettings());
    connect(m_useDefault, &QCheckBox::toggled, this, &CComPortSetupDlg::UpdateSpeedEnabled);
    UpdateSpeedEnabled();

    auto* form = new QFormLayout;
    form->addRow(tr("Port:"), m_port);
    form->addRow(tr("Baudrate:"), m_speed);
    form->addRow(QString(), m_useDefault);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CComPortSetupDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CComPortSetupDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CComPortSetupDlg::UpdateSpeedEnabled()
{
    m_speed->setEnabled(!m_useDefault->isChecked());
}

void CComPortSetupDlg::accept()
{
    m_result = m_setup.Confirm(m_port->currentText(), m_speed->currentIndex(), m_useDefault->isChecked());
    QDialog::accept();
}
