// A console window on a pseudo-terminal, with message boxes recorded instead of shown.
#pragma once

#include <QList>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "link/delay.h"
#include "support/pty.h"
#include "window/buildprofile.h"
#include "window/toolkit.h"
#include "window/vesk.h"

namespace vesk {
MultiChannelHooks* createMultiChannelArea(VESK& window);
}

// Message boxes and opened web pages go to these instead of the screen and the browser; empty
// functions restore the real ones.
inline void recordMessages(vesk::toolkit::MessageHook messages, vesk::toolkit::UrlHook urls) {
    vesk::toolkit::setMessageHook(std::move(messages));
    vesk::toolkit::setUrlHook(std::move(urls));
}

struct Console {
    explicit Console(bool classic = false, bool start = true) {
        vesk::resetShutdown();
        qputenv("VESKPANEL_COM1", pty.slavePath().toLocal8Bit());
        qputenv("VESKPANEL_COM2", pty2.slavePath().toLocal8Bit());
        qputenv("VESKPANEL_COM3", "/nonexistent/vesk-com3");
        qputenv("VESKPANEL_COM4", "/nonexistent/vesk-com4");
        recordMessages([this](const vesk::toolkit::Message& m) { messages << m; },
                       [this](const QString& url) { urls << url; });
        window = std::make_unique<vesk::VESK>(
            classic ? vesk::BuildProfile::classicBuild()
                    : vesk::BuildProfile::full(&vesk::createMultiChannelArea));
        if (start)
            window->startUp();
    }
    ~Console() {
        // As when the operator closes the window: every operation still waiting ends now and
        // frees itself, instead of lingering until its timer fires (or never, at program exit).
        vesk::requestShutdown();
        window.reset();
        vesk::resetShutdown();
        recordMessages({}, {});
    }

    template <typename T = QWidget> T* find(const QString& name) const {
        return window->findChild<T*>(name);
    }
    QPushButton* button(const QString& name) const { return find<QPushButton>(name); }
    // Waits until no operation is waiting any more (every click has run to its end).
    bool settle(int timeoutMs = 12000) const {
        const bool done =
            QTest::qWaitFor([] { return vesk::Module1::pendingDelays() == 0; }, timeoutMs);
        QTest::qWait(30); // let the last bytes written reach the other end
        return done;
    }
    QStringList messageTexts() const {
        QStringList texts;
        for (const auto& m : messages)
            texts << m.text;
        return texts;
    }

    PtyPair pty;
    PtyPair pty2;
    QList<vesk::toolkit::Message> messages;
    QStringList urls; // web pages the console opened
    std::unique_ptr<vesk::VESK> window;
};

inline QByteArray hexBytes(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
