// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt services: input held back while the test loop sleeps (keys queued
// for PeekKey, clicks and mnemonics without effect, painting going on),
// the clipboard, the wait cursor, and the message, question and save-file
// dialogs with the settings callers rely on.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "QtTestSupport.h"
#include "ui/Templates.h"
#include "ui/qt/QtServices.h"

namespace {

class QtServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestApplication();
        window = std::make_unique<CQtDialogWindow>(dialog, nullptr, DialogFont(MainDialogTemplate()));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    WindowHandle Handle() { return window->Handle(); }

    // Runs `action` while the services sleep `milliseconds`.
    void SleepWhile(std::uint32_t milliseconds, std::function<void()> action)
    {
        QTimer::singleShot(5, action);
        services.Sleep(milliseconds);
    }

    CQtServices services;
    CScopedServices scope{services};
    CProbeDialog dialog{MainDialogTemplate()};
    std::unique_ptr<CQtDialogWindow> window;
};

// Finds the modal dialog of type T that the services opened and acts on it.
template <typename T>
void WhenModal(std::function<void(T&)> action)
{
    QTimer::singleShot(0, [action] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(modal, nullptr);
        action(*modal);
    });
}

} // namespace

TEST_F(QtServicesTest, KeysDuringSleepAreQueuedAndHandedOutOneByOne)
{
    QWidget* edit = window->Control(IdChannels);
    edit->setFocus();
    SleepWhile(50, [&] {
        QTest::keyClick(edit, Qt::Key_A);
        QTest::keyPress(edit, Qt::Key_Escape);
        QTest::keyRelease(edit, Qt::Key_Escape);
    });
    EXPECT_EQ(window->GetControlText(IdChannels), ""); // the edit never saw the A

    CQtDialogWindow other(dialog, nullptr, DialogFont(MainDialogTemplate()));
    EXPECT_EQ(services.PeekKey(other.Handle()), std::nullopt); // keys of another window stay
    EXPECT_EQ(services.PeekKey(Handle()), 65u);                // A pressed
    EXPECT_EQ(services.PeekKey(Handle()), 65u);                // A released
    EXPECT_EQ(services.PeekKey(Handle()), KeyEscape);          // Esc pressed
    EXPECT_EQ(services.PeekKey(Handle()), KeyEscape);          // Esc released
    EXPECT_EQ(services.PeekKey(Handle()), std::nullopt);

    // Held keys are dropped once a modal window starts, as its loop would deliver them.
    SleepWhile(20, [&] { QTest::keyClick(edit, Qt::Key_Escape); });
    EXPECT_EQ(services.Hold().QueuedKeys(), 2u);
    CQtServices::DiscardHeldKeys();
    EXPECT_EQ(services.PeekKey(Handle()), std::nullopt);
}

TEST_F(QtServicesTest, ClicksAndMnemonicsAreHeldBackWhileSleeping)
{
    int clicks = 0;
    QObject::connect(qobject_cast<QPushButton*>(window->Control(IdCancel)), &QPushButton::clicked, [&] { ++clicks; });
    dialog.EndOn(IdRunTest);
    SleepWhile(50, [&] {
        QTest::mouseClick(window->Control(IdCancel), Qt::LeftButton);
        QTest::keyClick(window->Control(IdChannels), Qt::Key_R, Qt::AltModifier);
    });
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(dialog.commands.empty());
    EXPECT_TRUE(window->isVisible());
    // The Alt+R reached the queue as keys instead of pressing the button.
    std::vector<std::uint32_t> keys;
    while (auto key = services.PeekKey(Handle()))
        keys.push_back(*key);
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{18, 82, 82, 18}));

    // Outside a sleep the same click goes through.
    QTest::mouseClick(window->Control(IdCancel), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(QtServicesTest, WindowsRepaintWhileSleeping)
{
    auto* status = qobject_cast<QLabel*>(window->Control(IdStatus));
    struct CPaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                ++paints;
            return false;
        }
    } counter;
    status->installEventFilter(&counter);
    window->SetControlText(IdStatus, "Recording...   Press <Esc> to cancel");
    std::uint32_t start = services.TickCount();
    services.Sleep(100);
    std::uint32_t slept = services.TickCount() - start;
    EXPECT_GT(counter.paints, 0);
    EXPECT_GE(slept, 100u);
    EXPECT_LT(slept, 10000u); // it ends, however busy the machine
    status->removeEventFilter(&counter);
}

TEST_F(QtServicesTest, ClipboardGetsTheExactTextWithItsLineEnds)
{
    std::string report = "Operating System:\t Linux\r\n\r\nChannels:\t1\r\nInput Device:\tCarte son \xC3\xA9\r\n";
    ASSERT_TRUE(services.SetClipboardText(Handle(), report));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasText());
    EXPECT_FALSE(data->hasHtml());
    EXPECT_EQ(data->text().toStdString(), report);

    ASSERT_TRUE(services.SetClipboardText(Handle(), ""));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "");
}

TEST_F(QtServicesTest, WaitCursorIsShownForItsScopeAndRestored)
{
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    {
        CWaitCursor outer;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            CWaitCursor inner;
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtServicesTest, FailureMessagesAreOwnerlessApplicationModalWithAnEmptyTitle)
{
    for (MessageIcon icon : {MessageIcon::Error, MessageIcon::None}) {
        WhenModal<QMessageBox>([icon](QMessageBox& box) {
            EXPECT_EQ(box.parentWidget(), nullptr);
            EXPECT_EQ(box.windowTitle(), QString());
            EXPECT_EQ(box.text(), QStringLiteral("IDS_FILE_OPEN_FAIL"));
            EXPECT_EQ(box.icon(), icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon);
            EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
            box.button(QMessageBox::Ok)->click();
        });
        services.ShowMessage("IDS_FILE_OPEN_FAIL", icon);
    }
}

TEST_F(QtServicesTest, TheQuestionIsOwnedByTheDialogAndAnswersYesOrNo)
{
    const std::string text = "Recording test failed.  Do you want to run the playback test with a 1kHz tone?";
    for (auto answer : {QMessageBox::Yes, QMessageBox::No}) {
        WhenModal<QMessageBox>([this, answer, text](QMessageBox& box) {
            EXPECT_EQ(box.parentWidget(), window.get());
            EXPECT_EQ(box.windowTitle(), QStringLiteral("Notice"));
            EXPECT_EQ(box.text().toStdString(), text);
            EXPECT_EQ(box.icon(), QMessageBox::Question);
            EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
            box.button(answer)->click();
        });
        EXPECT_EQ(services.AskYesNo(Handle(), text, "Notice"), answer == QMessageBox::Yes);
    }
}

TEST_F(QtServicesTest, SaveDialogAsksForAWaveFileAndAddsTheSuffix)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    QString typed = directory.filePath(QStringLiteral("take one"));
    WhenModal<QFileDialog>([this, typed](QFileDialog& dialog) {
        EXPECT_EQ(dialog.parentWidget(), window.get());
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Wave Files (*.wav)")});
        EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("wav"));
        EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->text(), QString());
        name->setText(typed);
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    std::optional<std::string> chosen = services.AskSaveFileName(Handle(), "*.wav", "Wave Files (*.wav)");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, (typed + QStringLiteral(".wav")).toStdString());

    WhenModal<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(services.AskSaveFileName(Handle(), "*.wav", "Wave Files (*.wav)"), std::nullopt);
}
