#pragma once

#include <QAbstractSpinBox>

#include <functional>

// The in-place editor of spin rows: a text box with up/down arrows. The
// arrows (and the Up/Down/PageUp/PageDown keys and the wheel) do not change
// the text themselves: they hand the steps to the spin handler, which moves
// the row's value and puts the new text back with SetText.
class CInplaceSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    using SpinHandler = std::function<void(int steps)>;

    explicit CInplaceSpinEdit(QWidget* parent = nullptr);

    void SetSpinHandler(SpinHandler handler);
    // Replaces the text and selects it; the text counts as untouched.
    void SetText(const QString& text);
    // True when the user typed since the last SetText.
    bool IsTextEdited() const { return text() != m_setText; }
    // Space before the text, in pixels.
    void SetTextMargin(int left);

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    SpinHandler m_spin;
    QString m_setText;
};
