#pragma once
#include <string>

#include "outside/widgets/CBPWidget.h"

// One entry of a CBPComboBoxMenu: an icon and a text; choosing it calls the registered function
// with the entry's index.
class CBPComboBoxMenuItem : public CBPWidget {
public:
    using SelectFn = void (*)(int index, void* data);

    CBPComboBoxMenuItem(const char* text, int index);
    ~CBPComboBoxMenuItem() override;

    void RegisterSelFP(SelectFn fn, void* data);
    // The icon when normal, under the pointer, pressed, disabled (a missing one: the normal).
    void SetIcon(const char* normal, const char* hover, const char* press, const char* disabled);
    int GetIndex() const { return index_; }
    const std::string& GetText() const { return text_; }

private:
    static void OnActivate(GtkMenuItem* item, gpointer self);
    static void OnSelect(GtkItem* item, gpointer self);
    static void OnDeselect(GtkItem* item, gpointer self);
    void ShowIcon(int state);

    int index_;
    std::string text_;
    std::string icons_[4];
    SelectFn select_ = nullptr;
    void* selectData_ = nullptr;
};
