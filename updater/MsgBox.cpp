#include "MsgBox.h"

#include <QWidget>

namespace fresnaro {

namespace {
MsgBox::Hook& hook() {
    static MsgBox::Hook h;
    return h;
}
} // namespace

QMessageBox::StandardButton MsgBox::show(QWidget* owner, const QString& text, const QString& title,
                                         QMessageBox::Icon icon,
                                         QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, text, buttons, owner);
    if (hook()) {
        return hook()(ShownMessage{title, text, icon, buttons, owner != nullptr}, box);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void MsgBox::setHook(Hook h) {
    hook() = std::move(h);
}

} // namespace fresnaro
