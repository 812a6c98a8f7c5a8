#pragma once
// Window tests under Xvfb: waiting for a condition while the main loop serves the window, and what
// the display server shows against what the view tree draws.

#include "plat/uiwindow.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>

// Serves the main loop until `done` holds; generous, for busy machines.
inline bool waitFor(const std::function<bool()>& done, double seconds = 30) {
    return plat::RunLoop::main().runUntil(done, std::chrono::milliseconds(long(seconds * 1000)));
}

// The largest difference of a colour channel between the window's pixels on the display and the
// tree rendered afresh: 0 when the screen shows what the tree draws, large where a part was left
// stale. The display is read as it stands, without asking for a redraw first.
inline int screenAgainstTree(plat::UIWindow& window) {
    gdk_display_sync(gdk_display_get_default());
    GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(window.nativeWindow()));
    const auto tree = window.snapshot();
    GdkPixbuf* screen = gdk_pixbuf_get_from_window(gw, 0, 0, tree->width(), tree->height());
    if (screen == nullptr) return 256;
    const int stride = gdk_pixbuf_get_rowstride(screen), step = gdk_pixbuf_get_n_channels(screen);
    const guchar* pixels = gdk_pixbuf_get_pixels(screen);
    int worst = 0;
    for (int y = 0; y < tree->height(); ++y)
        for (int x = 0; x < tree->width(); ++x) {
            const guchar* s = pixels + y * stride + x * step;
            const plat::Pixel t = tree->pixel(x, y);
            worst = std::max({worst, std::abs(s[0] - t.r), std::abs(s[1] - t.g), std::abs(s[2] - t.b)});
        }
    g_object_unref(screen);
    return worst;
}
