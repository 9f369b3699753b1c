#pragma once

#include <QString>

namespace olv::messages {

enum class BoxIcon { Error, Warning, Information };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

struct Box {
    QString text;
    QString caption;
    BoxIcon icon = BoxIcon::Information;
    BoxButtons buttons = BoxButtons::Ok;
    QString detail; // shown as the box's informative text when not empty
    // Shown behind the box's details button when not empty (e.g. the old → new values a
    // confirmed write will change, one per line).
    QString details = {};
};

// Every message box of the program goes through this: modal, owned by the main window.
// The window implements it with QMessageBox; tests answer it themselves.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual BoxAnswer show(const Box& box) = 0;
};

} // namespace olv::messages
