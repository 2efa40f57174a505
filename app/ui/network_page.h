// The page "Common System Settings" of one tab set: the tester's network address and the output save mode,
// bound to item `item` of the network page model (0 on the uplink tab set, 1 on the downlink tab set).
#pragma once

#include "uplink/tester_network.h"

class QWidget;

namespace varnika::ui {

QWidget* make_network_page(TesterNetwork& network, int item, QWidget* parent);

} // namespace varnika::ui
