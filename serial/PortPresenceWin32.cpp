#include "serial/PortPresence.h"

#include <windows.h>

#include <array>
#include <string_view>
#include <thread>
#include <utility>

#include "base/Win32Text.h"

namespace tarvel {

namespace {

// CM_Register_Notification came with Windows 8, and the build aims at
// Windows 7: it is looked up at run time, with its types as cfgmgr32.h
// declares them for Windows 8. Without it the watch looks every second.
struct NotifyFilter {
  DWORD cbSize;
  DWORD Flags;
  DWORD FilterType;  // 0: a device interface class
  DWORD Reserved;
  union {
    GUID ClassGuid;
    HANDLE hTarget;
    WCHAR InstanceId[200];
  } u;
};
using NotifyCallback = DWORD(CALLBACK*)(HANDLE, PVOID, DWORD, PVOID, DWORD);
using RegisterNotification = DWORD(WINAPI*)(NotifyFilter*, PVOID, NotifyCallback, HANDLE*);
using UnregisterNotification = DWORD(WINAPI*)(HANDLE);

// GUID_DEVINTERFACE_COMPORT: every COM port a driver makes.
constexpr GUID kComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
constexpr DWORD kLookWithoutNotificationsMs = 1000;

std::wstring DosName(const std::string& port) {
  std::string_view name = port;
  for (const std::string_view prefix : {"\\\\.\\", "//./"}) {
    if (name.substr(0, prefix.size()) == prefix) name.remove_prefix(prefix.size());
  }
  return win32::Wide(name);
}

DWORD CALLBACK Notified(HANDLE, PVOID context, DWORD, PVOID, DWORD) {
  ::SetEvent(static_cast<HANDLE>(context));
  return ERROR_SUCCESS;
}

class DeviceWatch final : public PortPresenceWatch {
 public:
  DeviceWatch(std::string port, std::function<void(bool)> changed)
      : port_(std::move(port)),
        changed_(std::move(changed)),
        stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        arrived_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (HMODULE cfgmgr = ::LoadLibraryW(L"cfgmgr32.dll")) {
      // Through void*: FARPROC's own type is no function's type.
      const auto registerFn = reinterpret_cast<RegisterNotification>(
          reinterpret_cast<void*>(::GetProcAddress(cfgmgr, "CM_Register_Notification")));
      unregister_ = reinterpret_cast<UnregisterNotification>(
          reinterpret_cast<void*>(::GetProcAddress(cfgmgr, "CM_Unregister_Notification")));
      NotifyFilter filter{};
      filter.cbSize = sizeof filter;
      filter.u.ClassGuid = kComPortInterface;
      if (registerFn != nullptr && unregister_ != nullptr &&
          registerFn(&filter, arrived_, &Notified, &notification_) != ERROR_SUCCESS) {
        notification_ = nullptr;
      }
    }
    thread_ = std::thread([this] { run(); });
  }
  ~DeviceWatch() override {
    // Unregistering waits for a callback in progress: none runs after it.
    if (notification_ != nullptr) unregister_(notification_);
    ::SetEvent(stop_);
    thread_.join();
    ::CloseHandle(arrived_);
    ::CloseHandle(stop_);
  }

 private:
  void run() {
    bool present = PortPresent(port_);
    changed_(present);
    const std::array<HANDLE, 2> events{stop_, arrived_};
    const DWORD bound = notification_ != nullptr ? INFINITE : kLookWithoutNotificationsMs;
    while (::WaitForMultipleObjects(2, events.data(), FALSE, bound) != WAIT_OBJECT_0) {
      const bool now = PortPresent(port_);
      if (now == present) continue;
      present = now;
      changed_(present);
    }
  }

  std::string port_;
  std::function<void(bool)> changed_;
  HANDLE stop_ = nullptr;
  HANDLE arrived_ = nullptr;
  HANDLE notification_ = nullptr;
  UnregisterNotification unregister_ = nullptr;
  std::thread thread_;
};

}  // namespace

bool PortPresent(const std::string& port) {
  std::array<wchar_t, 512> target{};
  return ::QueryDosDeviceW(DosName(port).c_str(), target.data(), static_cast<DWORD>(target.size())) != 0;
}

std::unique_ptr<PortPresenceWatch> WatchPortPresence(const std::string& port, std::function<void(bool)> changed,
                                                     std::string* /*error*/) {
  return std::make_unique<DeviceWatch>(port, std::move(changed));
}

}  // namespace tarvel
