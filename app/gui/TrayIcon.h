#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <optional>
#include <string>
#include <utility>

#include "app/gui/Unit1.h"

class QAction;

namespace app {

// The icon in the desktop's tray, for desktops that have one: it shows whether
// monitoring runs (a grey bird with a pause sign when it does not) and whether
// the sound is on (a struck-out speaker when it is off), in picture and
// tooltip; the tooltip also says how many watched sites fail. A click brings the window back, which
// matters since resuming minimises it; the menu offers what the banner picture's menu offers, plus
// showing the window and exit. Create it where
// QSystemTrayIcon::isSystemTrayAvailable(), or on X, where Qt shows it once a
// tray appears; while there is no tray nothing changes.
class TTrayIcon : public QObject {
public:
    explicit TTrayIcon(TForm1& form);
    ~TTrayIcon() override;
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    QSystemTrayIcon& Icon() { return FIcon; }
    QMenu& Menu() { return FMenu; }

    // Follows the state the status bar shows; the window calls it on changes.
    void ShowState();
    // Fills in the menu's items for the current state, as before it opens.
    void PrepareMenu();

    static QIcon StateIcon(bool monitoring, bool soundOn);
    static QString StateText(bool monitoring, bool soundOn);
    // What is watched and how it fares: "6 个站点, 4 个无法访问", or the
    // window's sentence that nothing is watched.
    static QString WatchText(const TForm1::WatchSummary& summary, const std::string& nothing);

private:
    TForm1& FForm;
    QMenu FMenu;
    QSystemTrayIcon FIcon;
    QAction* FShowWindow = nullptr;
    QAction* FStart = nullptr;
    QAction* FPause = nullptr;
    QAction* FSoundOn = nullptr;
    QAction* FSoundOff = nullptr;
    QAction* FExit = nullptr;
    // The monitoring and sound state the icon's picture shows; none at first.
    std::optional<std::pair<bool, bool>> FIconShown;
};

}  // namespace app
