#include "platform/gtk/gtk_platform.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <array>
#include <cfenv>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <utility>

#include "platform/gtk/icons.hpp"

namespace nubeko {
namespace {

// One strong reference to a GObject (floating references are sunk).
template <typename T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* object) : object_(object) {
        if (object_ != nullptr) g_object_ref_sink(object_);
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (object_ != nullptr) g_object_unref(object_);
    }
    T* get() const { return object_; }

private:
    T* object_ = nullptr;
};

// Destroys a widget the program made, unless its parent already took it down.
class OwnedWidget {
public:
    explicit OwnedWidget(GtkWidget* widget) : widget_(widget) {}
    OwnedWidget(const OwnedWidget&) = delete;
    OwnedWidget& operator=(const OwnedWidget&) = delete;
    ~OwnedWidget() {
        if (!gtk_widget_in_destruction(widget_.get())) gtk_widget_destroy(widget_.get());
    }
    GtkWidget* get() const { return widget_.get(); }

private:
    Ref<GtkWidget> widget_;
};

class WeakWidget {
public:
    WeakWidget() { g_weak_ref_init(&ref_, nullptr); }
    WeakWidget(const WeakWidget&) = delete;
    WeakWidget& operator=(const WeakWidget&) = delete;
    ~WeakWidget() { g_weak_ref_clear(&ref_); }
    void set(GtkWidget* widget) { g_weak_ref_set(&ref_, widget); }
    // A strong reference, or none when the widget is gone.
    GtkWidget* take() { return static_cast<GtkWidget*>(g_weak_ref_get(&ref_)); }

private:
    GWeakRef ref_;
};

struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    friend bool operator==(const FrameExtents&, const FrameExtents&) = default;
};

std::optional<FrameExtents> read_frame_extents(GdkWindow* window) {
    GdkDisplay* display = gdk_window_get_display(window);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    gdk_x11_display_error_trap_push(display);
    const int status = XGetWindowProperty(
        GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(window),
        gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS"), 0, 4, False, XA_CARDINAL,
        &type, &format, &count, &after, &data);
    gdk_x11_display_error_trap_pop_ignored(display);
    std::optional<FrameExtents> extents;
    if (status == Success && type == XA_CARDINAL && format == 32 && count == 4) {
        const auto* v = reinterpret_cast<const long*>(data);  // format 32 comes as long
        extents = FrameExtents{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                               static_cast<int>(v[3])};
    }
    if (data != nullptr) XFree(data);
    return extents;
}

