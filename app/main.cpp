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
    // The application id: names the desktop entry (a Wayland compositor's app id) and, as the
    // application name, becomes the X11 window class that the entry's StartupWMClass matches.
    QApplication::setApplicationName(QStringLiteral("org.esp8266console.Console"));
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
