// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/AppIcon.h"

#include <QPixmap>

#include "icons/tallowmere-16.xpm"
#include "icons/tallowmere-32.xpm"

QIcon AppIcon()
{
    // Shared like a loaded resource: built once, never destroyed with a window.
    static const QIcon icon = [] {
        QIcon images;
        images.addPixmap(QPixmap(tallowmere_32_xpm));
        images.addPixmap(QPixmap(tallowmere_16_xpm));
        return images;
    }();
    return icon;
}
