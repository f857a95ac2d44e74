// What the window tests share: a generated phone served by the emulated phone on 127.0.0.1,
// a temporary home for the bridge client and the copies, and the window itself, pointed at
// the built program folder. Everything runs on the test's main thread.
#pragma once

#include "MainDlg.h"
#include "tools/samplephone/SamplePhone.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A loopback port on which nothing answers.
quint16 deadPort();

// A generated phone in a temporary folder.
struct Phone {
    explicit Phone(int contacts, int deletedContacts = -1, int messages = 20);
    QTemporaryDir dir;
    kestrova::samplephone::Result made;
};

// kestrova-emuphone serving a phone's databases.
class EmuPhone {
public:
    EmuPhone(const Phone& phone, const QString& mode = QStringLiteral("normal"));
    ~EmuPhone();
    int port() const { return port_; }
    QByteArray socket() const { return "tcp:127.0.0.1:" + QByteArray::number(port_); }

private:
    QProcess process_;
    int port_ = 0;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The window, shown, with the acquisition's pause at 0 ms.
    CMainDlg& open(MainDlgSettings settings = {});
    MainDlgSettings defaults() const;
    // Points the bridge client at this phone (or at nothing).
    void useSocket(const QByteArray& socket);

    bool waitForResults(int ms = 60000);
    bool waitForFailed(int ms = 30000);

    // Answers the next message box and records its text.
    void answerNextBox(int id);
    QStringList boxTexts;

    // Clicks a shown image button of the window.
    void clickButton(int id);
    // Clicks the tick box of a list row.
    void clickTick(int row);

    QString shellLog() const;

    QTemporaryDir home;
    std::unique_ptr<CMainDlg> window;
};