// Asks the window manager what frame it will put around the (still unmapped)
// window. Without a window manager there is no frame.
FrameExtents request_frame_extents(GdkWindow* window) {
    GdkScreen* screen = gdk_window_get_screen(window);
    if (!gdk_x11_screen_supports_net_wm_hint(screen,
                                             gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS")))
        return {};
    GdkDisplay* display = gdk_window_get_display(window);
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = GDK_WINDOW_XID(window);
    event.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
    event.xclient.format = 32;
    XSendEvent(x, GDK_WINDOW_XID(gdk_screen_get_root_window(screen)), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(x);
    const gint64 deadline = g_get_monotonic_time() + 3 * G_USEC_PER_SEC;
    while (g_get_monotonic_time() < deadline) {
        if (auto extents = read_frame_extents(window)) return *extents;
        g_usleep(5000);
    }
    return {};  // corrected when the window is mapped
}

GdkPixbuf* load_png(std::span<const unsigned char> bytes) {
    Ref<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", nullptr));
    if (loader.get() == nullptr) return nullptr;
    const bool written = gdk_pixbuf_loader_write(loader.get(), bytes.data(), bytes.size(), nullptr) != FALSE;
    if (gdk_pixbuf_loader_close(loader.get(), nullptr) == FALSE || !written) return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    return pixbuf != nullptr ? GDK_PIXBUF(g_object_ref(pixbuf)) : nullptr;
}

void set_program_icon(GtkWindow* window) {
    GList* icons = nullptr;
    for (const std::span<const unsigned char> bytes : {std::span<const unsigned char>(icon_32_png),
                                                       std::span<const unsigned char>(icon_16_png)})
        if (GdkPixbuf* pixbuf = load_png(bytes)) icons = g_list_append(icons, pixbuf);
    gtk_window_set_icon_list(window, icons);
    g_list_free_full(icons, g_object_unref);
}

class GtkMainWindow final : public NativeWindow {
public:
    GtkMainWindow(std::string_view title, Rect outer, WindowEvents& events)
        : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)), client_(gtk_layout_new(nullptr, nullptr)),
          events_(events), outer_(outer) {
        GtkWindow* window = GTK_WINDOW(window_.get());
        gtk_window_set_title(window, std::string(title).c_str());  // even "": else the program name shows
        gtk_window_set_resizable(window, FALSE);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_NORMAL);
        set_program_icon(window);
        // The client area: its units are placed freely, clipped by it, and
        // never make the window grow.
        gtk_container_add(GTK_CONTAINER(window), client_);
        gtk_widget_show(client_);

        gtk_widget_realize(window_.get());
        GdkWindow* native = gtk_widget_get_window(window_.get());
        gdk_window_set_functions(native, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_MINIMIZE |
                                                                     GDK_FUNC_CLOSE));
        gdk_window_set_decorations(native, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE |
                                                                         GDK_DECOR_MENU | GDK_DECOR_MINIMIZE));
        // The frame depends on the window being of fixed size: say so first.
        set_fixed_size({outer.width, outer.height});
        extents_ = request_frame_extents(native);
        apply_outer_size();
        gtk_window_move(window, outer_.x, outer_.y);

        g_signal_connect(window_.get(), "key-press-event", G_CALLBACK(on_key_press), this);
        g_signal_connect(window_.get(), "focus-in-event", G_CALLBACK(on_focus_in), this);
        g_signal_connect(window_.get(), "focus-out-event", G_CALLBACK(on_focus_out), this);
        g_signal_connect(window_.get(), "delete-event", G_CALLBACK(on_delete), this);
        g_signal_connect(window_.get(), "map-event", G_CALLBACK(on_map), this);
    }
    GtkMainWindow(const GtkMainWindow&) = delete;
    GtkMainWindow& operator=(const GtkMainWindow&) = delete;
    ~GtkMainWindow() override {
        g_signal_handlers_disconnect_by_data(window_.get(), this);
        if (close_source_ != 0) g_source_remove(close_source_);
    }

    GtkWidget* client() const { return client_; }

    Size outer_size() const override {
        int width = 0;
        int height = 0;
        gtk_window_get_size(GTK_WINDOW(window_.get()), &width, &height);
        return {width + extents_.left + extents_.right, height + extents_.top + extents_.bottom};
    }

    void set_outer_size(Size size) override {
        outer_.width = size.width;
        outer_.height = size.height;
        apply_outer_size();
    }

    void set_title(std::string_view text) override {
        gtk_window_set_title(GTK_WINDOW(window_.get()), std::string(text).c_str());
    }

    void show_activated() override { gtk_window_present(GTK_WINDOW(window_.get())); }

    void request_close() override {
        if (close_source_ == 0) close_source_ = g_idle_add(on_close_posted, this);
    }

    bool restore_saved_focus() override {
        GtkWidget* widget = saved_focus_.take();
        if (widget == nullptr) return false;
        const bool inside = gtk_widget_is_ancestor(widget, window_.get()) != FALSE;
        if (inside) gtk_widget_grab_focus(widget);
        g_object_unref(widget);
        return inside;
    }

