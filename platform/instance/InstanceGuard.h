// A named, per-user, crash-safe guard that at most one process holds at a time.
//
// The guard is a local server bound in the abstract socket namespace under the given name
// and the user id. The kernel drops the name when the holding process ends, however it
// ends, so no stale lock survives a crash. Call from the main thread only.
#pragma once

#include <QString>

class QLocalServer;

class InstanceGuard {
public:
    explicit InstanceGuard(const QString& name);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Takes the guard. False when another process holds it (or the name cannot be bound).
    bool acquire();
    bool held() const;
    // The socket name actually used: the given name plus the user id.
    QString socketName() const { return socketName_; }

private:
    QString socketName_;
    QLocalServer* server_ = nullptr;
};
