// A console window on a pseudo-terminal, with message boxes recorded instead of shown.
#pragma once

#include <QComboBox>
#include <QList>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include "areas/buildprofile.h"
#include "core/waits.h"
#include "support/pty.h"
#include "toolkit/toolkit.h"
#include "window/vesk.h"

namespace vesk {
MultiChannelHooks* createMultiChannelArea(const AreaContext& ctx);
}

// Records messages instead of showing boxes.
struct RecordedMessages : vesk::MessageSink {
    void show(const vesk::Message& m) override { list << m; }
    QList<vesk::Message> list;
};

// Clears the mark that QCoreApplication::exit() leaves on the thread outside a running loop,
// which would make every later event loop of the test return at once.
inline void clearExitRequest() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

struct Console {
    explicit Console(bool classic = false, bool start = true) {
        qputenv("VESKPANEL_COM1", pty.slavePath().toLocal8Bit());
        qputenv("VESKPANEL_COM2", pty2.slavePath().toLocal8Bit());
        qputenv("VESKPANEL_COM3", "/nonexistent/vesk-com3");
        qputenv("VESKPANEL_COM4", "/nonexistent/vesk-com4");
        vesk::WindowSeams seams;
        seams.messages = &recorded;
        seams.openUrl = [this](const QString& url) { urls << url; };
        window = std::make_unique<vesk::VESK>(
            classic ? vesk::BuildProfile::classicBuild()
                    : vesk::BuildProfile::full(&vesk::createMultiChannelArea),
            waits, seams);
        if (start)
            window->startUp();
    }
    ~Console() {
        // As when the operator closes the window: every operation still waiting ends now and
        // frees itself, instead of lingering until its timer fires (or never, at program exit).
        waits.close();
        window.reset();
        clearExitRequest();
    }

    template <typename T = QWidget> T* find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QPushButton* button(const QString& name) const { return find<QPushButton>(name); }
    // Waits until no operation is waiting any more (every click has run to its end).
    bool settle(int timeoutMs = 12000) const {
        const bool done = QTest::qWaitFor([this] { return waits.pending() == 0; }, timeoutMs);
        QTest::qWait(30); // let the last bytes written reach the other end
        return done;
    }
    QStringList messageTexts() const {
        QStringList texts;
        for (const auto& m : recorded.list)
            texts << m.text;
        return texts;
    }

    PtyPair pty;
    PtyPair pty2;
    vesk::Waits waits;
    RecordedMessages recorded;
    QList<vesk::Message>& messages = recorded.list;
    QStringList urls;
    std::unique_ptr<vesk::VESK> window;
};

// What a widget shows: its caption, title or text, a list's entries.
inline QStringList shownTexts(const QWidget* w) {
    QStringList texts;
    for (const char* name : {"text", "title", "plainText"})
        if (const QVariant value = w->property(name); value.isValid())
            texts << value.toString();
    if (auto* combo = qobject_cast<const QComboBox*>(w))
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    return texts;
}

inline QByteArray hexBytes(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
