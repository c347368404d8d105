#include "logger/ui/CCurveDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/CCurveCtrl.h"
#include "logger/CCurve.h"

CCurveDlg::CCurveDlg(const QString& name, const std::vector<uint8_t>& points, bool complete, QWidget* parent)
    : QDialog(parent), m_read(points), m_points(points)
{
    setObjectName(QStringLiteral("curveDlg"));
    setWindowTitle(tr("Curve - %1").arg(name));
    setWindowIcon(QIcon(QStringLiteral(":/icons/curves.svg")));

    auto* layout = new QVBoxLayout(this);
    m_control = new CCurveCtrl(this);
    m_control->setObjectName(QStringLiteral("curveCtrl"));
    layout->addWidget(m_control, 1);
    if (!complete) {
        auto* note = new QLabel(tr("Some points of the curve could not be read from the ESC; they show 0. "
                                   "Saving leaves the cells of those points unchanged unless you move them."),
                                this);
        note->setObjectName(QStringLiteral("incompleteNote"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }

    m_line = new QCheckBox(tr("Line"), this);
    m_line->setObjectName(QStringLiteral("line"));
    auto* reset = new QPushButton(tr("Reset"), this);
    reset->setObjectName(QStringLiteral("reset"));
    auto* save = new QPushButton(tr("Save"), this);
    save->setObjectName(QStringLiteral("save"));
    save->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_line);
    buttons->addWidget(reset);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(save, &QPushButton::clicked, this, &CCurveDlg::OnSave);
    connect(cancel, &QPushButton::clicked, this, &CCurveDlg::reject);
    connect(reset, &QPushButton::clicked, this, &CCurveDlg::OnReset);
    connect(m_line, &QCheckBox::toggled, m_control, &CCurveCtrl::SetLine);

    // A curve of fewer than 3 points opens with an empty control.
    OnReset();
    m_line->setChecked(true);
    m_control->setFocus(Qt::OtherFocusReason);
}

void CCurveDlg::OnReset()
{
    if (static_cast<int>(m_read.size()) >= CCurve::kFixedEndsFrom)
        m_control->SetPoints(m_read, true);
}

void CCurveDlg::OnSave()
{
    if (static_cast<int>(m_read.size()) >= CCurve::kFixedEndsFrom)
        m_points = m_control->Points();
    done(ResultSave);
}

void CCurveDlg::reject()
{
    done(ResultCancel);
}
