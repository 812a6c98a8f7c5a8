// On-screen windows through GTK 3.
//
// The toplevel holds an overlay whose main child is the drawing area that shows the view tree;
// native widgets placed over views are further overlay children, each allocated at its view's frame,
// so input outside them still reaches the drawing area. The first window installs GLib's main
// context as the main run loop's host: waiting for work turns the GTK main loop.
#include "WindowBackend.h"
#include "plat/console.h"
#include "plat/dispatch.h"
#include "plat/files.h"
#include "plat/uiapplication.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <span>

namespace plat {

namespace {

class GlibHost final : public RunLoopHost {
public:
    void wake() override { g_main_context_wakeup(nullptr); }
    void poll() override {
        // Bounded, so a flood of toolkit events cannot starve the loop's own work.
        for (int i = 0; i < 64 && g_main_context_pending(nullptr); ++i)
            g_main_context_iteration(nullptr, FALSE);
    }
    void wait(std::chrono::steady_clock::time_point until) override {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            g_main_context_iteration(nullptr, FALSE);
            return;
        }
        struct Alarm {
            bool fired = false;
        };
        auto* alarm = new Alarm;
        const guint ms = guint(std::min<long long>(left.count(), 3'600'000));
        const guint id = g_timeout_add_full(
            G_PRIORITY_DEFAULT, ms,
            [](gpointer data) -> gboolean {
                static_cast<Alarm*>(data)->fired = true;
                return G_SOURCE_REMOVE;
            },
            alarm, nullptr);
        g_main_context_iteration(nullptr, TRUE);
        if (!alarm->fired) g_source_remove(id);
        delete alarm;
    }
};

// Xlib ends the process once this returns, and the toolkit's own handler ends it without a word:
// the run ends here instead, its outputs finished.
int onDisplayLost(Display*) {
    UIApplication::endAtOnce("The connection to the display was lost.");
}

bool gtkReady(std::string& error) {
    static const bool ready = [] {
        // Before the toolkit opens the display, so that a display lost while it does ends the run as
        // well, and again after it, as the toolkit puts its own in place.
        XSetIOErrorHandler(onDisplayLost);
        if (!gtk_init_check(nullptr, nullptr)) return false;
        XSetIOErrorHandler(onDisplayLost);
        serveGLibMainContext();
        return true;
    }();
    if (!ready)
        error = "Cannot open a window: no display (DISPLAY is not set or the display cannot be opened).";
    return ready;
}

using State = UIGestureRecognizer::State;

class GtkBackend final : public UIWindow::Backend {
public:
    GtkBackend(UIWindow& owner, CGSize size, const std::string& title) : owner_(owner) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(window_);
        gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
        gtk_window_set_default_size(GTK_WINDOW(window_), int(size.width), int(size.height));
        overlay_ = gtk_overlay_new();
        area_ = gtk_drawing_area_new();
        gtk_widget_set_size_request(area_, 64, 64);
        gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                         GDK_BUTTON1_MOTION_MASK | GDK_SCROLL_MASK |
                                         GDK_TOUCHPAD_GESTURE_MASK);
        gtk_container_add(GTK_CONTAINER(overlay_), area_);
        gtk_container_add(GTK_CONTAINER(window_), overlay_);

