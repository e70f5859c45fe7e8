#include "datadisplay.h"

#include "toolkit/toolkit.h"

#include <QSignalBlocker>

namespace vesk {

QString DataDisplay::initialText() {
    return tr("设置ID，互锁，延时时间等功能后请重启设备！！\n");
}

DataDisplay::DataDisplay(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("Text2"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFont(toolkit::songti(12));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(192, 192, 255));
    pal.setColor(QPalette::Text, QColor(0, 0, 128));
    setPalette(pal);
    setPlainText(initialText());
    // Typing stays possible, but Tab moves on to the next control instead of being typed: a
    // keyboard user is not trapped here.
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &DataDisplay::onTextChanged);
}

void DataDisplay::setText(const QString& text) {
    if (text == toPlainText())
        return;
    {
        // One assignment is one change, however many edits the document makes internally.
        const QSignalBlocker quiet(this);
        setPlainText(text);
        moveCursor(QTextCursor::End);
    }
    onTextChanged();
}

QColor DataDisplay::textColor() const {
    return palette().color(QPalette::Text);
}

void DataDisplay::onTextChanged() {
    ++m_changes;
    QColor colour;
    if (m_changes == 1) {
        colour = QColor(255, 0, 0);
    } else {
        colour = QColor(0, 0, 0);
        m_changes = 0;
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Text, colour);
    setPalette(pal);
}

} // namespace vesk
