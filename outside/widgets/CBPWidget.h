#pragma once
#include <gtk/gtk.h>

// Base of the widget wrappers: holds one reference to its GTK widget. Deleting the wrapper
// destroys the widget (unless told otherwise) and drops the reference.
class CBPWidget {
public:
    virtual ~CBPWidget();
    CBPWidget(const CBPWidget&) = delete;
    CBPWidget& operator=(const CBPWidget&) = delete;

    virtual GtkWidget* GetWidget() const;
    virtual void Show();
    virtual void Hide();
    void ShowAll();
    void HideAll();
    // A widget marked so stays as it is when a container above it is shown with ShowAll.
    void NoShowAll(int noShowAll);
    // 0: deleting the wrapper leaves the widget to its container.
    void SetDestroyWidgetWhenDelete(int destroy) { destroyWidgetWhenDelete_ = destroy != 0; }
    // For a window: its opacity, clamped to 0..1. Other widgets are left alone.
    void SetWidgetOpacity(double opacity);
    // The requested size; -1 for a side not requested.
    void GetWidgetSize(int* width, int* height) const;
    // Connects a handler to a signal of the widget; the handler id, 0 when nothing was connected.
    gulong RegisterCallBack(const char* signal, GCallback handler, gpointer data, bool after = false);
    // Adds a child when the widget is a container.
    void Add(GtkWidget* child);

protected:
    explicit CBPWidget(GtkWidget* widget = nullptr);
    // Takes over a new widget (sinking its floating reference).
    void SetWidget(GtkWidget* widget);

    bool destroyWidgetWhenDelete_ = true;

private:
    GtkWidget* widget_ = nullptr;
};
