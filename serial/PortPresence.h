// Whether a port is there, and word of its coming and going: a USB
// adapter plugged in makes its device and its /dev/serial links, and
// unplugged removes them. On Linux the folder of the port's path is watched
// (inotify), so a port named by a link starts to count when the link is
// made; on Windows the system's device notifications for COM ports wake
// the watch.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace tarvel {

// The path names something that can be opened as a port: a device, or a
// link that leads to one. A link to nothing is no port.
bool PortPresent(const std::string& port);

class PortPresenceWatch {
 public:
  virtual ~PortPresenceWatch() = default;  // ends the watch; no call after it returns
};

// Calls `changed(present)` on a thread of its own: once with the port as it
// is, then at each change. A folder that does not exist yet is no error:
// the nearest folder above it that does is watched until it is made. Null,
// with `error` set, when the system offers no watch.
std::unique_ptr<PortPresenceWatch> WatchPortPresence(const std::string& port, std::function<void(bool)> changed,
                                                     std::string* error);

}  // namespace tarvel