private:
    Size client_size() const {
        return {outer_.width - extents_.left - extents_.right, outer_.height - extents_.top - extents_.bottom};
    }

    void set_fixed_size(Size size) {
        GdkGeometry hints{};
        hints.min_width = hints.max_width = size.width;
        hints.min_height = hints.max_height = size.height;
        gdk_window_set_geometry_hints(gtk_widget_get_window(window_.get()), &hints,
                                      static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
    }

    // A fixed-size window is as large as its content asks for.
    void apply_outer_size() {
        const Size client = client_size();
        set_fixed_size(client);
        gtk_widget_set_size_request(client_, client.width, client.height);
        gtk_window_resize(GTK_WINDOW(window_.get()), client.width, client.height);
    }

    static gboolean on_key_press(GtkWidget*, GdkEventKey* event, gpointer self) {
        Key key = Key::other;
        switch (event->keyval) {
        case GDK_KEY_Escape:
            key = Key::escape;
            break;
        case GDK_KEY_Tab:
        case GDK_KEY_KP_Tab:
        case GDK_KEY_ISO_Left_Tab:
            key = Key::tab;
            break;
        default:
            break;
        }
        const Modifiers modifiers{.ctrl = (event->state & GDK_CONTROL_MASK) != 0,
                                  .shift = (event->state & GDK_SHIFT_MASK) != 0,
                                  .alt = (event->state & GDK_MOD1_MASK) != 0};
        return static_cast<GtkMainWindow*>(self)->events_.key_pressed(key, modifiers) ? TRUE : FALSE;
    }

    static gboolean on_focus_in(GtkWidget*, GdkEventFocus*, gpointer self) {
        static_cast<GtkMainWindow*>(self)->events_.focus_received();
        return FALSE;
    }

    static gboolean on_focus_out(GtkWidget* window, GdkEventFocus*, gpointer self) {
        static_cast<GtkMainWindow*>(self)->saved_focus_.set(gtk_window_get_focus(GTK_WINDOW(window)));
        return FALSE;
    }

    // The handler may destroy this object: nothing touches it afterwards.
    static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self) {
        static_cast<GtkMainWindow*>(self)->events_.close_requested();
        return TRUE;
    }

    static gboolean on_close_posted(gpointer data) {
        auto* self = static_cast<GtkMainWindow*>(data);
        self->close_source_ = 0;
        self->events_.close_requested();
        return G_SOURCE_REMOVE;
    }

    // The window manager may have clamped the first placement, and only now
    // is the frame certain: place it once more, the first time it is mapped
    // (later maps are restores, which keep the place the user gave it).
    static gboolean on_map(GtkWidget* widget, GdkEvent*, gpointer data) {
        auto* self = static_cast<GtkMainWindow*>(data);
        if (self->placed_) return FALSE;
        self->placed_ = true;
        if (auto extents = read_frame_extents(gtk_widget_get_window(widget));
            extents && *extents != self->extents_) {
            self->extents_ = *extents;
            self->apply_outer_size();
        }
        gtk_window_move(GTK_WINDOW(widget), self->outer_.x, self->outer_.y);
        return FALSE;
    }

    OwnedWidget window_;
    GtkWidget* client_;  // owned by window_
    WindowEvents& events_;
    Rect outer_;
    FrameExtents extents_;
    guint close_source_ = 0;
    WeakWidget saved_focus_;
    bool placed_ = false;
};

class GtkChildArea final : public NativeChildArea {
public:
    GtkChildArea(GtkMainWindow& parent, Rect place) : area_(gtk_fixed_new()) {
        gtk_widget_set_size_request(area_.get(), place.width, place.height);
        g_signal_connect(area_.get(), "draw", G_CALLBACK(paint_white), nullptr);
        gtk_layout_put(GTK_LAYOUT(parent.client()), area_.get(), place.x, place.y);
    }

    void show() override { gtk_widget_show(area_.get()); }
    GtkWidget* widget() const { return area_.get(); }

private:
    static gboolean paint_white(GtkWidget*, cairo_t* cr, gpointer) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        return FALSE;  // then the children
    }

    OwnedWidget area_;
};

class GtkWebView final : public NativeWebView {
public:
    explicit GtkWebView(GtkWidget* view) : view_(view) {}

    void focus() override { gtk_widget_grab_focus(view_.get()); }
    bool set_offline(bool) override { return false; }  // no such switch in WebKit
    bool set_silent(bool) override { return false; }   // no such switch in WebKit

    // Text-only zoom; level 2 is 100 %.
    bool set_text_size(int level) override {
        static constexpr std::array<double, 5> scales{0.5, 0.75, 1.0, 1.25, 1.5};
        if (level < 0 || level >= static_cast<int>(scales.size())) return false;
        webkit_settings_set_zoom_text_only(webkit_web_view_get_settings(view()), TRUE);
        webkit_web_view_set_zoom_level(view(), scales[static_cast<std::size_t>(level)]);
        return true;
    }

