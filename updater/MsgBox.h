// The updater's message boxes: the platform's standard box, with a hook that lets tests and
// the demo answer (and look at) every box without a person.
//
// Main thread only.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace fresnaro {

struct ShownMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool owned = false; // shown with the updater window as owner
};

class MsgBox {
public:
    // Shows a modal box and returns the pressed button. With a hook installed, the hook
    // answers instead and receives the box it was asked for (and the box itself, built but
    // not shown, should it want to show or grab it).
    static QMessageBox::StandardButton show(QWidget* owner, const QString& text,
                                            const QString& title, QMessageBox::Icon icon,
                                            QMessageBox::StandardButtons buttons);

    using Hook = std::function<QMessageBox::StandardButton(const ShownMessage&, QMessageBox&)>;
    static void setHook(Hook hook);
};

} // namespace fresnaro
