// SPDX-License-Identifier: GPL-3.0-or-later
// The whole "Run Test..." sequence over the virtual devices on a virtual
// clock, driven through the main dialog with the in-memory window.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/ZeroBlock.h"
#include "sequence/OsVersion.h"
#include "support/TestSession.h"
#include "ui/Templates.h"
#include "ui/TesterDlg.h"

namespace {

using Texts = std::vector<std::string>;

const std::string Header = OperatingSystemLine() +
                           "\r\n\r\nChannels:\t1\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t16\r\n"
                           "Valid Bits:\t16\r\nAPI Mode:\tStandard\r\n";
const std::string InputWorked = "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                "   Open\tCalled sucessfully\r\n   Record\tCalled sucessfully\r\n";
const std::string OutputWorked = "\r\nOutput Device:\tTallowmere Virtual Output\r\n"
                                 "   Open\tCalled sucessfully\r\n   Playback\tCalled sucessfully\r\n";
const char* Question = "Recording test failed.  Do you want to run the playback test with a 1kHz tone?";

// Positions of a complete four-second device test: steps 1..40, then 0.
std::vector<int> FourSecondProgress()
{
    std::vector<int> positions;
    for (int step = 1; step <= 40; ++step)
        positions.push_back(10 * step / 4);
    positions.push_back(0);
    return positions;
}

class Sequence : public ::testing::Test {
protected:
    void Run()
    {
        dialog.DoModal();
        EXPECT_EQ(session.toolkit.Errors(), std::vector<std::string>{});
        EXPECT_EQ(session.toolkit.PendingActions(), 0u);
    }
    CMemoryWindow& Main() { return *session.toolkit.Last(MainDialogTemplateId); }
    Texts Status() { return Main().TextsOf(IdStatus); }
    int Results() { return session.toolkit.CountOf(ResultsDialogTemplateId); }
    std::string ShownReport() { return session.toolkit.Last(ResultsDialogTemplateId)->At(IdReportEdit).text; }

    CTestSession session;
    CTesterDlg dialog;
};

TEST_F(Sequence, CompleteDefaultRun)
{
    session.toolkit.Press(IdRunTest)
        .In(ResultsDialogTemplateId)
        .Inspect([&](CMemoryWindow&, CDialog&) {
            // While the results show, the main dialog's button is still off.
            EXPECT_FALSE(Main().At(IdRunTest).enabled);
            EXPECT_EQ(Main().At(IdStatus).text, "Ready");
        })
        .Close()
        .In(MainDialogTemplateId)
        .Close();
    Run();

    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Recording...   Press <Esc> to cancel",
                               "Recording Complete", "Ready", "Opening Device...",
                               "Playing...   Press <Esc> to cancel", "Playback Complete", "Ready"}));
    std::vector<int> progress{0};
    for (int pass = 0; pass < 2; ++pass)
        for (int position : FourSecondProgress())
            progress.push_back(position);
    EXPECT_EQ(Main().ProgressOf(IdProgress), progress);
    EXPECT_EQ(progress[1], 2);
    EXPECT_EQ(progress[40], 100);
    EXPECT_EQ(Main().EnabledOf(IdRunTest), (std::vector<bool>{false, true}));

    EXPECT_EQ(dialog.ReportText(), Header + InputWorked + OutputWorked);
    EXPECT_EQ(ShownReport(), dialog.ReportText());
    EXPECT_TRUE(dialog.RecordComplete());
    EXPECT_TRUE(dialog.PlaybackComplete());
    EXPECT_FALSE(dialog.TestCancelled());
    EXPECT_EQ(dialog.RecordResults().openResult, 0);
    EXPECT_EQ(dialog.PlaybackResults().queueResult, 0);

    // 250 ms settle, 40 polls, 250 ms after closing; twice. No question.
    std::vector<std::uint32_t> sleeps{250};
    sleeps.insert(sleeps.end(), 40, 100);
    sleeps.push_back(250);
    std::vector<std::uint32_t> both = sleeps;
    both.insert(both.end(), sleeps.begin(), sleeps.end());
    EXPECT_EQ(session.services.sleeps, both);
    EXPECT_TRUE(session.services.questions.empty());
    EXPECT_TRUE(session.services.messages.empty());
    ASSERT_EQ(session.services.peekWindows.size(), 80u);
    for (WindowHandle window : session.services.peekWindows)
        EXPECT_EQ(window, Main().Handle());

    // The recording is the virtual input's signal, and it is what was played.
    ASSERT_EQ(dialog.RecordBufferSize(), 352800u);
    const std::uint8_t* data = dialog.RecordBufferData();
    EXPECT_TRUE(std::any_of(data, data + 352800, [](std::uint8_t b) { return b != 0; }));
    EXPECT_EQ(session.Output().played, std::vector<std::uint8_t>(data, data + 352800));
}