        g_signal_connect(area_, "draw", G_CALLBACK(+[](GtkWidget* w, cairo_t* cr, gpointer self) -> gboolean {
                             static_cast<GtkBackend*>(self)->draw(w, cr);
                             return TRUE;
                         }),
                         this);
        g_signal_connect(area_, "size-allocate", G_CALLBACK(+[](GtkWidget*, GdkRectangle* a, gpointer self) {
                             auto& owner = static_cast<GtkBackend*>(self)->owner_;
                             owner.setFrame({0, 0, double(a->width), double(a->height)});
                             owner.layoutIfNeeded();
                         }),
                         this);
        g_signal_connect(area_, "button-press-event", G_CALLBACK(onButton), this);
        g_signal_connect(area_, "button-release-event", G_CALLBACK(onButton), this);
        g_signal_connect(
            area_, "motion-notify-event",
            G_CALLBACK(+[](GtkWidget*, GdkEventMotion* e, gpointer self) -> gboolean {
                if (e->state & GDK_BUTTON1_MASK)
                    static_cast<GtkBackend*>(self)->owner_.sendTouch(UITouch::Phase::moved, {e->x, e->y});
                return TRUE;
            }),
            this);
        g_signal_connect(area_, "grab-broken-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             static_cast<GtkBackend*>(self)->owner_.sendTouch(UITouch::Phase::cancelled, {});
                             return FALSE;
                         }),
                         this);
        g_signal_connect(area_, "scroll-event", G_CALLBACK(onScroll), this);
        g_signal_connect(area_, "event", G_CALLBACK(onTouchpad), this);
        g_signal_connect(overlay_, "get-child-position", G_CALLBACK(onChildPosition), this);
        g_signal_connect(window_, "delete-event",
                         G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                             auto* b = static_cast<GtkBackend*>(self);
                             if (b->owner_.onClose) b->owner_.onClose();
                             b->close();
                             return TRUE;
                         }),
                         this);

        GtkSettings* settings = gtk_settings_get_default();
        gint clickTime = 400, clickDistance = 5;
        g_object_get(settings, "gtk-double-click-time", &clickTime, "gtk-double-click-distance",
                     &clickDistance, nullptr);
        owner_.doubleClickTime = std::chrono::milliseconds(clickTime);
        owner_.doubleClickDistance = clickDistance;
    }

    ~GtkBackend() override {
        if (wheelEnd_) wheelEnd_->invalidate();
        for (auto& [controller, dialog] : dialogs_) gtk_widget_destroy(dialog);
        dialogs_.clear();
        close();
    }

    bool onScreen() const override { return window_ != nullptr; }

    void show() override {
        if (window_) gtk_widget_show_all(window_);
    }

    void resize(CGSize size) override {
        if (window_)
            gtk_window_resize(GTK_WINDOW(window_), std::max(1, int(size.width)),
                              std::max(1, int(size.height)));
    }

    void setMinimumSize(CGSize size) override {
        if (!window_) return;
        GdkGeometry hints{};
        hints.min_width = int(std::ceil(size.width));
        hints.min_height = int(std::ceil(size.height));
        gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &hints, GDK_HINT_MIN_SIZE);
    }

    void setNeedsDraw(const std::optional<std::vector<CGRect>>& damage) override {
        if (!area_) return;
        if (!damage) {
            gtk_widget_queue_draw(area_);
            return;
        }
        cairo_region_t* region = cairo_region_create();
        for (const CGRect& r : *damage) {
            const int x0 = int(std::floor(r.minX())), y0 = int(std::floor(r.minY()));
            const cairo_rectangle_int_t box{x0, y0, int(std::ceil(r.maxX())) - x0,
                                            int(std::ceil(r.maxY())) - y0};
            cairo_region_union_rectangle(region, &box);
        }
        gtk_widget_queue_draw_region(area_, region);
        cairo_region_destroy(region);
    }

    void close() override {
        if (!window_) return;
        GtkWidget* w = window_;
        window_ = overlay_ = area_ = nullptr;
        for (auto& [widget, host] : natives_) g_signal_handlers_disconnect_by_data(widget, this);
        natives_.clear();
        dropFrame();
        gtk_widget_destroy(w);
        g_object_unref(w);
    }

    bool presentDialog(const std::shared_ptr<UIViewController>& controller) override {
        if (!window_) return false;
        GtkWidget* dialog = nullptr;
        if (auto alert = std::dynamic_pointer_cast<UIAlertController>(controller)) {
            dialog = alertDialog(*alert);
        } else if (auto picker = std::dynamic_pointer_cast<UIDocumentPickerViewController>(controller)) {
            dialog = gtk_file_chooser_dialog_new(picker->title.empty() ? "Open" : picker->title.c_str(),
                                                 GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                 GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
            gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), picker->allowsMultipleSelection);
        }
        if (dialog == nullptr) return false;
        auto* weak = new std::weak_ptr<UIViewController>(controller);
        g_signal_connect_data(
            dialog, "response", G_CALLBACK(onResponse), weak,
            [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<UIViewController>*>(data); },
            GConnectFlags(0));
        dialogs_[controller.get()] = dialog;
        gtk_widget_show_all(dialog);
        return true;
    }

    void dismissDialog(const UIViewController* controller) override {
        const auto it = dialogs_.find(controller);
        if (it == dialogs_.end()) return;
        GtkWidget* dialog = it->second;
        dialogs_.erase(it);
        gtk_widget_destroy(dialog);
    }

    bool placeNativeWidget(void* widget, const std::shared_ptr<UIView>& host) override {
        if (!overlay_) return false;
        GtkWidget* w = GTK_WIDGET(widget);
        if (!natives_.contains(w)) {
            gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), w);
            // A widget destroyed by its owner (a web view going away) leaves the overlay and this map.
            g_signal_connect(w, "destroy", G_CALLBACK(+[](GtkWidget* gone, gpointer self) {
                                 static_cast<GtkBackend*>(self)->natives_.erase(gone);
                             }),
                             this);
        }
        natives_[w] = host;
        layoutNative();
        return true;
    }

    void layoutNative() override {
        if (!overlay_ || natives_.empty()) return;
        for (auto& [widget, weak] : natives_) {
            auto host = weak.lock();
            bool visible = host && host->window().get() == &owner_;
            for (auto v = host; visible && v; v = v->superview()) visible = !v->isHidden() && v->alpha() > 0;
            gtk_widget_set_visible(widget, visible);
        }
        gtk_widget_queue_resize(overlay_);
    }

    bool screenshot(const std::string& path, std::string* error) override {
        if (!area_ || !gtk_widget_get_realized(area_)) return fail(error, "The window is not on screen.");
        gtk_widget_queue_draw(area_);
        for (int i = 0; i < 1000 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
        gdk_display_sync(gdk_display_get_default());
        GdkWindow* gw = gtk_widget_get_window(window_);
        GdkPixbuf* pixels =
            gdk_pixbuf_get_from_window(gw, 0, 0, gdk_window_get_width(gw), gdk_window_get_height(gw));
        if (pixels == nullptr) return fail(error, "The window's pixels could not be read.");
        // Encoded in memory and saved as every file is, so a failed write leaves the old one and no
        // leftover beside it.
        gchar* png = nullptr;
        gsize size = 0;
        GError* gerror = nullptr;
        const bool encoded = gdk_pixbuf_save_to_buffer(pixels, &png, &size, "png", &gerror, nullptr);
        g_object_unref(pixels);
        if (!encoded) {
            const std::string why = gerror ? gerror->message : "unknown error";
            if (gerror) g_error_free(gerror);
            return fail(error, "Cannot write " + cutInMiddle(path) + ": " + cutInMiddle(why));
        }
        const auto written = writeFileAtomically(
            path, std::span<const std::uint8_t>(reinterpret_cast<std::uint8_t*>(png), size));
        g_free(png);
        if (!written.ok()) return fail(error, written.error().description);
        return true;
    }

    void* nativeWindow() const override { return window_; }

    unsigned long nativeWindowId() const override {
        if (!window_ || !gtk_widget_get_realized(window_)) return 0;
        GdkWindow* gw = gtk_widget_get_window(window_);
        return GDK_IS_X11_WINDOW(gw) ? gdk_x11_window_get_xid(gw) : 0;
    }

private:
    // The tree is composited into an image of our own, then handed to the toolkit in one piece: a
    // paint per view onto the toolkit's surface would send each picture to the display server.
    // Only the region the toolkit asks for is composited again.
    void draw(GtkWidget* widget, cairo_t* cr) {
        cairo_rectangle_list_t* dirty = cairo_copy_clip_rectangle_list(cr);
        const int scale = gtk_widget_get_scale_factor(widget);
        const int width = gtk_widget_get_allocated_width(widget) * scale;
        const int height = gtk_widget_get_allocated_height(widget) * scale;
        if (!frame_ || cairo_image_surface_get_width(frame_) != width ||
            cairo_image_surface_get_height(frame_) != height) {
            dropFrame();
            // Shared with the display server where it can be: the damaged parts then reach it
            // without going through the socket.
            frame_ = gdk_window_create_similar_image_surface(gtk_widget_get_window(widget),
                                                             CAIRO_FORMAT_ARGB32, width, height, 1);
            if (cairo_surface_status(frame_) != CAIRO_STATUS_SUCCESS) {
                cairo_surface_destroy(frame_);
                frame_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
            }
            if (cairo_surface_status(frame_) != CAIRO_STATUS_SUCCESS) { // no memory for that size
                dropFrame();
                cairo_rectangle_list_destroy(dirty);
                return;
            }
            cairo_t* fresh = cairo_create(frame_);
            frameContext_ = std::make_unique<CGContext>(fresh);
            cairo_destroy(fresh);
        }
        CGContext& ctx = *frameContext_;
        ctx.saveGState();
        parts_.clear();
        if (dirty->status == CAIRO_STATUS_SUCCESS) {
            for (int i = 0; i < dirty->num_rectangles; ++i) {
                const cairo_rectangle_t& r = dirty->rectangles[i];
                const double x0 = std::floor(r.x * scale), y0 = std::floor(r.y * scale);
                parts_.push_back({x0, y0, std::ceil((r.x + r.width) * scale) - x0,
                                  std::ceil((r.y + r.height) * scale) - y0});
            }
            // The toolkit's region comes in bands: what one damaged part became is joined again.
            coalesceRects(parts_, 1024);
        } else {
            parts_.push_back({0, 0, double(width), double(height)});
        }
        cairo_rectangle_list_destroy(dirty);
        owner_.renderInto(ctx, scale, parts_);
        ctx.restoreGState();
        cairo_save(cr);
        cairo_scale(cr, 1.0 / scale, 1.0 / scale);
        cairo_set_source_surface(cr, frame_, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_restore(cr);
    }

    void dropFrame() {
        frameContext_.reset();
        if (frame_) cairo_surface_destroy(frame_);
        frame_ = nullptr;
    }

    static bool fail(std::string* error, const std::string& why) {
        if (error) *error = why;
        return false;
    }

    GtkWidget* alertDialog(UIAlertController& alert) {
        GtkWidget* dialog = gtk_message_dialog_new(
            GTK_WINDOW(window_), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
            GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s", alert.alertTitle().c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), alert.alertTitle().c_str());
        if (!alert.message().empty())
            gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                     alert.message().c_str());
        GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
        for (const auto& field : alert.textFields()) {
            GtkWidget* entry = gtk_entry_new();
            gtk_entry_set_text(GTK_ENTRY(entry), field->text.c_str());
            gtk_entry_set_placeholder_text(GTK_ENTRY(entry), field->placeholder.c_str());
            gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
            gtk_container_add(GTK_CONTAINER(area), entry);
        }
        int index = 0;
        for (const auto& action : alert.actions()) {
            gtk_dialog_add_button(GTK_DIALOG(dialog), action->title().c_str(), index);
            if (action->style() == UIAlertAction::Style::defaultStyle)
                gtk_dialog_set_default_response(GTK_DIALOG(dialog), index);
            ++index;
        }
        return dialog;
    }

    static void onResponse(GtkDialog* dialog, gint response, gpointer data) {
        auto controller = static_cast<std::weak_ptr<UIViewController>*>(data)->lock();
        if (!controller) return;
        if (auto alert = std::dynamic_pointer_cast<UIAlertController>(controller)) {
            GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
            GList* children = gtk_container_get_children(GTK_CONTAINER(area));
            std::size_t field = 0;
            for (GList* c = children; c != nullptr; c = c->next)
                if (GTK_IS_ENTRY(c->data) && field < alert->textFields().size())
                    alert->textFields()[field++]->text = gtk_entry_get_text(GTK_ENTRY(c->data));
            g_list_free(children);
            if (response < 0) { // closed without a button: the cancel button's answer, if there is one
                for (std::size_t i = 0; i < alert->actions().size(); ++i)
                    if (alert->actions()[i]->style() == UIAlertAction::Style::cancel) response = gint(i);
            }
            if (response >= 0)
                alert->performAction(std::size_t(response));
            else
                alert->dismiss(true);
        } else if (auto picker = std::dynamic_pointer_cast<UIDocumentPickerViewController>(controller)) {
            if (response != GTK_RESPONSE_ACCEPT) {
                picker->cancel();
                return;
            }
            std::vector<URL> urls;
            GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog));
            for (GSList* f = files; f != nullptr; f = f->next) {
                urls.push_back(URL::fileURL(static_cast<const char*>(f->data)));
                g_free(f->data);
            }
            g_slist_free(files);
            picker->pick(urls);
        }
    }

    static gboolean onButton(GtkWidget*, GdkEventButton* e, gpointer self) {
        if (e->button != 1) return FALSE;
        auto& owner = static_cast<GtkBackend*>(self)->owner_;
        if (e->type == GDK_BUTTON_PRESS)
            owner.sendTouch(UITouch::Phase::began, {e->x, e->y});
        else if (e->type == GDK_BUTTON_RELEASE)
            owner.sendTouch(UITouch::Phase::ended, {e->x, e->y});
        return TRUE; // double and triple presses are counted by the window itself
    }

    static gboolean onScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
        auto* self = static_cast<GtkBackend*>(data);
        if (!(e->state & GDK_CONTROL_MASK)) return FALSE;
        double factor = 1;
        if (e->direction == GDK_SCROLL_UP)
            factor = 1.1;
        else if (e->direction == GDK_SCROLL_DOWN)
            factor = 1 / 1.1;
        else if (e->direction == GDK_SCROLL_SMOOTH)
            factor = std::pow(1.1, -e->delta_y);
        if (factor == 1) return TRUE;
        self->wheelPoint_ = {e->x, e->y};
        if (!self->wheelPinching_) {
            self->wheelPinching_ = true;
            self->wheelScale_ = 1;
            self->owner_.sendPinch(State::began, self->wheelPoint_, 1);
        }
        self->wheelScale_ *= factor;
        self->owner_.sendPinch(State::changed, self->wheelPoint_, self->wheelScale_);
        // The wheel has no lift-off: the pinch ends when the wheel has rested a moment.
        if (self->wheelEnd_) self->wheelEnd_->invalidate();
        self->wheelEnd_ = Timer::scheduled(0.3, false, [self](Timer&) {
            self->wheelPinching_ = false;
            self->owner_.sendPinch(State::ended, self->wheelPoint_, self->wheelScale_);
        });
        return TRUE;
    }

    static gboolean onTouchpad(GtkWidget*, GdkEvent* event, gpointer data) {
        if (event->type != GDK_TOUCHPAD_PINCH) return FALSE;
        auto* self = static_cast<GtkBackend*>(data);
        const GdkEventTouchpadPinch& e = event->touchpad_pinch;
        State phase = State::changed;
        switch (e.phase) {
        case GDK_TOUCHPAD_GESTURE_PHASE_BEGIN:
            phase = State::began;
            break;
        case GDK_TOUCHPAD_GESTURE_PHASE_UPDATE:
            phase = State::changed;
            break;
        case GDK_TOUCHPAD_GESTURE_PHASE_END:
            phase = State::ended;
            break;
        case GDK_TOUCHPAD_GESTURE_PHASE_CANCEL:
            phase = State::cancelled;
            break;
        }
        self->owner_.sendPinch(phase, {e.x, e.y}, e.scale);
        return TRUE;
    }

    static gboolean onChildPosition(GtkOverlay*, GtkWidget* widget, GdkRectangle* allocation, gpointer data) {
        auto* self = static_cast<GtkBackend*>(data);
        const auto it = self->natives_.find(widget);
        if (it == self->natives_.end()) return FALSE;
        auto host = it->second.lock();
        if (!host) return FALSE;
        const CGRect r = host->convert(host->bounds(), nullptr);
        allocation->x = int(std::lround(r.minX()));
        allocation->y = int(std::lround(r.minY()));
        allocation->width = std::max(1, int(std::lround(r.width())));
        allocation->height = std::max(1, int(std::lround(r.height())));
        return TRUE;
    }

    UIWindow& owner_;
    GtkWidget* window_ = nullptr;
    GtkWidget* overlay_ = nullptr;
    GtkWidget* area_ = nullptr;
    std::map<GtkWidget*, std::weak_ptr<UIView>> natives_;
    std::map<const UIViewController*, GtkWidget*> dialogs_;
    bool wheelPinching_ = false;
    CGFloat wheelScale_ = 1;
    CGPoint wheelPoint_;
    std::shared_ptr<Timer> wheelEnd_;
    cairo_surface_t* frame_ = nullptr;
    std::unique_ptr<CGContext> frameContext_;
    std::vector<CGRect> parts_; // kept, so a frame allocates none
};

} // namespace

void serveGLibMainContext() {
    static const bool installed = [] {
        RunLoop::main().setHost(std::make_shared<GlibHost>());
        return true;
    }();
    (void)installed;
}

std::unique_ptr<UIWindow::Backend> makeGtkBackend(UIWindow& window, CGSize size, const std::string& title,
                                                  std::string& error) {
    if (!gtkReady(error)) return nullptr;
    return std::make_unique<GtkBackend>(window, size, title);
}

} // namespace plat
