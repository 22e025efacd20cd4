// SPDX-License-Identifier: GPL-3.0-or-later
// The program's two dialog templates and the ids of their controls.
#pragma once

#include "ui/DialogTemplate.h"

// Main dialog, template 102.
constexpr int MainDialogTemplateId = 102;
constexpr int IdRunTest = 1000;
constexpr int IdInputDevice = 1002;
constexpr int IdChannels = 1003;
constexpr int IdSampleRate = 1004;
constexpr int IdPrecision = 1005;
constexpr int IdValidBits = 1006;
constexpr int IdOutputDevice = 1007;
constexpr int IdDuration = 1008;
constexpr int IdProgress = 1009;
constexpr int IdStatus = 1010;
constexpr int IdApiMode = 1011;

// Results dialog, template 129.
constexpr int ResultsDialogTemplateId = 129;
constexpr int IdReportEdit = 1004;
constexpr int IdCopyResults = 1005;
constexpr int IdSaveRecording = 1006;

// The application icon (32x32 and 16x16 images).
constexpr int AppIconId = 128;

const DialogTemplate& MainDialogTemplate();
const DialogTemplate& ResultsDialogTemplate();
