// The status query's controls: the query button on the window and the automatic-query box in
// Frame6. Both belong to the 5200 series' layout.
#pragma once

#include <QObject>

#include "areas/context.h"

class QCheckBox;
class QPushButton;

namespace vesk {

class QueryArea : public QObject {
    Q_OBJECT
public:
    QueryArea(const AreaContext& ctx, QWidget* frame6);

    void showSeries(bool qx);

private:
    AreaContext m_ctx;
    QPushButton* m_testButton = nullptr;
    QCheckBox* m_checktest = nullptr;
};

} // namespace vesk
