// A GTK module that the end-to-end tests load into the program (GTK_MODULES):
// when a message box is mapped, it appends what the box shows (title, message
// type, icon, the texts of its visible labels, its buttons' responses) to the
// file named by NUBEKO_E2E_DIALOG_LOG. Texts are written in hex.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string hex(const char* text) {
    std::string out;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(*p));
        out += byte;
    }
    return out;
}

struct Report {
    GtkDialog* dialog;
    std::string lines;
};

void visit(GtkWidget* widget, gpointer data) {
    auto& report = *static_cast<Report*>(data);
    if (!gtk_widget_is_visible(widget)) return;
    if (GTK_IS_BUTTON(widget)) {
        report.lines += "button " +
                        std::to_string(gtk_dialog_get_response_for_widget(report.dialog, widget)) + "\n";
        return;  // its own label is not part of the message
    }
    if (GTK_IS_LABEL(widget)) report.lines += "label " + hex(gtk_label_get_text(GTK_LABEL(widget))) + "\n";
    if (GTK_IS_IMAGE(widget) && gtk_image_get_storage_type(GTK_IMAGE(widget)) == GTK_IMAGE_ICON_NAME) {
        const gchar* name = nullptr;
        gtk_image_get_icon_name(GTK_IMAGE(widget), &name, nullptr);
        report.lines += "icon " + std::string(name != nullptr ? name : "") + "\n";
    }
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), visit, data);
}

gboolean on_map(GSignalInvocationHint*, guint, const GValue* values, gpointer) {
    GObject* object = static_cast<GObject*>(g_value_get_object(&values[0]));
    const char* path = std::getenv("NUBEKO_E2E_DIALOG_LOG");
    if (!GTK_IS_MESSAGE_DIALOG(object) || path == nullptr) return TRUE;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    g_object_get(object, "message-type", &type, nullptr);
    Report report{GTK_DIALOG(object), ""};
    report.lines += "title " + hex(gtk_window_get_title(GTK_WINDOW(object))) + "\n";
    report.lines += "type " + std::to_string(type) + "\n";
    gtk_container_forall(GTK_CONTAINER(object), visit, &report);
    report.lines += "end\n";
    if (FILE* file = std::fopen(path, "a")) {
        std::fputs(report.lines.c_str(), file);
        std::fclose(file);
    }
    return TRUE;  // stay hooked
}

}  // namespace

extern "C" G_MODULE_EXPORT void gtk_module_init(gint*, gchar***) {
    gpointer widget_class = g_type_class_ref(GTK_TYPE_WIDGET);  // its signals exist from here on
    g_signal_add_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), 0, on_map, nullptr, nullptr);
    g_type_class_unref(widget_class);
}
