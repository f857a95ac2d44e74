#include "InstanceGuard.h"

#include <QLocalServer>

#include <unistd.h>

InstanceGuard::InstanceGuard(const QString& name)
    : socketName_(name + QStringLiteral("-") + QString::number(::getuid())) {}

InstanceGuard::~InstanceGuard() {
    delete server_;
}

bool InstanceGuard::acquire() {
    if (server_ && server_->isListening())
        return true;
    if (!server_) {
        server_ = new QLocalServer;
        server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    }
    // An abstract name cannot be left behind by a dead holder, so a failed bind always
    // means a live holder; never remove the name of someone else.
    return server_->listen(socketName_);
}

bool InstanceGuard::held() const {
    return server_ && server_->isListening();
}
