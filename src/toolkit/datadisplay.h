// The data display: frame echoes and replies as hexadecimal text. Its text colour alternates red
// and black with every change of its text, so that two identical texts in a row can be told apart.
#pragma once

#include <QPlainTextEdit>

#include "core/notices.h"

namespace vesk {

class DataDisplay : public QPlainTextEdit, public EchoDisplay {
    Q_OBJECT
public:
    static QString initialText();

    explicit DataDisplay(QWidget* parent = nullptr);

    QString text() const override { return toPlainText(); }
    // Replaces the text; a text equal to the current one is no change.
    void setText(const QString& text) override;

    QColor textColor() const;
    int changeCounter() const { return m_changes; }

private:
    void onTextChanged();

    int m_changes = 0;
};

} // namespace vesk
