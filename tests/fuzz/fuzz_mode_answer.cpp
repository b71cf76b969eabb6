// The answer to "设置WIFI应用模式": AT+CWMODE=<answer as typed> goes to the send box exactly when the
// answer reads as 1, 2 or 3 (rounded half to even); any other answer sends nothing and says nothing.
#include "atpanel/at_panel.h"
#include "fuzz_text.h"
#include "serial/serial_console.h"
#include "serial/serial_port.h"
#include "support/fakes.h"
#include "textbox/text_box.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {
struct Window
{
    Window()
        : port([](int) { return QString(); }), console({&text3, &text4}, port, messages),
          panel(console, prompts, pause)
    {}
    TextBox text3;
    TextBox text4;
    SerialPort port; // closed: a send shows "串口未打开！" and leaves the command in the send box
    FakeMessageBox messages;
    ScriptedInputBox prompts;
    RecordingPause pause;
    SerialConsole console;
    AtPanel panel;
};
Window *window = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    // Both live until the process ends and are never destroyed: a QApplication destroyed by the exit
    // handlers runs Qt's clean-up after Qt's own statics are gone.
    new QApplication(qtArgc, qtArgv);
    window = new Window;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = fuzz::text(data, size);
    const QString before = QStringLiteral("untouched");
    window->text4.setText(before);
    window->messages.shown.clear();
    window->prompts.answers.push_back(ScriptedInputBox::type(answer));

    window->panel.command11Click();
    const bool sent = window->text4.text() != before;
    const bool expected = fuzz::inRange(fuzz::decimal(answer), 1, 3) != 0;
    const bool sentRight =
        !sent || (window->text4.text() == QStringLiteral("AT+CWMODE=") + answer + QStringLiteral("\r\n") &&
                  window->messages.texts() == QStringList{QStringLiteral("串口未打开！")});
    if (sent != expected || !sentRight || (!sent && !window->messages.shown.isEmpty())) {
        std::fprintf(stderr, "mode answer \"%s\": sent %d, expected %d, send box \"%s\"\n",
                     qPrintable(answer), sent, expected, qPrintable(window->text4.text()));
        std::abort();
    }
    return 0;
}
