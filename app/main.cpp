#include "app/app_icon.h"
#include "app/main_window.h"
#include "platform/clock.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/pause.h"
#include "platform/skin.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The application id: names the desktop entry (a Wayland compositor's app id) and, as the
    // application name, becomes the X11 window class that the entry's StartupWMClass matches.
    QApplication::setApplicationName(QStringLiteral("org.esp8266console.Console"));
    QApplication::setDesktopFileName(QStringLiteral("org.esp8266console.Console"));
    QApplication::setWindowIcon(appIcon());

    FusionSkin skin;
    QtMessageBox messageBox;
    QtInputBox inputBox;
    BlockingPause pause;
    SystemClock clock;
    MainForm window({systemPortDevice, skin, messageBox, inputBox, pause, clock});
    window.show();
    return app.exec();
}