TEST_F(Sequence, EscDuringRecordingCancelsWithoutPlayback)
{
    session.services.ScriptKeyAt(10, KeyEscape);
    session.toolkit.Press(IdRunTest).In(ResultsDialogTemplateId).Close().Close();
    Run();

    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Recording...   Press <Esc> to cancel",
                               "Recording Cancelled", "Ready"}));
    EXPECT_EQ(Main().ProgressOf(IdProgress), (std::vector<int>{0, 2, 5, 7, 10, 12, 15, 17, 20, 22, 25, 0}));
    EXPECT_EQ(dialog.ReportText(), Header +
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tCalled sucessfully\r\n   Record\tRecording cancelled\r\n");
    EXPECT_EQ(Results(), 1);
    EXPECT_TRUE(dialog.TestCancelled());
    EXPECT_FALSE(dialog.RecordComplete());
    EXPECT_TRUE(session.Output().calls.empty());
    EXPECT_TRUE(session.services.questions.empty());
    EXPECT_TRUE(dialog.RecordResults().tested);
    EXPECT_FALSE(dialog.PlaybackResults().tested);
    // One second was recorded; the rest of the buffer is still zero.
    const std::uint8_t* data = dialog.RecordBufferData();
    EXPECT_TRUE(std::any_of(data, data + 1000, [](std::uint8_t b) { return b != 0; }));
    EXPECT_TRUE(std::all_of(data + 200000, data + 352800, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(Sequence, EscInTheStepThatCompletesStillCancels)
{
    session.services.ScriptKeyAt(40, KeyEscape);
    session.toolkit.Press(IdRunTest).Close().Close();
    Run();

    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Recording...   Press <Esc> to cancel",
                               "Recording Cancelled", "Recording Complete", "Ready"}));
    EXPECT_TRUE(dialog.TestCancelled());
    EXPECT_TRUE(dialog.RecordComplete());
    EXPECT_NE(dialog.ReportText().find("   Record\tRecording cancelled\r\n"), std::string::npos);
    EXPECT_EQ(dialog.ReportText().find("Output Device"), std::string::npos);
    EXPECT_EQ(Results(), 1);
}

TEST_F(Sequence, EscDuringPlaybackAndOtherKeys)
{
    session.services.ScriptKeyAt(3, 'A');        // recording: dropped
    session.services.ScriptKeyAt(40 + 5, KeyEscape); // playback step 5
    session.toolkit.Press(IdRunTest).Close().Close();
    Run();

    Texts status = Status();
    EXPECT_EQ(Texts(status.end() - 3, status.end()),
              (Texts{"Playing...   Press <Esc> to cancel", "Playback Cancelled", "Ready"}));
    EXPECT_TRUE(dialog.RecordComplete());
    EXPECT_FALSE(dialog.PlaybackComplete());
    EXPECT_TRUE(dialog.TestCancelled());
    EXPECT_EQ(dialog.ReportText(), Header + InputWorked +
                                       "\r\nOutput Device:\tTallowmere Virtual Output\r\n"
                                       "   Open\tCalled sucessfully\r\n   Playback\tPlayback cancelled\r\n");
    EXPECT_EQ(session.services.peekCalls, 45);
}

