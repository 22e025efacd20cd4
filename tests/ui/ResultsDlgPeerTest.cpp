// SPDX-License-Identifier: GPL-3.0-or-later
// The recordings the results dialog saves, read by an independent reader
// (soxi, run through the shell).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/ScratchDir.h"
#include "support/TestSession.h"
#include "ui/Templates.h"
#include "ui/TesterDlg.h"

namespace {

std::string Soxi(const std::string& option, const std::string& path)
{
    std::string output;
    if (FILE* pipe = popen(("soxi " + option + " '" + path + "'").c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe))
            output += chunk;
        pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    return output;
}

TEST(ResultsDialogPeer, SoxiReadsTheSavedRecordings)
{
    struct Row {
        const char* name;
        const char* channelsTyped; // the main dialog's channel count
        bool refusedAsked;         // four channels: the tone fills the buffer
        const char* samples;
        const char* channels;
    };
    const Row rows[] = {
        {"default run", "1", false, "176400", "1"},
        {"four channels, no data", "4", true, "0", "1"},
    };
    CScratchDir temp;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CTestSession session;
        CTesterDlg dialog;
        const std::string path = temp.File(std::string(row.name) + ".wav");
        if (row.refusedAsked)
            session.services.ScriptAnswer(true);
        session.services.ScriptSavePath(path);
        session.toolkit.Type(IdChannels, row.channelsTyped).Press(IdRunTest).Press(IdSaveRecording).Close().Close();
        dialog.DoModal();
        ASSERT_TRUE(Exists(path));
        EXPECT_EQ(Soxi("-s", path), row.samples);
        EXPECT_EQ(Soxi("-c", path), row.channels);
        EXPECT_EQ(Soxi("-r", path), "44100");
        EXPECT_EQ(Soxi("-b", path), "16");
    }
}

} // namespace
