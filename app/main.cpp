#include "app/app_icon.h"
#include "app/main_window.h"
#include "app/qt_translations.h"
#include "platform/clock.h"
#include "platform/input_box.h"
#include "platform/link_codec.h"
#include "platform/message_box.h"
#include "platform/pause.h"
#include "platform/skin.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The name a screen reader announces for the application, and the class of its X11 windows,
    // which the desktop entry's StartupWMClass matches. The desktop file name is the application
    // id: a Wayland compositor matches the window's app id to the entry of that name.
    QApplication::setApplicationName(QStringLiteral("ESP8266 Console"));
    QApplication::setDesktopFileName(QStringLiteral("org.esp8266console.Console"));
    QApplication::setWindowIcon(appIcon());
    installQtTranslations(app);

    // Notices and prompts belong to the window; one raised while the window is still being built
    // has no owner yet and shows on its own.
    MainForm *owner = nullptr;
    const DialogOwner dialogOwner = [&owner]() -> QWidget * { return owner; };
    FusionSkin skin;
    QtMessageBox messageBox(dialogOwner);
    QtInputBox inputBox(dialogOwner);
    BlockingPause pause;
    SystemClock clock;
    MainForm window({systemPortDevice, skin, messageBox, inputBox, pause, clock});
    owner = &window;
    window.show();
    if (!linkCodecAvailable()) {
        std::fprintf(stderr, "esp8266-console: %s\n", kNoLinkCodecNotice);
        messageBox.show(QString::fromUtf8(kNoLinkCodecNotice), MessageBox::Icon::Error);
    }
    return app.exec();
}
