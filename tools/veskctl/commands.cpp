#include "commands.h"

#include <QRegularExpression>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <utility>

#include "core/delaylogic.h"
#include "core/frames.h"

namespace vesk::ctl {

namespace {

// Channels in the order given, each once; nullopt (with the bad word in *bad) when one is not 1-8.
std::optional<QList<int>> channels(const QStringList& words, QString* bad) {
    QList<int> list;
    for (const QString& word : words) {
        for (const QString& item : word.split(QLatin1Char(','))) {
            bool ok = false;
            const int channel = item.toInt(&ok);
            if (!ok || channel < 1 || channel > 8 || item != QString::number(channel)) {
                *bad = item;
                return std::nullopt;
            }
            if (!list.contains(channel))
                list << channel;
        }
    }
    return list;
}

quint8 maskOf(const QList<int>& list) {
    quint8 mask = 0;
    for (int channel : list)
        mask |= quint8(1u << (channel - 1));
    return mask;
}

// The channels of `selection` as a frame switches them: those in `targets` on, the others off.
ChannelStates effectOf(quint8 selection, quint8 targets) {
    ChannelStates effect;
    for (int channel = 1; channel <= 8; ++channel) {
        const quint8 bit = quint8(1u << (channel - 1));
        if (selection & bit)
            effect << std::pair{channel, bool(targets & bit)};
    }
    return effect;
}

// A channel list in one word, or "none" for no channel.
std::optional<QList<int>> channelWord(const QString& word, QString* bad) {
    if (word == QLatin1String("none"))
        return QList<int>{};
    return channels({word}, bad);
}

// Pairs "1-2", "3-4", "5-6", "7-8" as 0..3.
std::optional<int> pairIndex(const QString& word) {
    static const QStringList pairs{QStringLiteral("1-2"), QStringLiteral("3-4"),
                                   QStringLiteral("5-6"), QStringLiteral("7-8")};
    const qsizetype index = pairs.indexOf(word);
    return index < 0 ? std::nullopt : std::optional<int>(int(index));
}

struct Context {
    Request& request;
    const QStringList& words;
    const CommandOptions& options;
    quint8 address() const { return request.address; }
    void send(const QByteArray& frame) { request.steps << Step{frame, {}, {}, {}, 0, false}; }
};

using Builder = std::function<QString(Context&)>;

QString wrongCount(const QString& command, const QString& usage) {
    return QStringLiteral("%1: wrong arguments, usage: %1 %2").arg(command, usage);
}

QString switchChannels(Context& c, bool on) {
    if (c.words.isEmpty())
        return QStringLiteral("%1: missing argument CH").arg(c.request.command);
    QString bad;
    const auto list = channels(c.words, &bad);
    if (!list)
        return QStringLiteral("bad channel '%1' (1-8)").arg(bad);
    for (int channel : *list) {
        c.send(switchFrame(c.address(), channel, on));
        c.request.steps.last().effect = {{channel, on}};
        c.request.expected << std::pair{channel, on};
    }
    return {};
}

// Labels the steps from `first` on, for a report of how far a command got.
void label(Context& c, qsizetype first, const QString& text) {
    for (qsizetype i = first; i < c.request.steps.size(); ++i)
        c.request.steps[i].label = text;
}

QString cycle(Context& c) {
    double seconds = 5;
    if (c.options.dwell) {
        bool ok = false;
        seconds = c.options.dwell->toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400)
            return QStringLiteral("bad dwell '%1' (0-86400 seconds)").arg(*c.options.dwell);
    }
    if (const QString error = switchChannels(c, false); !error.isEmpty())
        return error;
    label(c, 0, QStringLiteral("the off"));
    // The off is confirmed before the dwell, so that a controller that ignored it is never
    // reported as power-cycled; the dwell counts from the first off frame.
    const auto offChannels = std::exchange(c.request.expected, {});
    c.request.steps.last().confirm = offChannels;
    c.request.steps.last().pauseAfterMs = int(std::lround(seconds * 1000));
    const qsizetype onFrom = c.request.steps.size();
    for (const auto& [channel, on] : offChannels) {
        c.send(switchFrame(c.address(), channel, true));
        c.request.steps.last().effect = {{channel, true}};
        c.request.expected << std::pair{channel, true};
    }
    label(c, onFrom, QStringLiteral("the on"));
    return {};
}

QString switchMany(Context& c) {
    if (!c.words.isEmpty())
        return QStringLiteral("switch: unexpected argument '%1'").arg(c.words.first());
    if (!c.options.on && !c.options.off)
        return QStringLiteral("switch: give --on CH,.. and/or --off CH,..");
    QString bad;
    const auto on = channelWord(c.options.on.value_or(QStringLiteral("none")), &bad);
    const auto off =
        on ? channelWord(c.options.off.value_or(QStringLiteral("none")), &bad) : std::nullopt;
    if (!on || !off)
        return QStringLiteral("bad channel '%1' (1-8)").arg(bad);
    for (int channel : *on) {
        if (off->contains(channel))
            return QStringLiteral("bad channel '%1': both --on and --off").arg(channel);
    }
    int unit = 0;
    int count = 0;
    if (c.options.after) {
        static const QRegularExpression form(QStringLiteral("^([0-9]{1,2})([smh])$"));
        const auto match = form.match(*c.options.after);
        const int unitIndex =
            match.hasMatch() ? int(QStringLiteral("smh").indexOf(match.captured(2))) : 0;
        count = match.hasMatch() ? match.captured(1).toInt() : -1;
        if (count < 0 || count > (unitIndex == 2 ? 15 : 59))
            return QStringLiteral("bad delay '%1' (0-59s, 0-59m or 0-15h)").arg(*c.options.after);
        unit = unitIndex;
    }
    const quint8 timing = timingCode(unit, count);
    c.send(multiSwitchFrame(c.address(), maskOf(*on) | maskOf(*off), maskOf(*on), timing));
    if (timing == 0)
        c.request.steps.last().effect = effectOf(maskOf(*on) | maskOf(*off), maskOf(*on));
    else
        c.request.steps.last().timed = true;
    return {};
}

QString states(Context& c) {
    if (c.words.size() != 1)
        return wrongCount(QStringLiteral("states"), QStringLiteral("CH,..|none"));
    QString bad;
    const auto list = channelWord(c.words[0], &bad);
    if (!list)
        return QStringLiteral("bad channel '%1' (1-8)").arg(bad);
    c.send(stateMaskFrame(c.address(), maskOf(*list)));
    c.request.steps.last().effect = effectOf(0xFF, maskOf(*list));
    return {};
}

QString delays(Context& c) {
    if (c.words.size() != 9 ||
        (c.words[0] != QLatin1String("on") && c.words[0] != QLatin1String("off")))
        return wrongCount(QStringLiteral("delays"), QStringLiteral("on|off S1 S2 .. S8"));
    std::array<int, 8> seconds{};
    for (int i = 0; i < 8; ++i) {
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
        const QString& word = c.words[i + 1];
        if (!digits.match(word).hasMatch() || word.toInt() > MaxDelay)
            return QStringLiteral("bad delay '%1' (0-%2 whole seconds)").arg(word).arg(MaxDelay);
        seconds[size_t(i)] = word.toInt();
    }
    c.send(delayFrame(c.address(), c.words[0] == QLatin1String("on"), seconds));
    return {};
}

QString interlock(Context& c) {
    if (c.words.size() != 2 ||
        (c.words[0] != QLatin1String("set") && c.words[0] != QLatin1String("clear")))
        return wrongCount(QStringLiteral("interlock"), QStringLiteral("set|clear PAIR"));
    const auto pair = pairIndex(c.words[1]);
    if (!pair)
        return QStringLiteral("bad pair '%1' (1-2, 3-4, 5-6 or 7-8)").arg(c.words[1]);
    c.send(interlockPairFrame(c.address(), *pair, c.words[0] == QLatin1String("set")));
    return {};
}

QString interlocks(Context& c) {
    if (c.words.size() != 1)
        return wrongCount(QStringLiteral("interlocks"), QStringLiteral("PAIR,..|none"));
    quint8 mask = 0;
    if (c.words[0] != QLatin1String("none")) {
        for (const QString& word : c.words[0].split(QLatin1Char(','))) {
            const auto pair = pairIndex(word);
            if (!pair)
                return QStringLiteral("bad pair '%1' (1-2, 3-4, 5-6 or 7-8)").arg(word);
            mask |= quint8(1u << *pair);
        }
    }
    c.send(interlockMaskFrame(c.address(), mask));
    return {};
}

QString powerOn(Context& c) {
    const bool custom = !c.words.isEmpty() && c.words[0] == QLatin1String("custom");
    const bool last = !c.words.isEmpty() && c.words[0] == QLatin1String("last");
    if ((!custom && !last) || c.words.size() > (custom ? 2 : 1))
        return wrongCount(QStringLiteral("power-on"), QStringLiteral("last|custom [CH,..]"));
    // As the console: the mode first, then (when channels are given) the user-defined state.
    c.send(powerOnModeFrame(c.address(), custom));
    if (c.words.size() == 2) {
        QString bad;
        const auto list = channelWord(c.words[1], &bad);
        if (!list)
            return QStringLiteral("bad channel '%1' (1-8)").arg(bad);
        c.send(stateMaskFrame(c.address(), maskOf(*list)));
        c.request.steps.last().effect = effectOf(0xFF, maskOf(*list));
    }
    return {};
}

QString choice(Context& c, const char* yes, const char* no,
               const std::function<QByteArray(bool)>& frame) {
    if (c.words.size() != 1 ||
        (c.words[0] != QLatin1String(yes) && c.words[0] != QLatin1String(no)))
        return wrongCount(c.request.command,
                          QStringLiteral("%1|%2").arg(QLatin1String(yes), QLatin1String(no)));
    c.send(frame(c.words[0] == QLatin1String(yes)));
    return {};
}

QString noArguments(Context& c, const QByteArray& frame) {
    if (!c.words.isEmpty())
        return QStringLiteral("%1: unexpected argument '%2'")
            .arg(c.request.command, c.words.first());
    c.send(frame);
    return {};
}

// The controller's timed sequence over all channels, switched by its own delays.
QString timedAll(Context& c, bool on) {
    const QString error = noArguments(c, timedAllFrame(c.address(), on));
    if (error.isEmpty())
        c.request.steps.last().timed = true;
    return error;
}

QString setAddress(Context& c) {
    if (c.words.size() != 1)
        return wrongCount(QStringLiteral("set-address"), QStringLiteral("NEW"));
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    const int value = digits.match(c.words[0]).hasMatch() ? c.words[0].toInt() : 0;
    if (value < 1 || value > 253)
        return QStringLiteral("bad address '%1' (1-253: 254 is the broadcast address)")
            .arg(c.words[0]);
    // The new address goes out to the broadcast address, as from the console: every controller
    // on the line takes it, so the caller has to say so.
    if (!c.request.broadcast)
        return QStringLiteral("set-address: give -b: the new address goes to the broadcast "
                              "address, so every controller on the line takes it; disconnect "
                              "the others first");
    c.send(addressFrame(quint8(value)));
    return {};
}

QString status(Context& c) {
    c.request.query = true;
    QString bad;
    const auto list = channels(c.words, &bad);
    if (!list)
        return QStringLiteral("bad channel '%1' (1-8)").arg(bad);
    c.request.statusChannels = *list;
    c.send(statusQueryFrame(c.address()));
    return {};
}

const std::map<QString, Builder>& builders() {
    static const std::map<QString, Builder> table{
        {QStringLiteral("status"), status},
        {QStringLiteral("on"), [](Context& c) { return switchChannels(c, true); }},
        {QStringLiteral("off"), [](Context& c) { return switchChannels(c, false); }},
        {QStringLiteral("cycle"), cycle},
        {QStringLiteral("all-on"), [](Context& c) { return timedAll(c, true); }},
        {QStringLiteral("all-off"), [](Context& c) { return timedAll(c, false); }},
        {QStringLiteral("switch"), switchMany},
        {QStringLiteral("states"), states},
        {QStringLiteral("delays"), delays},
        {QStringLiteral("interlock"), interlock},
        {QStringLiteral("interlocks"), interlocks},
        {QStringLiteral("power-on"), powerOn},
        {QStringLiteral("keys"),
         [](Context& c) {
             return choice(c, "lock", "unlock",
                           [&c](bool lock) { return keyLockFrame(c.address(), lock); });
         }},
        {QStringLiteral("set-address"), setAddress},
    };
    return table;
}

// Which command each command option belongs to.
QString misplacedOption(const QString& command, const CommandOptions& options) {
    if (options.dwell && command != QLatin1String("cycle"))
        return QStringLiteral("bad option '--dwell': only for cycle");
    for (const auto& [set, name] : {std::pair{bool(options.on), "--on"},
                                    {bool(options.off), "--off"},
                                    {bool(options.after), "--after"}}) {
        if (set && command != QLatin1String("switch"))
            return QStringLiteral("bad option '%1': only for switch").arg(QLatin1String(name));
    }
    return {};
}

} // namespace

QString buildCommand(Request& request, const QStringList& words, const CommandOptions& options) {
    const auto builder = builders().find(request.command);
    if (builder == builders().end())
        return QStringLiteral("unknown command '%1' (see veskctl --help)").arg(request.command);
    if (const QString error = misplacedOption(request.command, options); !error.isEmpty())
        return error;
    Context context{request, words, options};
    if (const QString error = builder->second(context); !error.isEmpty())
        return error;
    // Several devices may answer a broadcast: nothing can be read back from it.
    if (!request.expected.isEmpty() && request.broadcast) {
        request.note =
            QStringLiteral("read-back off: broadcast address, several devices may answer");
    }
    if (request.broadcast || !request.verify) {
        request.expected.clear();
        for (Step& step : request.steps)
            step.confirm.clear();
    }
    static const QStringList stored{QStringLiteral("set-address"), QStringLiteral("interlock"),
                                    QStringLiteral("interlocks"), QStringLiteral("delays"),
                                    QStringLiteral("power-on")};
    if (stored.contains(request.command))
        request.note = QStringLiteral("the controllers take stored settings (address, "
                                      "interlocks, delays, power-on state) only after they are "
                                      "restarted");
    return {};
}

} // namespace vesk::ctl