TEST_F(Sequence, FailedOpenAskedAndDeclinedEndsWithoutResults)
{
    session.Input().open.always = 4;
    session.services.ScriptAnswer(false);
    session.toolkit.Press(IdRunTest).Close();
    Run();

    ASSERT_EQ(session.services.questions.size(), 1u);
    EXPECT_EQ(session.services.questions[0].owner, Main().Handle());
    EXPECT_EQ(session.services.questions[0].text, Question);
    EXPECT_EQ(session.services.questions[0].title, "Notice");
    EXPECT_EQ(Results(), 0);
    EXPECT_EQ(Main().EnabledOf(IdRunTest), (std::vector<bool>{false, true}));
    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Ready"}));
    // No settle pause after a failed open; the one after closing remains.
    EXPECT_EQ(session.services.sleeps, (std::vector<std::uint32_t>{250}));
    EXPECT_EQ(dialog.ReportText(), Header +
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tError - device already in use\r\n   Record\tNot tested\r\n");
    EXPECT_TRUE(dialog.RecordResults().tested);
    EXPECT_FALSE(dialog.PlaybackResults().tested);
}

TEST_F(Sequence, FailedOpenAcceptedPlaysTheTone)
{
    session.Input().open.always = 6;
    session.services.ScriptAnswer(true);
    session.toolkit.Press(IdRunTest).Close().Close();
    Run();

    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Ready", "Building 1 kHz tone... Press <Esc> to cancel.",
                               "Ready", "Opening Device...", "Playing...   Press <Esc> to cancel",
                               "Playback Complete", "Ready"}));
    EXPECT_EQ(dialog.ReportText(), Header +
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tError - no device driver present\r\n   Record\tNot tested\r\n" +
                                       OutputWorked);
    EXPECT_EQ(Results(), 1);
    EXPECT_TRUE(dialog.PlaybackComplete());
    // The tone was played: 4606 = 0x11FE, 9119 = 0x239F.
    const auto& played = session.Output().played;
    ASSERT_EQ(played.size(), 352800u);
    EXPECT_EQ((std::vector<std::uint8_t>(played.begin(), played.begin() + 4)),
              (std::vector<std::uint8_t>{0xFE, 0x11, 0x9F, 0x23}));
    // Tone progress: 0 after closing the input, 177 tone positions ending at 99, then 0.
    std::vector<int> progress = Main().ProgressOf(IdProgress);
    ASSERT_GE(progress.size(), 1u + 1u + 177u + 1u);
    EXPECT_EQ(progress[2], 0);
    EXPECT_EQ(progress[2 + 176], 99);
    EXPECT_EQ(progress[2 + 177], 0);
}

TEST_F(Sequence, RefusedQueueIsReportedByItsCode)
{
    session.Input().queue.always = 7;
    session.services.ScriptAnswer(false);
    session.toolkit.Press(IdRunTest).Close();
    Run();

    // The open worked, the queue did not: no "Recording..." and no polling.
    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Ready"}));
    EXPECT_EQ(session.services.sleeps, (std::vector<std::uint32_t>{250, 250}));
    EXPECT_EQ(session.services.peekCalls, 0);
    EXPECT_EQ(session.services.MessageTexts(), (Texts{"IDS_DEVICE_IO_FAIL"}));
    EXPECT_EQ(dialog.ReportText(), Header +
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tCalled sucessfully\r\n   Record\tError - memory allocation error\r\n");
    EXPECT_EQ(session.services.questions.size(), 1u);
    EXPECT_EQ(Results(), 0);
}

TEST_F(Sequence, ADeviceThatNeverFinishesRunsPast100UntilEsc)
{
    session.Input().buffersNeverComplete = true;
    session.services.ScriptKeyAt(45, KeyEscape);
    session.toolkit.Press(IdRunTest).In(ResultsDialogTemplateId).Close().Close();
    Run();

    // No time-out, and positions past 100 are sent as computed.
    std::vector<int> expected{0};
    for (int step = 1; step <= 45; ++step)
        expected.push_back(10 * step / 4);
    expected.push_back(0);
    EXPECT_EQ(Main().ProgressOf(IdProgress), expected);
    EXPECT_EQ(expected[45], 112);
    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Recording...   Press <Esc> to cancel",
                               "Recording Cancelled", "Ready"}));
    EXPECT_TRUE(dialog.TestCancelled());
    EXPECT_FALSE(dialog.RecordComplete());
    EXPECT_EQ(Results(), 1);
}

