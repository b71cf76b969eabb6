#include "app/app_icon.h"

#include <QDir>
#include <QString>

QIcon appIcon()
{
    // The resource sits in a static library; without this the linker may leave it out.
    Q_INIT_RESOURCE(app_icon);
    // Every size the build rendered into the resource (the list lives in desktop/CMakeLists.txt).
    QIcon icon;
    const QDir icons(QStringLiteral(":/icons"));
    for (const QString &name : icons.entryList({QStringLiteral("*.png")}))
        icon.addFile(icons.filePath(name));
    return icon;
}
