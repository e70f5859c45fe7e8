// The port buttons' tooltips, context menu and typed-entry dialog.
#include <QCoreApplication>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>
#include <QSerialPortInfo>

#include "areas/portselector.h"
#include "core/devicelink.h"
#include "core/notices.h"
#include "core/portchoice.h"
#include "core/portreasons.h"
#include "core/reopener.h"
#include "core/serialport.h"
#include "core/statusquery.h"

namespace vesk {

namespace {

QString sourceText(PortSource source) {
    switch (source) {
    case PortSource::CommandLine:
        return QCoreApplication::translate("vesk::PortSelector", "命令行");
    case PortSource::Environment:
        return QCoreApplication::translate("vesk::PortSelector", "环境变量");
    case PortSource::Saved:
        return QCoreApplication::translate("vesk::PortSelector", "保存的选择");
    case PortSource::Default:
        break;
    }
    return QCoreApplication::translate("vesk::PortSelector", "默认");
}

// What the system knows about a serial device: description, manufacturer, serial number.
QString deviceFacts(const QSerialPortInfo& info) {
    QStringList facts;
    if (!info.description().isEmpty())
        facts << info.description();
    if (!info.manufacturer().isEmpty())
        facts << info.manufacturer();
    if (!info.serialNumber().isEmpty())
        facts << QCoreApplication::translate("vesk::PortSelector", "序列号 %1")
                     .arg(info.serialNumber());
    return facts.join(QStringLiteral(", "));
}

std::optional<QSerialPortInfo> infoFor(const QString& path, const QList<QSerialPortInfo>& present) {
    const QString device = QFileInfo(path).canonicalFilePath();
    for (const QSerialPortInfo& info : present) {
        if (info.systemLocation() == device || info.portName() == path)
            return info;
    }
    return std::nullopt;
}

// The /dev/serial/by-id/ link of a device, where it has one.
QString byIdLink(const QString& device) {
    const QStringList adapters = usbAdapters();
    for (const QString& path : adapters) {
        if (path.contains(QLatin1String("/by-id/")) &&
            QFileInfo(path).canonicalFilePath() == device)
            return path;
    }
    return device;
}

} // namespace

void PortSelector::refreshTooltips(bool rescan) {
    if (rescan) {
        m_present = QSerialPortInfo::availablePorts();
        m_listed = true;
    }
    for (int index = 0; index < 4; ++index)
        m_buttons[index]->setToolTip(tooltip(index, m_present));
}

QString PortSelector::tooltip(int index, const QList<QSerialPortInfo>& present) const {
    const ResolvedPort& chosen = m_choices.port(index + 1);
    QStringList lines;
    lines << tr("COM%1: %2（%3）")
                 .arg(index + 1)
                 .arg(chosen.location.text(), sourceText(chosen.source));
    if (!chosen.location.isTcp()) {
        if (const auto info = infoFor(chosen.location.path, present);
            info && !deviceFacts(*info).isEmpty())
            lines << deviceFacts(*info);
    }
    const SerialPortControl& port = m_link.port();
    if (port.commPort() == index + 1) {
        // Only valid status replies count as answers: noise on the line does not.
        if (port.portOpen() && m_status.silent())
            lines << tr("已打开；%1").arg(m_status.silenceText());
        else if (port.portOpen())
            lines << (m_status.lastAnswer().isNull() ? tr("已打开，设备尚未应答")
                                                     : tr("已打开，设备已应答"));
        else if (port.connecting())
            lines << tr("正在连接…");
        else if (m_reopener->watching())
            lines << tr("设备已断开，等待重新连接…");
        // The program that holds the line and lends it ("through vesk-mqtt, process 4711").
        if ((port.portOpen() || port.connecting()) && !port.via().isEmpty())
            lines << port.via();
    }
    if (!m_reasons[index].isEmpty())
        lines << tr("打开失败：%1").arg(m_reasons[index]);
    return lines.join(QLatin1Char('\n'));
}

QMenu* PortSelector::buildMenu(int index) {
    auto* menu = new QMenu(m_buttons[index]);
    menu->setObjectName(QStringLiteral("portMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString current = m_choices.port(index + 1).location.text();
    refreshTooltips(true);
    for (const QSerialPortInfo& info : std::as_const(m_present)) {
        const QString path = byIdLink(info.systemLocation());
        QString text = path;
        if (const QString facts = deviceFacts(info); !facts.isEmpty())
            text += QStringLiteral(" — ") + facts;
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(path == current || info.systemLocation() == current);
        connect(action, &QAction::triggered, this, [this, index, path] {
            if (const auto location = parsePortLocation(path))
                choose(index, *location);
        });
    }
    if (menu->isEmpty())
        menu->addAction(tr("（未找到串口）"))->setEnabled(false);
    menu->addSeparator();
    QAction* other = menu->addAction(tr("其他路径或 tcp:// 地址…"));
    other->setObjectName(QStringLiteral("otherPort"));
    connect(other, &QAction::triggered, this,
            [this, index, current] { askForPort(index, current); });
    QAction* forget = menu->addAction(tr("忘记保存的选择"));
    forget->setObjectName(QStringLiteral("forgetPort"));
    connect(forget, &QAction::triggered, this, [this, index] {
        SerialPortControl& port = m_link.port();
        const bool current = port.commPort() == index + 1 && port.portOpen();
        m_choices.forget(index + 1);
        m_choices.applyTo(port);
        if (current)
            select(index);
    });
    return menu;
}

void PortSelector::askForPort(int index, const QString& text) {
    auto* dialog = new QInputDialog(m_buttons[index]->window());
    dialog->setObjectName(QStringLiteral("portEntry"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(appTitle());
    dialog->setLabelText(
        tr("COM%1 的设备路径（如 /dev/ttyUSB0）或 tcp://主机:端口：").arg(index + 1));
    dialog->setTextValue(text);
    connect(dialog, &QInputDialog::textValueSelected, this, [this, index](const QString& typed) {
        QString why;
        const auto location = parsePortLocation(typed, &why);
        // Only a port is stored: a character device, a tcp:// address, or a device path that
        // does not exist yet. A regular file or a folder would only fail at every open.
        const bool device = location && location->kind == PortLocation::Kind::Device;
        if (device)
            why = notSerialReason(location->path);
        if (location && why.isEmpty()) {
            if (device && !QFileInfo::exists(location->path)) {
                m_messages.show(
                    {tr("%1 目前不存在（适配器未插上？）。已为 COM%2 保存，插上后即可使用。")
                         .arg(location->path)
                         .arg(index + 1),
                     appTitle(), Icon::None, Buttons::Ok});
            }
            return choose(index, *location);
        }
        // Refused: nothing is stored, and the entry comes back to be corrected.
        m_messages.show(
            {tr("“%1”不是有效的端口：%2").arg(typed, why), appTitle(), Icon::Warning, Buttons::Ok});
        askForPort(index, typed);
    });
    dialog->open();
}

} // namespace vesk