TEST_F(Sequence, ExtendedModeOpensBothDevicesWithTheExtensibleDescription)
{
    session.toolkit.Select(IdApiMode, 1).Type(IdValidBits, "12").Press(IdRunTest).Close().Close();
    Run();

    EXPECT_EQ(dialog.ReportText(), OperatingSystemLine() +
                                       "\r\n\r\nChannels:\t1\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t16\r\n"
                                       "Valid Bits:\t12\r\nAPI Mode:\tExtended\r\n" +
                                       InputWorked + OutputWorked);
    for (VirtualDevice* device : {&session.Input(), &session.Output()}) {
        ASSERT_EQ(device->openedFormats.size(), 1u);
        const std::vector<std::uint8_t>& format = device->openedFormats[0];
        ASSERT_EQ(format.size(), 40u);
        EXPECT_EQ(format[0] | format[1] << 8, 0xFFFE); // extensible tag
        EXPECT_EQ(format[14], 16);                     // container bits
        EXPECT_EQ(format[18], 12);                     // valid bits
    }
}

TEST_F(Sequence, NoApiModeOpensNothing)
{
    session.services.ScriptAnswer(true);
    session.toolkit.Select(IdApiMode, -1).Press(IdRunTest).Close().Close();
    Run();

    EXPECT_EQ(dialog.Parameters().apiMode, -1);
    EXPECT_EQ(dialog.ReportText(), OperatingSystemLine() +
                                       "\r\n\r\nChannels:\t1\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t16\r\n"
                                       "Valid Bits:\t16\r\n"
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tNot tested\r\n   Record\tNot tested\r\n"
                                       "\r\nOutput Device:\tTallowmere Virtual Output\r\n"
                                       "   Open\tNot tested\r\n   Playback\tNot tested\r\n");
    EXPECT_EQ(session.services.questions.size(), 1u);
    EXPECT_TRUE(session.Input().calls.empty());
    EXPECT_TRUE(session.Output().calls.empty());
}

TEST_F(Sequence, FailedStartIsNeitherPolledNorComplete)
{
    session.Input().start.always = 4;
    session.Output().start.always = 6;
    session.services.ScriptAnswer(true);
    session.toolkit.Press(IdRunTest).Close().Close();
    Run();

    EXPECT_EQ(session.services.peekCalls, 0);
    EXPECT_FALSE(dialog.RecordComplete());
    EXPECT_FALSE(dialog.PlaybackComplete());
    EXPECT_EQ(session.services.questions.size(), 1u);
    EXPECT_EQ(session.services.MessageTexts(), (Texts{"IDS_DEVICE_IO_FAIL", "IDS_DEVICE_IO_FAIL"}));
    Texts status = Status();
    EXPECT_EQ(Texts(status.begin(), status.begin() + 4),
              (Texts{"Ready", "Opening Device...", "Recording...   Press <Esc> to cancel", "Ready"}));
    EXPECT_EQ(Texts(status.end() - 3, status.end()),
              (Texts{"Opening Device...", "Playing...   Press <Esc> to cancel", "Ready"}));
    EXPECT_EQ(dialog.ReportText(), Header +
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tCalled sucessfully\r\n   Record\tError - device already in use\r\n"
                                       "\r\nOutput Device:\tTallowmere Virtual Output\r\n"
                                       "   Open\tCalled sucessfully\r\n   Playback\tError - no device driver present\r\n");
    EXPECT_EQ(dialog.RecordResults().startResult, 4);
    EXPECT_TRUE(dialog.PlaybackResults().startFailed);
}

TEST_F(Sequence, NoBufferGivesTheHeaderOnly)
{
    CZeroBlock::SetLimit(1000);
    session.services.ScriptAnswer(true);
    session.toolkit.Press(IdRunTest).In(ResultsDialogTemplateId).Close().Close();
    Run();
    CZeroBlock::SetLimit(0xFFFFFFFFu);

    EXPECT_FALSE(dialog.HasRecordBuffer());
    EXPECT_EQ(dialog.ReportText(), Header);
    EXPECT_EQ(ShownReport(), Header);
    EXPECT_EQ(Status(), (Texts{"Ready"}));
    EXPECT_EQ(session.services.questions.size(), 1u);
    EXPECT_TRUE(session.Input().calls.empty());
    EXPECT_FALSE(dialog.RecordResults().tested);
    EXPECT_FALSE(dialog.PlaybackResults().tested);
}

