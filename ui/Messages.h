// The program's own window messages. Each is a Qt event whose type is QEvent::User plus the
// message's number, so the numbers stay those of the message table (number n is
// QEvent::Type(QEvent::User + n)). "Send" delivers at once on the receiver's thread; "post"
// queues the message for the receiver's event loop.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QtGlobal>

namespace kmsg {

constexpr int RowTickChanged = 100;      // record list -> window: (row, 1 or 0)
constexpr int ShowContact = 101;         // window -> detail panel: (0, ContactRecord*)
constexpr int TickAll = 104;             // list header -> record list: (1 or 0, 0)
constexpr int CategoryTickChanged = 105; // category tree -> window: (row handle, 1 or 0)
constexpr int ScanDone = 109;            // scan worker -> window (posted)
constexpr int ExportDone = 110;          // export worker -> window (posted)
constexpr int AcquisitionDone = 111;     // acquisition worker -> window (posted)
constexpr int UpdateFound = 112;         // update check -> window (sent)
constexpr int DownloadEnded = 10;        // download thread -> updater window: (1 or 0, 0)

// The event type that carries message number n.
constexpr QEvent::Type eventType(int n) {
    return QEvent::Type(QEvent::User + n);
}
// The message number of an event type, or -1 for events that are not our messages.
constexpr int messageNumber(QEvent::Type t) {
    return t >= QEvent::User && t <= QEvent::MaxUser ? int(t) - int(QEvent::User) : -1;
}

class Message : public QEvent {
public:
    Message(int number, qintptr wParam = 0, qintptr lParam = 0)
        : QEvent(eventType(number)), number_(number), wParam_(wParam), lParam_(lParam) {}
    int number() const { return number_; }
    qintptr wParam() const { return wParam_; }
    qintptr lParam() const { return lParam_; }
    // The receiver's answer, for sent messages.
    qintptr result = 0;

private:
    int number_;
    qintptr wParam_;
    qintptr lParam_;
};

// Delivers the message now and returns the receiver's answer. From a thread other than the
// receiver's, the call blocks until the receiver's thread has handled it, so a worker must not
// send to a window whose thread may be waiting for that worker (use postMessage then).
inline qintptr sendMessage(QObject* to, int number, qintptr wParam = 0, qintptr lParam = 0) {
    if (to == nullptr)
        return 0;
    qintptr answer = 0;
    auto deliver = [&] {
        Message m(number, wParam, lParam);
        QCoreApplication::sendEvent(to, &m);
        answer = m.result;
    };
    if (to->thread() == QThread::currentThread())
        deliver();
    else
        QMetaObject::invokeMethod(to, deliver, Qt::BlockingQueuedConnection);
    return answer;
}

inline void postMessage(QObject* to, int number, qintptr wParam = 0, qintptr lParam = 0) {
    if (to != nullptr)
        QCoreApplication::postEvent(to, new Message(number, wParam, lParam));
}

} // namespace kmsg
