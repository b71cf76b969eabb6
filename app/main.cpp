#include "app/app_icon.h"
#include "app/main_form.h"
#include "app/qt_translations.h"
#include "platform/clock.h"
#include "platform/input_box.h"
#include "platform/link_codec.h"
#include "platform/message_box.h"
#include "platform/pause.h"
#include "platform/skin.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {
// What each receive box may hold: 1 GiB, or an eighth of the machine's memory where that is less, so
// that the two boxes together never take more than a quarter of it.
qint64 receiveCeiling()
{
    const qint64 pages = ::sysconf(_SC_PHYS_PAGES);
    const qint64 pageSize = ::sysconf(_SC_PAGESIZE);
    const qint64 oneGiB = qint64(1) << 30;
    return pages > 0 && pageSize > 0 ? std::min(oneGiB, pages * pageSize / 8) : oneGiB;
}
} // namespace

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
    MainForm::Services services{systemPortDevice, skin, messageBox, inputBox, pause, clock};
    services.receiveCeiling = receiveCeiling();
    MainForm window(services);
    owner = &window;
    window.show();
    if (!linkCodecAvailable()) {
        std::fprintf(stderr, "esp8266-console: %s\n", kNoLinkCodecNotice);
        messageBox.show(QString::fromUtf8(kNoLinkCodecNotice), MessageBox::Icon::Error);
    }
    return app.exec();
}
