#pragma once

class QCoreApplication;

namespace app {

// Installs Qt's own Simplified Chinese translation, so the standard buttons of
// every message box read 是, 否 and 确定 like the rest of the window. The user
// interface is Chinese whatever the locale, so it is loaded always. Returns
// false when the translation is not installed (the buttons then stay English).
bool LoadQtChinese(QCoreApplication& application);

}  // namespace app
