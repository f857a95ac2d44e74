// Runs the updater's window in the test process against a loopback server, with its own
// program folder, temporary folder and product guard, and answers its message boxes.
#pragma once

#include "MsgBox.h"
#include "Settings.h"
#include "TestHttpServer.h"
#include "UpdateDialog.h"
#include "update/Manifest.h"

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

namespace harness {

using fresnaro::ShownMessage;

inline bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// An installer stand-in: a shell script that records that it ran, padded to `size` bytes.
inline std::string installerScript(const QString& marker, std::size_t size) {
    std::string s = "#!/bin/sh\necho ran > '" + marker.toStdString() + "'\nexit 0\n";
    if (s.size() + 1 < size) {
        s += std::string(size - s.size() - 1, '#');
        s += '\n';
    }
    return s;
}

class UpdaterFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(server.start(std::chrono::seconds(90)));
        QDir(dir.path()).mkpath(QStringLiteral("prog/profiles"));
        QDir(dir.path()).mkpath(QStringLiteral("tmp"));
        paths.programFolder = dir.filePath(QStringLiteral("prog"));
        paths.tempFolder = dir.filePath(QStringLiteral("tmp"));
        paths.updateHost = server.hostAndPort();
        paths.productGuard =
            QStringLiteral("KavriPalomine-test-") + QUuid::createUuid().toString(QUuid::Id128);
        marker = dir.filePath(QStringLiteral("installer-ran"));
        fresnaro::MsgBox::setHook([this](const ShownMessage& m, QMessageBox&) {
            shown.push_back(m);
            if (onMessage) {
                onMessage(m);
            }
            if (answers.empty()) {
                return QMessageBox::Ok;
            }
            const auto a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    void TearDown() override {
        dlg.reset();
        fresnaro::MsgBox::setHook({});
    }

    void setInstalled(const std::string& version) {
        ASSERT_TRUE(fresnaro::writeInstalledVersion(settings(), version));
    }
    QString settings() const {
        return paths.programFolder + QStringLiteral("/profiles/config.ini");
    }
    std::string installed() const { return fresnaro::readInstalledVersion(settings()); }

    // A manifest whose "Palomine" entry names `newest` and an installer at `installerPath`.
    void serveManifest(const std::string& newest, const std::string& installerPath = "/setup.exe") {
        const std::string url = installerPath.find("://") == std::string::npos
                                    ? server.url(installerPath)
                                    : installerPath;
        server.setRoute(update::kManifestPath,
                        {200, R"({"Palomine":[{"Version":"v","Nversion":")" + newest +
                                  R"(","Update_URL":")" + url + R"("}]})"});
    }
    void serveInstaller(std::size_t size, std::chrono::milliseconds slicePause = {}) {
        teststand::Route r{200, installerScript(marker, size)};
        r.slicePause = slicePause;
        server.setRoute("/setup.exe", r);
    }

    // Opens the window and waits until it has ended; returns its result, or -1 on time-out.
    int run(int timeoutMs = 20000) {
        dlg = std::make_unique<fresnaro::CDravonelSoftwareUpdateDlg>(paths);
        int result = -1;
        QObject::connect(dlg.get(), &QDialog::finished, [&result](int r) { result = r; });
        if (onOpen) {
            onOpen(*dlg);
        }
        dlg->show();
        waitUntil([&] { return result != -1; }, timeoutMs);
        return result;
    }

    bool installerRan(int waitMs = 5000) {
        return waitUntil([this] { return QFile::exists(marker); }, waitMs);
    }
    std::vector<QString> texts() const {
        std::vector<QString> out;
        for (const auto& m : shown) {
            out.push_back(m.text);
        }
        return out;
    }

    QTemporaryDir dir;
    teststand::TestHttpServer server;
    fresnaro::UpdaterPaths paths;
    QString marker;
    std::deque<QMessageBox::StandardButton> answers;
    std::vector<ShownMessage> shown;
    std::function<void(const ShownMessage&)> onMessage;
    std::function<void(fresnaro::CDravonelSoftwareUpdateDlg&)> onOpen;
    std::unique_ptr<fresnaro::CDravonelSoftwareUpdateDlg> dlg;
};

} // namespace harness
