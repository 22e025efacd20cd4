// SPDX-License-Identifier: GPL-3.0-or-later
// The results dialog: what it shows, what it copies, and the recording it saves.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/PathLimits.h"
#include "support/ScratchDir.h"
#include "support/TestSession.h"
#include "ui/ResultsDlg.h"
#include "ui/Templates.h"
#include "ui/TesterDlg.h"
#include "wavefile/WaveFile.h"

namespace fs = std::filesystem;

namespace {

using Texts = std::vector<std::string>;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

class ResultsDialog : public ::testing::Test {
protected:
    void Run()
    {
        dialog.DoModal();
        EXPECT_EQ(session.toolkit.Errors(), Texts{});
        EXPECT_EQ(session.toolkit.PendingActions(), 0u);
    }
    CMemoryWindow& Results() { return *session.toolkit.Last(ResultsDialogTemplateId); }

    CTestSession session;
    CTesterDlg dialog;
    CScratchDir temp;
};

TEST_F(ResultsDialog, ShowsTheReportWithItsStopsAndMargins)
{
    session.toolkit.Press(IdRunTest)
        .In(ResultsDialogTemplateId)
        .Inspect([&](CMemoryWindow& window, CDialog&) {
            EXPECT_EQ(window.Template().title, "Test Results");
            EXPECT_EQ(window.Parent(), session.toolkit.Last(MainDialogTemplateId));
            EXPECT_EQ(window.At(IdReportEdit).text, dialog.ReportText());
            EXPECT_EQ(window.At(IdReportEdit).tabStops, (std::vector<int>{100, 140, 240, 340}));
            EXPECT_EQ(window.At(IdReportEdit).margins, std::make_pair(2, 2));
            EXPECT_EQ(window.focus, IdSaveRecording);
        })
        .PressEnter() // the save button has the focus; the user cancels
        .In(ResultsDialogTemplateId)
        .Focus(IdReportEdit)
        .PressEnter()
        .In(MainDialogTemplateId)
        .Close();
    Run();
    EXPECT_EQ(session.services.saveRequests.size(), 1u);
    EXPECT_EQ(*Results().endCode, IdOk);
}

TEST_F(ResultsDialog, CopiesTheReportNotTheEditedText)
{
    session.toolkit.Press(IdRunTest)
        .Type(IdReportEdit, "edited away")
        .Press(IdCopyResults)
        .Inspect([&](CMemoryWindow& window, CDialog&) {
            ASSERT_TRUE(session.services.clipboard.has_value());
            EXPECT_EQ(*session.services.clipboard, dialog.ReportText());
            EXPECT_EQ(session.services.clipboard->size(), dialog.ReportText().size());
            EXPECT_EQ(window.At(IdReportEdit).text, "edited away");
            session.services.clipboard.reset();
            session.services.clipboardWorks = false;
        })
        .Press(IdCopyResults) // a busy clipboard fails silently
        .Close()
        .Close();
    Run();
    EXPECT_FALSE(session.services.clipboard.has_value());
    EXPECT_TRUE(session.services.messages.empty());
}

TEST_F(ResultsDialog, EmptyReportCopiesAnEmptyText)
{
    CResultsDlg results(&dialog, "");
    session.toolkit.Press(IdCopyResults).Close();
    EXPECT_EQ(results.DoModal(), IdCancel);
    ASSERT_TRUE(session.services.clipboard.has_value());
    EXPECT_EQ(*session.services.clipboard, "");
}

TEST_F(ResultsDialog, SavesTheWholeDefaultRecording)
{
    const std::string path = temp.File("take one.wav");
    session.services.ScriptSavePath(path);
    session.toolkit.Press(IdRunTest).Press(IdSaveRecording).In(ResultsDialogTemplateId).Close().Close();
    Run();

    ASSERT_EQ(session.services.saveRequests.size(), 1u);
    EXPECT_EQ(session.services.saveRequests[0].owner, Results().Handle());
    EXPECT_EQ(session.services.saveRequests[0].defaultExtension, "wav");
    EXPECT_EQ(session.services.saveRequests[0].filter, "Wave Files (*.wav)");
    EXPECT_TRUE(session.services.messages.empty());

    // All 176400 frames, read back by the wave file code...
    CWaveFile file(path, WaveFileMode::MemoryMode);
    ASSERT_FALSE(file.IsFailed());
    EXPECT_EQ(file.GetFormat().channels, 1);
    EXPECT_EQ(file.GetFormat().sampleRate, 44100);
    EXPECT_EQ(file.GetFormat().bytesPerSample, 2);
    ASSERT_EQ(file.GetDataEnd(), 176400u);
    EXPECT_EQ(0, std::memcmp(file.GetData(), dialog.RecordBufferData(), 352800));

    // ...and by the bytes themselves.
    std::vector<std::uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 44u + 352800u);
    EXPECT_EQ(Le32(bytes, 40), 352800u);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 44, dialog.RecordBufferData(), 352800));
}

