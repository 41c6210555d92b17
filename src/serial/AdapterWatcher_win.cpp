#include "AdapterWatcher.h"

#include <windows.h>
// dbt.h needs windows.h first.
#include <dbt.h>

namespace {

// The interface class of COM ports (GUID_DEVINTERFACE_COMPORT), spelt out so that no header
// order decides whether it is defined.
const GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

const wchar_t kWindowClass[] = L"TavloAdapterWatcher";

// The system tells top-level windows, not threads, that a device has arrived: a hidden window
// of this thread takes the message, and the thread's event loop dispatches it.
LRESULT CALLBACK WatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL) {
        auto* noticed =
            reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (noticed)
            (*noticed)();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterWindowClass()
{
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WatcherWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

class DeviceChangeSource : public AdapterWatcher::EventSource {
public:
    explicit DeviceChangeSource(std::function<void()> noticed) : noticed_(std::move(noticed)) {}
    ~DeviceChangeSource() override
    {
        if (notification_)
            UnregisterDeviceNotification(notification_);
        if (window_)
            DestroyWindow(window_);
    }

    bool open()
    {
        if (!RegisterWindowClass())
            return false;
        // Not a message-only window: those are not told of device arrivals.
        window_ = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        if (!window_)
            return false;
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&noticed_));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        notification_ = RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        return notification_ != nullptr;
    }

private:
    std::function<void()> noticed_;
    HWND window_ = nullptr;
    HDEVNOTIFY notification_ = nullptr;
};

} // namespace

// A COM port that returns is announced whatever its name: the name does not narrow the watch.
std::unique_ptr<AdapterWatcher::EventSource>
AdapterWatcher::OpenEventSource(const QString&, std::function<void()> noticed)
{
    auto source = std::make_unique<DeviceChangeSource>(std::move(noticed));
    if (!source->open())
        return nullptr;
    return source;
}
