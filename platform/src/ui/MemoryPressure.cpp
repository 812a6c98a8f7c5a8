// Memory pressure through GLib's memory monitor: the system's low-memory warnings, from whichever
// service reports them here (the desktop portal, the low-memory monitor on the system bus), arrive
// as its "low-memory-warning" signal on the thread that emits it. Each one is handed to the main
// queue and reaches the live view controllers there, whatever its level: the controllers have one
// answer to all of them.
#include "plat/uiapplication.h"

#include "WindowBackend.h"
#include "plat/dispatch.h"

#include <gio/gio.h>

namespace plat {

namespace {

void onLowMemory(GMemoryMonitor*, GMemoryMonitorWarningLevel, gpointer) {
    MainQueue::async(deliverMemoryWarning);
}

// Made once and kept for the life of the process, its signal connected.
GMemoryMonitor* monitor() {
    static GMemoryMonitor* const watched = [] {
        GMemoryMonitor* made = g_memory_monitor_dup_default();
        if (made) g_signal_connect(made, "low-memory-warning", G_CALLBACK(onLowMemory), nullptr);
        return made;
    }();
    return watched;
}

} // namespace

void UIApplication::watchMemoryPressure() {
    (void)monitor();
}

void UIApplication::simulateMemoryWarning() {
    if (GMemoryMonitor* watched = monitor())
        g_signal_emit_by_name(watched, "low-memory-warning", G_MEMORY_MONITOR_WARNING_LEVEL_LOW);
    else
        MainQueue::async(deliverMemoryWarning);
}

} // namespace plat