TEST_F(ResultsDialog, CancellingWritesNothingAndTheDialogStays)
{
    session.services.ScriptSavePath(std::nullopt);
    session.services.ScriptSavePath(temp.File("second.wav"));
    session.toolkit.Press(IdRunTest)
        .Press(IdSaveRecording)
        .Inspect([&](CMemoryWindow&, CDialog&) { EXPECT_EQ(temp.List().size(), 0u); })
        .In(ResultsDialogTemplateId)
        .Press(IdSaveRecording)
        .Close()
        .Close();
    Run();
    EXPECT_EQ(temp.List().size(), 1u);
    EXPECT_TRUE(fs::exists(temp.File("second.wav")));
}

TEST_F(ResultsDialog, FourChannelsSaveAOneChannelFileWithNoData)
{
    // The devices refuse four channels; the tone then fills the buffer.
    const std::string path = temp.File("four.wav");
    session.services.ScriptAnswer(true);
    session.services.ScriptSavePath(path);
    session.toolkit.Type(IdChannels, "4").Press(IdRunTest).Press(IdSaveRecording).Close().Close();
    Run();

    EXPECT_EQ(dialog.RecordBufferSize(), 4u * 352800u);
    EXPECT_TRUE(session.services.messages.empty());
    std::vector<std::uint8_t> bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes[22], 1); // channels
    EXPECT_EQ(Le32(bytes, 40), 0u);
}

TEST_F(ResultsDialog, LongPathsAreKeptWhole)
{
    // Directories deep enough that the path passes 259 characters inside the
    // last one: the file lands where the user said, not at a cut-off name;
    // where the platform takes no path that long, the save fails and says so.
    fs::path dir(temp.path);
    while (dir.string().size() < 200)
        dir /= std::string(40, 'd');
    fs::create_directories(dir);
    std::string path = (dir / std::string(120, 'f')).string();
    ASSERT_GT(path.size(), 259u);
    session.services.ScriptSavePath(path);
    session.toolkit.Press(IdRunTest).Press(IdSaveRecording).Close().Close();
    Run();
    EXPECT_FALSE(fs::exists(path.substr(0, 255)));
    EXPECT_FALSE(fs::exists(path.substr(0, 259)));
    if (path.size() <= LongestPath()) {
        EXPECT_TRUE(fs::exists(path));
        EXPECT_TRUE(dialog.LastSaveSucceeded());
        EXPECT_TRUE(session.services.messages.empty());
    } else {
        EXPECT_FALSE(dialog.LastSaveSucceeded());
        EXPECT_EQ(session.services.MessageTexts(), Texts{"IDS_FILE_OPEN_FAIL"});
    }
}

TEST_F(ResultsDialog, NoBufferSavesNothing)
{
    CTesterDlg fresh;
    fresh.SaveRecording(temp.File("none.wav"));
    EXPECT_EQ(temp.List().size(), 0u);
    EXPECT_TRUE(session.services.messages.empty());
    EXPECT_FALSE(fresh.LastSaveSucceeded());
}

// Front ends read whether the file really got written; the dialogs show
// only the wave file's own messages, as before.
TEST_F(ResultsDialog, LastSaveTellsAWrittenFileFromAFailedOne)
{
    session.services.ScriptSavePath(temp.File("good.wav"));
    session.services.ScriptSavePath(temp.File("missing/bad.wav"));
    bool afterGood = false;
    session.toolkit.Press(IdRunTest)
        .Press(IdSaveRecording)
        .Inspect([&](CMemoryWindow&, CDialog&) { afterGood = dialog.LastSaveSucceeded(); })
        .In(ResultsDialogTemplateId)
        .Press(IdSaveRecording)
        .Close()
        .Close();
    Run();
    EXPECT_TRUE(afterGood);
    EXPECT_FALSE(dialog.LastSaveSucceeded());
    EXPECT_FALSE(fs::exists(temp.File("missing/bad.wav")));
}

// A recording cut short keeps silence where nothing was recorded: 127 in
// 8 bits (0x00 would be full-scale negative), zero bytes in wider widths.
TEST_F(ResultsDialog, CutShortRecordingSavesSilenceInTheRest)
{
    struct Row {
        const char* name;
        const char* bits;
        std::uint8_t silence;
    };
    for (const Row& row : {Row{"8-bit", "8", 127}, Row{"16-bit", "16", 0}, Row{"24-bit", "24", 0}}) {
        CTestSession rowSession;
        CTesterDlg rowDialog;
        const std::string path = temp.File(std::string(row.name) + ".wav");
        rowSession.services.ScriptKeyAt(5, KeyEscape);
        rowSession.services.ScriptSavePath(path);
        rowSession.toolkit.Type(IdPrecision, row.bits).Type(IdValidBits, row.bits).Press(IdRunTest)
            .Press(IdSaveRecording).Close().Close();
        rowDialog.DoModal();
        ASSERT_TRUE(rowDialog.TestCancelled()) << row.name;
        std::vector<std::uint8_t> bytes = ReadAll(path);
        ASSERT_GT(bytes.size(), 44u + 1000u) << row.name;
        // The data chunk's last bytes were never recorded (a pad byte may follow).
        const std::size_t dataEnd = 44u + Le32(bytes, 40);
        ASSERT_LE(dataEnd, bytes.size()) << row.name;
        for (std::size_t at = dataEnd - 1000; at < dataEnd; ++at)
            ASSERT_EQ(bytes[at], row.silence) << row.name << " at " << at;
    }
}

} // namespace
