// SPDX-License-Identifier: GPL-3.0-or-later
// The shareable report: one HTML file that opens in any browser offline,
// needing no script, no network and no file beside it (styles inline,
// pictures as inline SVG drawn by the program), printable on A4 and Letter.
// It holds the system it was made on, then a section for each measurement
// that ran, and the run's JSON document (the --json output, byte for byte
// once read back as JSON) in a data block a script can read.
//
// Every text from outside (device, file and host names, the sound system's
// words, the test's report) is escaped: it always shows as text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audio/WaveApi.h"
#include "measure/report/SystemSnapshot.h"
#include "measure/soak/SoakRequest.h"
#include "sequence/TestParameters.h"

struct CAnalysisOutcome;
struct CLoopbackRun;
struct FormatMatrixResult;
struct SoakRun;

// The record and playback test as the dialogs showed it.
struct ReportTest {
    TestParameters parameters;
    std::string reportText; // the results dialog's text, exactly
    bool recordTested = false;
    bool recordComplete = false;
    bool playbackTested = false;
    bool playbackComplete = false;
    bool cancelled = false;
    // What the back end knows of each device tested.
    std::optional<WaveHostDetail> recordHost;
    std::optional<WaveHostDetail> playbackHost;
};

struct ReportInput {
    std::string command;    // the command line that made it, for the reader
    SystemSnapshot system;
    // The sections; each is present exactly when its pointer is set.
    const ReportTest* test = nullptr;
    const CAnalysisOutcome* analysis = nullptr;
    const CLoopbackRun* loopback = nullptr;
    const std::vector<FormatMatrixResult>* formats = nullptr;
    std::vector<std::string> unmetFormats; // --expect-formats not met
    // The soak: its summary, its checks against `soakLimits`, the timeline
    // and its first events (ReportSections.h says how many).
    const SoakRun* soak = nullptr;
    SoakLimits soakLimits;
    std::string json;       // the --json document
    int exitStatus = 0;
};

// The whole document.
std::string HtmlReport(const ReportInput& input);

// Writes the document through a save file (TextFileSave.h): true when
// written, else false with "cannot write 'PATH': WHY".
bool WriteHtmlReport(const ReportInput& input, const std::string& path, std::string& error);

// The section ids in document order, for tests and scripts: "system",
// "test", "analysis", "loopback", "formats", "soak".
std::vector<std::string> ReportSectionIds(const ReportInput& input);

// The sound system's words for a device: its host name and, when a call
// failed, the call, the host's text and its error number; the loss and the
// xruns. Empty when the host knows nothing of note.
std::vector<std::string> HostWords(const std::string& role, const std::string& device, const WaveHostDetail& host);
