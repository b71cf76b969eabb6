#include "app/app_icon.h"

#include <QString>

QIcon appIcon()
{
    // The resource sits in a static library; without this the linker may leave it out.
    Q_INIT_RESOURCE(app_icon);
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 40, 48, 64, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}
