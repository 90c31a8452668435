// The Linux port listing, with its roots as parameters for tests.
#pragma once

#include <string>
#include <vector>

#include "serial/PortList.h"

namespace tarvel {

// Terminals under <sysRoot>/class/tty that belong to a device. Legacy UART
// names without a UART behind them (serial core type 0) are left out, as are
// virtual consoles and pseudo-terminals. Sorted by device path in natural
// order.
std::vector<PortInfo> ListSysfsPorts(const std::string& sysRoot, const std::string& devRoot);

}  // namespace tarvel
