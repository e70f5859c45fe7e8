#include "queryarea.h"

#include <QCheckBox>
#include <QPushButton>

#include "core/statusquery.h"
#include "toolkit/toolkit.h"

namespace vesk {

QueryArea::QueryArea(const AreaContext& ctx, QWidget* frame6) : QObject(ctx.window), m_ctx(ctx) {
    m_testButton = new QPushButton(tr("查询设备当前状态"), ctx.window);
    m_testButton->setObjectName(QStringLiteral("TestButton"));
    m_testButton->setToolTip(tr("代码:CA 20 ID 20 01 01 AC"));
    toolkit::placeTwips(m_testButton, 360, 5400, 1695, 375);
    connect(m_testButton, &QPushButton::clicked, this, [this] { spawn(m_ctx.status.run()); });

    m_checktest = new QCheckBox(tr("自动查询设备状态"), frame6);
    m_checktest->setObjectName(QStringLiteral("Checktest"));
    toolkit::placeTwips(m_checktest, 180, 2640, 1815, 300);
    connect(m_checktest, &QCheckBox::toggled, &m_ctx.status, &StatusQuery::setAutomatic);
}

void QueryArea::showSeries(bool qx) {
    m_testButton->setVisible(!qx);
    m_checktest->setVisible(!qx);
}

} // namespace vesk
