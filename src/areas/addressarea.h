// The address row: which controller the console talks to (or broadcast), and writing a new address
// into a controller.
#pragma once

#include <QObject>
#include <QStringList>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QPushButton;

#include "areas/context.h"

namespace vesk {

class AddressArea : public QObject {
    Q_OBJECT
public:
    explicit AddressArea(const AreaContext& ctx);

    // Start-up: the entries appended to both lists (in one insertion each), then the initial
    // selection.
    void appendEntries(const QStringList& texts);
    void selectInitialEntries(int position);
    // Ticks or unticks the broadcast box (which enables or disables the address list).
    void setBroadcast(bool on);

    // 254 while broadcast is ticked, otherwise the selected address; nullopt when none is selected.
    std::optional<quint8> currentAddress() const;

    // Writes the selected new address to the controller, always through the broadcast address.
    void writeNewAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AreaContext m_ctx;
    std::array<QComboBox*, 2> m_idCombo{};
    QCheckBox* m_check2 = nullptr;
    QPushButton* m_idSet = nullptr;
};

} // namespace vesk