    void navigate(std::string_view address) override {
        webkit_web_view_load_uri(view(), std::string(address).c_str());
    }

private:
    WebKitWebView* view() const { return WEBKIT_WEB_VIEW(view_.get()); }

    OwnedWidget view_;
};

class GlibCountdown final : public NativeCountdown {
public:
    explicit GlibCountdown(std::function<void()> expired) : expired_(std::move(expired)) {}
    GlibCountdown(const GlibCountdown&) = delete;
    GlibCountdown& operator=(const GlibCountdown&) = delete;
    ~GlibCountdown() override { cancel(); }

    void start(int period_ms) override {
        cancel();
        source_ = g_timeout_add(static_cast<guint>(period_ms), on_expired, this);
    }

    void cancel() override {
        if (source_ != 0) g_source_remove(source_);
        source_ = 0;
    }

private:
    // The handler may cancel, re-arm or destroy this countdown.
    static gboolean on_expired(gpointer self) {
        static_cast<GlibCountdown*>(self)->expired_();
        return G_SOURCE_CONTINUE;
    }

    std::function<void()> expired_;
    guint source_ = 0;
};

}  // namespace

GtkPlatform::GtkPlatform() : loop_(g_main_loop_new(nullptr, FALSE)) {}

GtkPlatform::~GtkPlatform() { g_main_loop_unref(loop_); }

// WebKitGTK needs no per-thread initialisation.
void GtkPlatform::initialise_component_system() {}
void GtkPlatform::shutdown_component_system() {}

std::filesystem::path GtkPlatform::program_file() const {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

void GtkPlatform::set_working_directory(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::current_path(folder, error);
}

void GtkPlatform::reset_floating_point() { std::fesetenv(FE_DFL_ENV); }

LocalTime GtkPlatform::local_time() const {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

Size GtkPlatform::primary_display_size() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return {};
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    const int scale = gdk_monitor_get_scale_factor(monitor);
    return {area.width * scale, area.height * scale};
}

std::unique_ptr<NativeWindow> GtkPlatform::create_window(const WindowSettings& settings, Rect outer,
                                                         WindowEvents& events) {
    return std::make_unique<GtkMainWindow>(settings.title, outer, events);
}

std::unique_ptr<NativeChildArea> GtkPlatform::create_child_area(NativeWindow& parent, Rect place) {
    return std::make_unique<GtkChildArea>(static_cast<GtkMainWindow&>(parent), place);
}

std::unique_ptr<NativeWebView> GtkPlatform::create_web_view(NativeChildArea& area, Size size) {
#ifdef NUBEKO_TEST_NO_WEB_VIEW
    // A test build whose web view cannot be made.
    (void)area;
    (void)size;
    return nullptr;
#else
    GtkWidget* view = webkit_web_view_new();
    if (view == nullptr) return nullptr;
    auto web_view = std::make_unique<GtkWebView>(view);
    gtk_widget_set_size_request(view, size.width, size.height);
    gtk_fixed_put(GTK_FIXED(static_cast<GtkChildArea&>(area).widget()), view, 0, 0);
    gtk_widget_show(view);
    return web_view;
#endif
}

std::unique_ptr<NativeCountdown> GtkPlatform::create_countdown(NativeWindow&, std::function<void()> expired) {
    return std::make_unique<GlibCountdown>(std::move(expired));
}

void GtkPlatform::process_pending_events() {
    while (g_main_context_iteration(nullptr, FALSE) != FALSE) {
    }
}

void GtkPlatform::run_event_loop() {
    if (!quit_posted_) g_main_loop_run(loop_);
}

void GtkPlatform::post_quit(int) {
    quit_posted_ = true;
    g_main_loop_quit(loop_);
}

void GtkPlatform::show_error_box(std::string_view title, std::string_view text) {
    GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                            std::string(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), std::string(title).c_str());
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS  // GTK 3.24 shows no icon unless given one
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box),
                                 gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG));
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_object_set(box, "message-type", GTK_MESSAGE_ERROR, nullptr);  // the image made it "other"
    gtk_widget_show_all(box);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void GtkPlatform::end_process(int status) { std::exit(status & 0xff); }

}  // namespace nubeko
