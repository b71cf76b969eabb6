#pragma once

#include <QString>

#include <functional>

class QWidget;

// A modal notice with an OK button only; every notice of the program has the title "提示".
class MessageBox
{
public:
    enum class Icon { Warning, Error };

    virtual ~MessageBox() = default;
    virtual void show(const QString &text, Icon icon) = 0;
};

// The window a dialog belongs to, asked for when the dialog opens: a dialog parented to the window
// that owns it shows over that window, even when no window is active (focus on the desktop, no
// window manager).
using DialogOwner = std::function<QWidget *()>;

class QtMessageBox final : public MessageBox
{
public:
    explicit QtMessageBox(DialogOwner owner) : m_owner(std::move(owner)) {}
    void show(const QString &text, Icon icon) override;

private:
    DialogOwner m_owner;
};
