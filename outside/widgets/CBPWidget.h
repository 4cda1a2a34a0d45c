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

protected:
    explicit CBPWidget(GtkWidget* widget = nullptr);
    // Takes over a new widget (sinking its floating reference).
    void SetWidget(GtkWidget* widget);

    bool destroyWidgetWhenDelete_ = true;

private:
    GtkWidget* widget_ = nullptr;
};
