// What the send sequence tells the operator, and the two things it needs from whoever shows it:
// a place for messages (modal boxes in the console, a recorder in tests) and the data display.
#pragma once

#include <QCoreApplication>
#include <QString>

#include <utility>

namespace vesk {

enum class Icon { None, Warning, Question };
enum class Buttons { Ok, CancelTryAgainContinue };

struct Message {
    Message() = default;
    Message(QString text, QString title, Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
            QString detail = {})
        : text(std::move(text)), title(std::move(title)), icon(icon), buttons(buttons),
          detail(std::move(detail)) {}

    QString text;
    QString title;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    // A second, smaller line below the text (the specific reason); empty for none.
    QString detail;
};

// The title of the console's message boxes.
inline QString appTitle() {
    return QCoreApplication::translate("vesk::Notices", "VESK系列电源控制器");
}

// Shows a message and returns once the operator has dealt with it (at once while closing).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const Message& message) = 0;
};

// The text display that frame echoes and replies are written to.
class EchoDisplay {
public:
    virtual ~EchoDisplay() = default;
    virtual QString text() const = 0;
    // Replaces the text; a text equal to the current one is no change.
    virtual void setText(const QString& text) = 0;
    void appendText(const QString& more) { setText(text() + more); }
};

} // namespace vesk
