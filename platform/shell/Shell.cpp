#include "Shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace shell {
namespace {

// True when requests are only to be recorded; then `line` has been appended.
bool recordOnly(const QString& line) {
    const QByteArray log = qgetenv("KESTROVA_SHELL_LOG");
    if (log.isEmpty())
        return false;
    QFile f(QString::fromLocal8Bit(log));
    if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        f.write(line.toUtf8() + '\n');
    return true;
}

} // namespace

bool openUrl(const QUrl& url) {
    if (!url.isValid())
        return false;
    if (recordOnly(QStringLiteral("open ") + url.toString()))
        return true;
    return QDesktopServices::openUrl(url);
}

bool startProgram(const QString& program, const QString& workingFolder) {
    if (recordOnly(QStringLiteral("start ") + program + QStringLiteral(" IN ") + workingFolder))
        return QFileInfo(program).isExecutable();
    if (!QFileInfo(program).isExecutable())
        return false;
    return QProcess::startDetached(program, {}, workingFolder);
}

QUrl webPage(const QString& host, const QString& path) {
    return QUrl(QStringLiteral("http://") + host + path);
}

} // namespace shell
