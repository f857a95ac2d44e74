// The shell's "open" verb: web pages go to the user's default browser, programs start as
// detached processes that outlive the caller. Failures are returned, never shown.
//
// When the environment variable KESTROVA_SHELL_LOG names a file, requests are appended to
// that file (one line each: "open URL" or "start PROGRAM IN FOLDER") and not carried out,
// so automated runs never open a browser or start the updater. Main thread only.
#pragma once

#include <QString>
#include <QUrl>

namespace shell {

// Opens a web page in the default browser.
bool openUrl(const QUrl& url);

// Starts a program, without arguments, detached, with `workingFolder` as its working folder.
bool startProgram(const QString& program, const QString& workingFolder);

// "http://" + host + path; the host may carry a port ("127.0.0.1:8080").
QUrl webPage(const QString& host, const QString& path);

} // namespace shell
