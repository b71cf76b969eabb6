#pragma once

class QCoreApplication;

// Installs Qt's own Simplified Chinese translations (standard buttons read 确定 and 取消, the text
// boxes' menu 撤消, 复制, ...) whatever the system's language, as the whole window is Chinese. The
// translators are children of `app`. Without the files Qt's English words stay; returns whether
// Qt's base translation was found.
bool installQtTranslations(QCoreApplication &app);