TEST_F(Sequence, ABufferOfNoBytesIsStillABuffer)
{
    // Precision 7 gives 0 bytes per sample: the devices refuse the repaired
    // format, but both tests run and report, and the tone is built (unwritten).
    session.services.ScriptAnswer(true);
    session.toolkit.Type(IdPrecision, "7").Press(IdRunTest).Close().Close();
    Run();

    EXPECT_TRUE(dialog.HasRecordBuffer());
    EXPECT_EQ(dialog.RecordBufferSize(), 0u);
    EXPECT_EQ(dialog.ReportText(), OperatingSystemLine() +
                                       "\r\n\r\nChannels:\t1\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t7\r\n"
                                       "Valid Bits:\t16\r\nAPI Mode:\tStandard\r\n"
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tError - sampling format is not supported\r\n   Record\tNot tested\r\n"
                                       "\r\nOutput Device:\tTallowmere Virtual Output\r\n"
                                       "   Open\tError - sampling format is not supported\r\n   Playback\tNot tested\r\n");
    EXPECT_EQ(Status(), (Texts{"Ready", "Opening Device...", "Ready", "Building 1 kHz tone... Press <Esc> to cancel.",
                               "Ready", "Opening Device...", "Ready"}));
    EXPECT_EQ(Results(), 1);
}

TEST_F(Sequence, BuffersTooLargeForTheDevicesAreAbsentToo)
{
    session.services.ScriptAnswer(true);
    session.toolkit.Type(IdChannels, "20000").Type(IdPrecision, "32").Type(IdDuration, "100")
        .Press(IdRunTest).Close().Close();
    Run();
    EXPECT_GT(dialog.Parameters().bufferBytes, MaxBufferBytes);
    EXPECT_FALSE(dialog.HasRecordBuffer());
    EXPECT_EQ(dialog.ReportText().find("Input Device"), std::string::npos);
}

TEST_F(Sequence, UnusableFormatOrNoDeviceIsReportedByTheOpenLine)
{
    session.waveApi.SetDevices(WaveDirection::Output, {});
    session.services.ScriptAnswer(true);
    session.toolkit.Type(IdChannels, "3").Press(IdRunTest).Close().Close();
    Run();

    EXPECT_EQ(dialog.Parameters().outputDeviceIndex, -1);
    EXPECT_EQ(dialog.ReportText(), OperatingSystemLine() +
                                       "\r\n\r\nChannels:\t3\r\nnSampling Rate:\t44100\r\nBits Per Sample:\t16\r\n"
                                       "Valid Bits:\t16\r\nAPI Mode:\tStandard\r\n"
                                       "\r\nInput Device:\tTallowmere Virtual Input\r\n"
                                       "   Open\tError - sampling format is not supported\r\n   Record\tNot tested\r\n"
                                       "\r\nOutput Device:\t\r\n"
                                       "   Open\tError - device ID is out of range\r\n   Playback\tNot tested\r\n");
    EXPECT_EQ(session.services.MessageTexts(), (Texts{"IDS_NO_SOUND_CARD"}));
}

TEST_F(Sequence, TwoRunsInARowStartFreshReports)
{
    session.toolkit.Press(IdRunTest)
        .Close()
        .Type(IdChannels, "2")
        .Type(IdDuration, "1")
        .Press(IdRunTest)
        .Close()
        .Close();
    Run();

    ASSERT_EQ(Results(), 2);
    std::string second = ShownReport();
    EXPECT_EQ(second, dialog.ReportText());
    EXPECT_NE(second.find("Channels:\t2\r\n"), std::string::npos);
    EXPECT_EQ(second.find("Channels:\t1\r\n"), std::string::npos);
    EXPECT_EQ(std::count(second.begin(), second.end(), '\t'), 6 + 6);
    EXPECT_EQ(session.toolkit.windows[1]->At(IdReportEdit).text, Header + InputWorked + OutputWorked);
    EXPECT_EQ(dialog.Parameters().frameCount, 44100);
    EXPECT_EQ(dialog.RecordBufferSize(), 44100u * 4);
    EXPECT_EQ(Main().EnabledOf(IdRunTest), (std::vector<bool>{false, true, false, true}));
}

} // namespace
