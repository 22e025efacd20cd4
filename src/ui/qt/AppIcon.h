// SPDX-License-Identifier: GPL-3.0-or-later
// The application icon (resource 128): a 32x32 and a 16x16 image in 16 colours.
#pragma once

#include <QIcon>

QIcon AppIcon();
