// What the system can tell about a port beyond the port list: who holds it,
// which group may open it, and the adapter's latency timer. It names the
// cause when a port does not open or a radio answers late.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvel {

struct PortHolder {
  int pid = 0;
  std::string program;   // the process's program name; empty if unknown
  std::string lockPath;  // the UUCP lock file that names it; empty: found by its open descriptor
};

// The processes that hold `device`: first the one whose UUCP lock file in
// `lockFolders` names it (a running process), then those that have it open,
// from the descriptor links under <procRoot>/*/fd, this process left out.
// Other users' processes cannot be looked into, so an empty list does not
// mean that nobody holds the port. Always empty on Windows.
std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procRoot = "/proc",
                                        const std::vector<std::string>& lockFolders = {"/run/lock", "/var/lock"});

struct DeviceGroup {
  std::string name;     // the group's name, or its number when the group file does not name it
  bool member = false;  // whether this process has the group
};

// The group that owns the device node, named from `groupFile`; none when
// the node cannot be looked at, and always none on Windows.
std::optional<DeviceGroup> DeviceGroupOf(const std::string& device, const std::string& groupFile = "/etc/group");

// The name of the user this process runs as, for the command that grants
// access to a port ("sudo adduser NAME dialout"): from the user database
// by the effective user id, as $USER may name someone else (setpriv, su).
std::string CurrentUserName();

// The latency timer of the adapter behind `device` as it stands now, in
// milliseconds; -1 for an adapter without one.
int CurrentLatencyTimer(const std::string& device, const std::string& sysRoot = "/sys");
// Linux: the timer of the terminal <sysRoot>/class/tty/<ttyName>, which
// ftdi_sio shows beside the port.
int LatencyTimerOfTty(const std::string& sysRoot, const std::string& ttyName);

// The family of a USB-serial chip by its vendor id ("0403"): "FTDI",
// "Silicon Labs CP210x", "Prolific PL2303", "WCH CH34x"; empty for others.
std::string AdapterFamily(const std::string& vendorId);

}  // namespace tarvel
