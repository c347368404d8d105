#include "controls/CInplaceSpinEdit.h"

#include <QLineEdit>

#include <utility>

CInplaceSpinEdit::CInplaceSpinEdit(QWidget* parent)
    : QAbstractSpinBox(parent)
{
    setObjectName(QStringLiteral("InplacePropertySpinEdit"));
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(false);
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

void CInplaceSpinEdit::SetSpinHandler(SpinHandler handler)
{
    m_spin = std::move(handler);
}

void CInplaceSpinEdit::SetText(const QString& text)
{
    m_setText = text;
    lineEdit()->setText(text);
    lineEdit()->selectAll();
}

void CInplaceSpinEdit::SetTextMargin(int left)
{
    lineEdit()->setTextMargins(left, 0, 0, 0);
}

void CInplaceSpinEdit::stepBy(int steps)
{
    if (m_spin && steps != 0)
        m_spin(steps);
}

QAbstractSpinBox::StepEnabled CInplaceSpinEdit::stepEnabled() const
{
    if (isReadOnly() || !m_spin)
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}
